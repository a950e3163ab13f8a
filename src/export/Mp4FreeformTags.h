#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

// iTunes's free-form tags: "----" items named under "com.apple.iTunes" in the movie's item list,
// where players look for ReplayGain in an MP4 file. FFmpeg's muxer writes only the items it
// knows, so these go into the finished file afterwards: the movie box grows, what follows it
// moves on, and the chunk offsets that point past it move with it.
//
// Returns false and leaves the file as it is when it has no item list to add to or its layout
// is beyond what this handles (a 64-bit movie box, offsets past 4 GB); throws ExportFailure when
// the file can't be read or written.
using FreeformTags = std::vector<std::pair<QByteArray, QString>>;
bool addFreeformTags(const QString& path, const FreeformTags& tags);
