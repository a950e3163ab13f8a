#pragma once

#include "Waveform.h"

#include <QString>
#include <algorithm>

// How a waveform opened from saved detail peaks differs from the one read from the audio; empty
// when it is what reading gives. Everything but the overview peaks must be equal. An overview
// bin whose edges fall on detail bins' edges, or one smaller than a detail bin, has the same
// peak; one whose edge splits a detail bin may have that detail bin's peak instead, so it lies
// between its own peak and its neighbours'.
inline QString savedPeaksDiffer(const Waveform::Data& saved, const Waveform::Data& read) {
    if (saved.totalFrames != read.totalFrames || saved.sampleRate != read.sampleRate ||
        saved.framesPerPeak != read.framesPerPeak)
        return QStringLiteral("frames %1/%2, rate %3/%4, frames per peak %5/%6")
            .arg(saved.totalFrames)
            .arg(read.totalFrames)
            .arg(saved.sampleRate)
            .arg(read.sampleRate)
            .arg(saved.framesPerPeak)
            .arg(read.framesPerPeak);
    if (saved.detailPeaks != read.detailPeaks)
        return QStringLiteral("detail peaks differ (%1 saved, %2 read)")
            .arg(saved.detailPeaks.size())
            .arg(read.detailPeaks.size());
    if (saved.peaks.size() != read.peaks.size())
        return QStringLiteral("%1 peaks saved, %2 read")
            .arg(saved.peaks.size())
            .arg(read.peaks.size());
    constexpr qint64 detail = Waveform::Data::framesPerDetailPeak;
    for (std::size_t i = 0; i < read.peaks.size(); ++i) {
        const qint64 start = qint64(i) * read.framesPerPeak;
        const qint64 end = std::min(start + read.framesPerPeak, read.totalFrames);
        const bool aligned =
            read.framesPerPeak < detail ||
            (start % detail == 0 && (end % detail == 0 || end == read.totalFrames));
        const float highest = std::max({read.peaks[i], i > 0 ? read.peaks[i - 1] : 0.0f,
                                        i + 1 < read.peaks.size() ? read.peaks[i + 1] : 0.0f});
        if (aligned ? saved.peaks[i] != read.peaks[i]
                    : saved.peaks[i] < read.peaks[i] || saved.peaks[i] > highest)
            return QStringLiteral("peak %1: %2 saved, %3 read")
                .arg(i)
                .arg(saved.peaks[i])
                .arg(read.peaks[i]);
    }
    return {};
}
