#include "LoudnessMeter.h"

#include "ExportFailure.h"

#include <algorithm>
#include <cmath>

namespace {

// Slices of 10 ms: ten to each of the meter's 100 ms steps.
constexpr int slicesPerSecond = 100;
constexpr size_t slicesPerStep = 10;
constexpr size_t slicesPerBlock = 40; // a gating block is 400 ms
// As the limiter releases, per slice (a 50 ms time constant).
const float releasePerSlice = float(std::exp(-0.01 / 0.05));

double lufsOf(double energy) {
    return -0.691 + 10 * std::log10(energy);
}

} // namespace

void LoudnessMeter::Destroyer::operator()(ebur128_state* state) const {
    ebur128_destroy(&state);
}

// The histogram keeps the meter's memory flat; the slices take 8 bytes per 10 ms. The true
// peak is measured by the limiter's own filter, at a quarter of libebur128's cost.
LoudnessMeter::LoudnessMeter(int channels, int sampleRate)
    : state_(ebur128_init(unsigned(channels), unsigned(sampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM)),
      peaks_(channels), channels_(channels),
      sliceFrames_(size_t(std::max(1, sampleRate / slicesPerSecond))),
      pending_(sliceFrames_ * size_t(channels)) {
    if (!state_)
        throw ExportFailure(ExportFailure::sessionCreationFailed);
}

void LoudnessMeter::add(std::span<const float> interleaved) {
    const size_t sliceSamples = pending_.size();
    while (!interleaved.empty()) {
        if (pendingSamples_ == 0 && interleaved.size() >= sliceSamples) {
            addSlice(interleaved.data(), sliceFrames_);
            interleaved = interleaved.subspan(sliceSamples);
            continue;
        }
        const size_t taken = std::min(interleaved.size(), sliceSamples - pendingSamples_);
        std::copy_n(interleaved.data(), taken, pending_.data() + pendingSamples_);
        pendingSamples_ += taken;
        interleaved = interleaved.subspan(taken);
        if (pendingSamples_ == sliceSamples) {
            addSlice(pending_.data(), sliceFrames_);
            pendingSamples_ = 0;
        }
    }
}

void LoudnessMeter::addSlice(const float* interleaved, size_t frames) {
    if (ebur128_add_frames_float(state_.get(), interleaved, frames) != EBUR128_SUCCESS)
        throw ExportFailure(ExportFailure::sessionCreationFailed);
    double loudness = -HUGE_VAL;
    ebur128_loudness_window(state_.get(), 10, &loudness);
    energies_.push_back(std::isfinite(loudness) ? float(std::pow(10.0, (loudness + 0.691) / 10))
                                                : 0.0f);
    truePeaks_.push_back(peaks_.add(interleaved, frames));
}

void LoudnessMeter::finish() {
    if (pendingSamples_ > 0)
        addSlice(pending_.data(), pendingSamples_ / size_t(channels_));
    pendingSamples_ = 0;
    // The last points, between the last frames and the silence after them: unless a later meter
    // takes over, which measures them against its own first frames.
    tailPeak_ = peaks_.finish();
}

void LoudnessMeter::lead(std::span<const float> interleaved) {
    peaks_.lead(interleaved.data(), interleaved.size() / size_t(channels_));
}

void LoudnessMeter::append(LoudnessMeter&& later) {
    laterStates_.push_back(std::move(later.state_));
    for (State& state : later.laterStates_)
        laterStates_.push_back(std::move(state));
    energies_.insert(energies_.end(), later.energies_.begin(), later.energies_.end());
    truePeaks_.insert(truePeaks_.end(), later.truePeaks_.begin(), later.truePeaks_.end());
    tailPeak_ = later.tailPeak_;
}

std::optional<double> LoudnessMeter::integratedLufs() const {
    std::vector<ebur128_state*> states{state_.get()};
    for (const State& state : laterStates_)
        states.push_back(state.get());
    double loudness = 0;
    if (ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) !=
            EBUR128_SUCCESS ||
        !std::isfinite(loudness))
        return std::nullopt;
    return loudness;
}

double LoudnessMeter::truePeak() const {
    float highest = tailPeak_;
    for (const float peak : truePeaks_)
        highest = std::max(highest, peak);
    return highest;
}

// What the limiter does to each slice at this gain: down to what its peak needs, and back up
// at the limiter's release.
std::vector<float> LoudnessMeter::limitedGains(double gain, double ceiling) const {
    std::vector<float> gains(truePeaks_.size(), 1.0f);
    float held = 1.0f;
    for (size_t i = 0; i < gains.size(); ++i) {
        const double peak = truePeaks_[i] * gain;
        const float needed = peak > ceiling ? float(ceiling / peak) : 1.0f;
        held = std::min(needed, 1.0f - (1.0f - held) * releasePerSlice);
        gains[i] = float(gain) * held;
    }
    return gains;
}

// The meter's two gates on 400 ms blocks every 100 ms: -70 LUFS, then 10 LU under the mean.
double LoudnessMeter::gatedLufs(const std::vector<float>& sliceGains) const {
    std::vector<double> blocks;
    for (size_t start = 0; start + slicesPerBlock <= energies_.size(); start += slicesPerStep) {
        double sum = 0;
        for (size_t i = start; i < start + slicesPerBlock; ++i)
            sum += double(energies_[i]) * sliceGains[i] * sliceGains[i];
        blocks.push_back(sum / slicesPerBlock);
    }
    const auto meanAbove = [&](double threshold) {
        double sum = 0;
        size_t count = 0;
        for (const double block : blocks)
            if (block > 0 && lufsOf(block) > threshold) {
                sum += block;
                ++count;
            }
        return count ? sum / double(count) : 0.0;
    };
    const double absolute = meanAbove(-70);
    return absolute > 0 ? lufsOf(meanAbove(lufsOf(absolute) - 10)) : -HUGE_VAL;
}

std::optional<double> LoudnessMeter::gainDbFor(double targetLufs, double ceiling) const {
    const std::optional<double> measured = integratedLufs();
    if (!measured)
        return std::nullopt;
    const double plainDb = targetLufs - *measured;
    const auto linear = [](double db) { return std::pow(10.0, db / 20); };
    if (truePeak() * linear(plainDb) <= ceiling)
        return plainDb;
    // The slices' own estimate, unlimited, stands for the meter's; the difference limiting
    // makes to it is what the gain makes up. More gain never makes it quieter, so halve the
    // interval until the forecast meets the target, giving up past 30 dB of limiting.
    const double unlimited = gatedLufs(std::vector<float>(truePeaks_.size(), 1.0f));
    const auto forecast = [&](double db) {
        return *measured + gatedLufs(limitedGains(linear(db), ceiling)) - unlimited;
    };
    double low = plainDb, high = plainDb + 30;
    if (forecast(high) < targetLufs)
        return high;
    for (int step = 0; step < 30; ++step) {
        const double middle = (low + high) / 2;
        (forecast(middle) < targetLufs ? low : high) = middle;
    }
    return (low + high) / 2;
}
