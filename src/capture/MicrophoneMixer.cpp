#include "MicrophoneMixer.h"

#include "Logging.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr double usPerFrame = 1e6 / MicrophoneMixer::sampleRateHz;
// How much of a timing difference the timelines take in per buffer: slow enough to smooth the
// server's timing estimates, fast enough to follow a clock a few hundred ppm off.
constexpr double driftFollowing = 0.02;
// The resampler's ratio is set for this many output frames at a time and renewed every buffer.
constexpr int compensationDistance = 10 * MicrophoneMixer::sampleRateHz;

double microseconds(std::chrono::milliseconds duration) {
    return static_cast<double>(duration.count()) * 1000.0;
}

void freeResampler(SwrContext* context) {
    swr_free(&context);
}

SwrContext* newResampler() {
    SwrContext* context = nullptr;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (swr_alloc_set_opts2(&context, &mono, AV_SAMPLE_FMT_FLT, MicrophoneMixer::sampleRateHz,
                            &mono, AV_SAMPLE_FMT_FLT, MicrophoneMixer::sampleRateHz, 0,
                            nullptr) < 0)
        return nullptr;
    // Resampling even at 1:1, so that the ratio can be bent from the first buffer on.
    av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0);
    if (swr_init(context) < 0)
        freeResampler(context), context = nullptr;
    return context;
}

} // namespace

double MicrophoneMixer::Timeline::timeAt(double frame) const {
    return anchorUs + (frame - anchorFrame) * usPerFrame;
}

double MicrophoneMixer::Timeline::frameAt(double us) const {
    return anchorFrame + (us - anchorUs) / usPerFrame;
}

bool MicrophoneMixer::OutOfLine::confirmed(double offsetUs) const {
    if (std::abs(offsetUs) >= microseconds(jumpAfter))
        return buffers >= Timeline::confirmations;
    return static_cast<double>(frames) * usPerFrame >= microseconds(resyncConfirmedAfter);
}

qint64 MicrophoneMixer::Timeline::place(qint64 end, qint64 us, qint64 frames) {
    // Without a capture time the buffer is taken to be on time.
    if (us < 0 && anchored)
        return 0;
    const double captured = us < 0 ? 0.0 : static_cast<double>(us);
    if (!anchored) {
        anchored = true;
        anchorUs = captured;
        anchorFrame = static_cast<double>(end);
        return 0;
    }
    const double late = captured - timeAt(static_cast<double>(end));
    const double tolerance = microseconds(resyncAfter);
    if (std::abs(late) <= tolerance) {
        suspects.clear();
        anchorUs += driftFollowing * late;
        return 0;
    }
    // Some sources report their latency in a sawtooth: one buffer out of line is taken as on
    // time, a jump that the next buffers confirm is real.
    if (suspects.buffers == 0 || std::abs(late - suspectLate) > tolerance)
        suspects.clear(), suspectLate = late;
    suspects.add(frames);
    if (!suspects.confirmed(late))
        return 0;
    suspects.clear();
    // A gap gets its silence; a stream that starts over behind its last time is taken as it is.
    const qint64 gap = late > 0 ? std::llround(late / usPerFrame) : 0;
    anchorUs = captured;
    anchorFrame = static_cast<double>(end + gap);
    return gap;
}

MicrophoneMixer::MicrophoneMixer(int microphoneChannels)
    : microphoneChannels_(std::max(1, microphoneChannels)),
      resampler_(newResampler(), &freeResampler) {
    if (!resampler_)
        qCWarning(lcCapture) << "Couldn't set up the microphone's resampler; it is left out";
}

MicrophoneMixer::~MicrophoneMixer() = default;

PcmBuffer MicrophoneMixer::addOutput(const PcmBuffer& buffer) {
    const qint64 frames = buffer.frames();
    if (frames < 1 || buffer.channelCount != 2)
        return drain(false);
    const qint64 gap = output_.place(outputEnd_, buffer.capturedAtUs, frames);
    if (gap > 0)
        qCDebug(lcCapture) << "Output gap of" << gap << "frames filled with silence";
    appendOutput(nullptr, gap);
    appendOutput(buffer.samples.data(), frames);
    latestUs_ = std::max(latestUs_, output_.timeAt(static_cast<double>(outputEnd_)));
    for (auto& [mono, capturedAtUs] : std::exchange(heldMicrophone_, {}))
        resample(mono, capturedAtUs);
    return drain(false);
}

PcmBuffer MicrophoneMixer::addMicrophone(const PcmBuffer& buffer) {
    const qint64 frames = buffer.frames();
    if (frames < 1 || microphoneEnded_ || !resampler_)
        return drain(false);
    const qint64 gap = microphone_.place(microphoneEnd_, buffer.capturedAtUs, frames);
    if (gap > 0)
        qCDebug(lcCapture) << "Microphone gap of" << gap << "frames filled with silence";
    std::vector<float> mono(static_cast<size_t>(gap + frames), 0.0f);
    const int channels = buffer.channelCount;
    for (qint64 frame = 0; frame < frames; ++frame) {
        float sum = 0;
        for (int channel = 0; channel < channels; ++channel)
            sum += buffer.samples[static_cast<size_t>(frame * channels + channel)];
        mono[static_cast<size_t>(gap + frame)] = sum / static_cast<float>(channels);
    }
    microphoneEnd_ += gap + frames;
    latestUs_ = std::max(latestUs_, microphone_.timeAt(static_cast<double>(microphoneEnd_)));
    if (output_.anchored)
        resample(mono, buffer.capturedAtUs);
    else
        heldMicrophone_.emplace_back(std::move(mono), buffer.capturedAtUs);
    synthesizeStalledOutput();
    return drain(false);
}

PcmBuffer MicrophoneMixer::endMicrophone() {
    if (!microphoneEnded_ && resampler_ && microphoneAligned_) {
        // The resampler's last few frames.
        std::vector<float> tail(static_cast<size_t>(swr_get_out_samples(resampler_.get(), 0)));
        auto* out = reinterpret_cast<uint8_t*>(tail.data());
        const int got =
            swr_convert(resampler_.get(), &out, static_cast<int>(tail.size()), nullptr, 0);
        microphoneMix_.insert(microphoneMix_.end(), tail.begin(), tail.begin() + std::max(0, got));
    }
    microphoneEnded_ = true;
    heldMicrophone_.clear();
    return drain(false);
}

PcmBuffer MicrophoneMixer::finish() {
    return drain(true);
}

double MicrophoneMixer::microphoneOffsetMs() const {
    return lastOffsetFrames_ * usPerFrame / 1000.0;
}

void MicrophoneMixer::appendOutput(const float* samples, qint64 frames) {
    if (frames < 1)
        return;
    const auto count = static_cast<size_t>(frames * 2);
    if (samples)
        outputQueue_.insert(outputQueue_.end(), samples, samples + count);
    else
        outputQueue_.resize(outputQueue_.size() + count, 0.0f);
    outputEnd_ += frames;
}

void MicrophoneMixer::resample(const std::vector<float>& mono, qint64 capturedAtUs) {
    // Which microphone frame belongs at the next free place of the mix, against the one the
    // resampler will put there: positive when the microphone would land late.
    const qint64 fileFrame = mixStart_ + static_cast<qint64>(microphoneMix_.size());
    const double inputFrame = static_cast<double>(microphoneFed_) -
                              static_cast<double>(swr_get_delay(resampler_.get(), sampleRateHz));
    const double wanted = microphone_.frameAt(output_.timeAt(static_cast<double>(fileFrame)));
    double offset = wanted - inputFrame;
    lastOffsetFrames_ = offset;

    size_t skip = 0;
    const double resyncFrames = microseconds(resyncAfter) / usPerFrame;
    if (std::abs(offset) > resyncFrames)
        outOfLine_.add(static_cast<qint64>(mono.size()));
    else
        outOfLine_.clear();
    if (!microphoneAligned_ ||
        (outOfLine_.buffers > 0 && outOfLine_.confirmed(offset * usPerFrame))) {
        outOfLine_.clear();
        if (offset > 0) {
            skip = std::min(mono.size(), static_cast<size_t>(std::llround(offset)));
        } else {
            microphoneMix_.resize(
                microphoneMix_.size() + static_cast<size_t>(std::llround(-offset)), 0.0f);
        }
        qCDebug(lcCapture).nospace() << "Microphone put in place: " << offset * usPerFrame / 1000
                                     << " ms, captured at " << capturedAtUs;
        microphoneAligned_ = skip == static_cast<size_t>(std::llround(std::max(0.0, offset)));
        offset = 0;
    }
    microphoneFed_ += static_cast<qint64>(skip);
    const double correction =
        std::clamp(offset / (correctionSeconds * sampleRateHz), -maxCorrection, maxCorrection);
    swr_set_compensation(resampler_.get(),
                         static_cast<int>(std::llround(-correction * compensationDistance)),
                         compensationDistance);

    const int frames = static_cast<int>(mono.size() - skip);
    if (frames < 1)
        return;
    const size_t start = microphoneMix_.size();
    microphoneMix_.resize(start +
                          static_cast<size_t>(swr_get_out_samples(resampler_.get(), frames)));
    auto* out = reinterpret_cast<uint8_t*>(microphoneMix_.data() + start);
    const auto* in = reinterpret_cast<const uint8_t*>(mono.data() + skip);
    const int got = swr_convert(resampler_.get(), &out,
                                static_cast<int>(microphoneMix_.size() - start), &in, frames);
    microphoneMix_.resize(start + static_cast<size_t>(std::max(0, got)));
    microphoneFed_ += frames;
}

void MicrophoneMixer::synthesizeStalledOutput() {
    const double stalledBefore = latestUs_ - microseconds(stallAfter);
    if (!output_.anchored) {
        // No output yet while the microphone has gone on: the file starts with the microphone.
        if (!microphone_.anchored || microphone_.timeAt(0) > stalledBefore)
            return;
        output_.anchored = true;
        output_.anchorUs = microphone_.timeAt(0);
        output_.anchorFrame = static_cast<double>(outputEnd_);
        for (auto& [mono, capturedAtUs] : std::exchange(heldMicrophone_, {}))
            resample(mono, capturedAtUs);
    }
    const auto due = static_cast<qint64>(std::floor(output_.frameAt(stalledBefore)));
    if (due > outputEnd_) {
        qCDebug(lcCapture) << "Output stalled:" << due - outputEnd_ << "frames of silence";
        appendOutput(nullptr, due - outputEnd_);
    }
}

PcmBuffer MicrophoneMixer::drain(bool everything) {
    qint64 limit = outputEnd_;
    if (!everything && !microphoneEnded_ && resampler_) {
        const qint64 covered = mixStart_ + static_cast<qint64>(microphoneMix_.size());
        const qint64 stalled = output_.anchored ? static_cast<qint64>(std::floor(output_.frameAt(
                                                      latestUs_ - microseconds(stallAfter))))
                                                : emitted_;
        limit = std::min(outputEnd_, std::max(covered, stalled));
    }
    PcmBuffer mix;
    if (limit <= emitted_)
        return mix;
    const auto frames = static_cast<size_t>(limit - emitted_);
    mix.sampleRateHz = sampleRateHz;
    mix.channelCount = 2;
    mix.capturedAtUs = std::llround(output_.timeAt(static_cast<double>(emitted_)));
    mix.samples.assign(outputQueue_.begin(), outputQueue_.begin() + 2 * frames);
    outputQueue_.erase(outputQueue_.begin(), outputQueue_.begin() + 2 * frames);
    for (size_t frame = 0; frame < frames; ++frame) {
        const qint64 at = emitted_ + static_cast<qint64>(frame) - mixStart_;
        if (at < 0 || at >= static_cast<qint64>(microphoneMix_.size()))
            continue;
        const float voice = microphoneMix_[static_cast<size_t>(at)];
        mix.samples[2 * frame] += voice;
        mix.samples[2 * frame + 1] += voice;
    }
    const qint64 used =
        std::clamp<qint64>(limit - mixStart_, 0, static_cast<qint64>(microphoneMix_.size()));
    microphoneMix_.erase(microphoneMix_.begin(), microphoneMix_.begin() + used);
    mixStart_ += used;
    emitted_ = limit;
    return mix;
}
