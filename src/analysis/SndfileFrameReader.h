#pragma once

#include "FrameReader.h"
#include "SoundFileHandle.h"

#include <QString>
#include <memory>
#include <sndfile.h>

// Any file libsndfile understands (CAF, WAV, FLAC, AIFF...), delivered as float frames.
class SndfileFrameReader final : public FrameReader {
public:
    // Nothing when libsndfile cannot open the file.
    static std::unique_ptr<SndfileFrameReader> open(const QString& path);

    // Takes over a file already opened for reading, with the info libsndfile filled in.
    SndfileFrameReader(SoundFileHandle file, const SF_INFO& info);

    int channelCount() const override { return m_info.channels; }
    double sampleRate() const override { return m_info.samplerate; }
    qint64 lengthFrames() const override { return m_info.frames; }
    std::optional<qint64> read(float* interleaved, qint64 frames) override;
    bool seek(qint64 frame) override;

private:
    std::optional<qint64> readFloatsRaw(float* interleaved, qint64 frames);

    SoundFileHandle m_file;
    SF_INFO m_info;
    // Float files are read as raw bytes: libsndfile's own float path byte-swaps through an
    // 8 KB buffer, one system call each, which reads a recording at a fraction of disk speed.
    bool m_readsRawFloats = false;
    bool m_swapsBytes = false;
};
