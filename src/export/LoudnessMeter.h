#pragma once

#include "TruePeakMeter.h"

#include <ebur128.h>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// Integrated loudness (EBU R128, gated, as libebur128 measures it) and true peak (as the
// limiter sees it) of interleaved float audio, and the gain that brings the audio to a loudness
// once its peaks are limited to a ceiling.
class LoudnessMeter {
public:
    LoudnessMeter(int channels, int sampleRate);

    void add(std::span<const float> interleaved);
    // The audio just before what is measured, heard only where the true peak's first points
    // need it; before the first add().
    void lead(std::span<const float> interleaved);
    // Counts the last few milliseconds too; once, after the last add().
    void finish();
    // Takes in what another meter measured of the audio right after this one's, as if this one
    // had gone on (the few gating blocks across the seam aside); both finished, the later one
    // led in by the end of this one's audio.
    void append(LoudnessMeter&& later);
    // LUFS, or nothing when no block passed the gates: silence, or less than 0.4 s.
    std::optional<double> integratedLufs() const;
    // The highest true peak of any channel, linear (1.0 is full scale).
    double truePeak() const;

    // The gain in dB after which the audio, its true peaks limited to `ceiling` (linear),
    // measures `targetLufs`: limiting takes loudness away, so loud peaks ask for more gain.
    // Nothing when integratedLufs() is nothing.
    std::optional<double> gainDbFor(double targetLufs, double ceiling) const;

private:
    struct Destroyer {
        void operator()(ebur128_state* state) const;
    };
    // Loudness of the slices, with each one's gain applied, the way the meter gates it.
    double gatedLufs(const std::vector<float>& sliceGains) const;
    std::vector<float> limitedGains(double gain, double ceiling) const;
    void addSlice(const float* interleaved, size_t frames);

    using State = std::unique_ptr<ebur128_state, Destroyer>;
    State state_;
    std::vector<State> laterStates_;
    TruePeakMeter peaks_;
    int channels_;
    size_t sliceFrames_;
    std::vector<float> pending_; // the start of a slice not yet complete
    size_t pendingSamples_ = 0;
    std::vector<float> energies_;  // K-weighted mean square of each slice
    std::vector<float> truePeaks_; // and its true peak
    float tailPeak_ = 0;           // of the points after the last frame
};
