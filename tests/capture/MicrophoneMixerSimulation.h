#pragma once

#include "MicrophoneMixer.h"

#include <QTest>
#include <cmath>
#include <random>

// A call simulated for the mixer: two streams as a sound server delivers them, and the mix
// analysed as it comes.
namespace {

constexpr int rate = MicrophoneMixer::sampleRateHz;
// Clicks: 1 ms pulses, wide enough to survive resampling at their full height.
constexpr double clickEvery = 10, clickAt = 5, clickLength = 0.001; // seconds
constexpr double outputClick = 0.5, microphoneClick = 0.4, microphoneTone = 0.2;

// One mismatch in the mix, for the test's failure message.
struct Span {
    double from, to; // seconds of capture time
    bool contains(double t) const { return t >= from && t < to; }
};

// Two streams captured side by side and delivered as a sound server would: the output on an
// exact clock, the microphone on a clock `ppm` off, in pieces of varying size with jittering
// capture times and latencies. The output plays clicks (+ left, - right), the microphone the
// same clicks over a steady tone, on its left channel only, so that the mix separates again:
// (L - R) / 2 is the output, (L + R) / 2 the microphone.
struct CallSimulation {
    double ppm = 0;
    double microphoneStartsAt = 0.137; // seconds after the output
    Span microphoneStall{-1, -1}, outputStall{-1, -1};
    // While in its span, a stream's capture times are reported this much late, as a server's
    // estimates are on a busy machine; its audio arrives as ever.
    Span microphoneStray{-1, -1}, outputStray{-1, -1};
    double strayMs = 0;
    double microphoneEndsAt = 1e9;

    // Results.
    double worstOffsetMs = 0;
    int clicksCompared = 0;
    double largestStepInTone = 0;
    qint64 mixedFrames = 0, outputFrames = 0;
    double largestLagMs = 0; // how far the mix fell behind the newest capture time
    double microphonePeak = 0, outputPeak = 0;
    double quietestMicrophoneOutsideStall = 1e9;

    MicrophoneMixer mixer{2};
    std::mt19937 random{7};

    static constexpr qint64 baseUs = 1'000'000'000;

    double runsFor = 0;

    void run(double seconds) {
        runsFor = seconds;
        const double microphoneRate = rate * (1 + ppm * 1e-6);
        qint64 outputFrame = 0, microphoneFrame = 0;
        std::uniform_int_distribution<int> outputPiece(240, 1100), microphonePiece(128, 1500);
        std::uniform_real_distribution<double> jitterUs(-1500, 1500), latency(0.02, 0.09);
        double newestUs = 0;
        while (outputFrame < seconds * rate) {
            // Whichever stream's next piece has been captured first arrives first.
            const double outputEnd = double(outputFrame) / rate;
            const double microphoneEnd =
                microphoneStartsAt + double(microphoneFrame) / microphoneRate;
            if (outputEnd + latency(random) <= microphoneEnd + latency(random) ||
                microphoneEnd >= microphoneEndsAt) {
                const int frames = outputPiece(random);
                const double strayUs = outputStray.contains(outputEnd) ? strayMs * 1000 : 0;
                PcmBuffer buffer{
                    rate, 2, {}, baseUs + qint64(outputEnd * 1e6 + jitterUs(random) + strayUs)};
                for (int i = 0; i < frames; ++i) {
                    const qint64 n = outputFrame + i;
                    const float click = isClick(double(n) / rate) ? outputClick : 0;
                    buffer.samples.insert(buffer.samples.end(), {click, -click});
                }
                outputFrame += frames;
                newestUs = std::max(newestUs, outputEnd * 1e6 + frames * 1e6 / rate);
                if (!outputStall.contains(outputEnd))
                    take(mixer.addOutput(buffer), newestUs), outputFrames += frames;
            } else {
                const int frames = microphonePiece(random);
                const double strayUs = microphoneStray.contains(microphoneEnd) ? strayMs * 1000 : 0;
                PcmBuffer buffer{
                    rate, 2, {}, baseUs + qint64(microphoneEnd * 1e6 + jitterUs(random) + strayUs)};
                for (int i = 0; i < frames; ++i) {
                    const double t =
                        microphoneStartsAt + double(microphoneFrame + i) / microphoneRate;
                    const double click = isClick(t) ? microphoneClick : 0;
                    // Downmixed to mono: the left channel at twice the level, the right silent.
                    const float left = 2 * (click + microphoneTone * std::sin(2 * M_PI * 200 * t));
                    buffer.samples.insert(buffer.samples.end(), {left, 0.0f});
                }
                microphoneFrame += frames;
                newestUs = std::max(newestUs, (microphoneEnd + frames / microphoneRate) * 1e6);
                if (!microphoneStall.contains(microphoneEnd))
                    take(mixer.addMicrophone(buffer), newestUs);
                if (microphoneEnd + frames / microphoneRate >= microphoneEndsAt)
                    take(mixer.endMicrophone(), newestUs), microphoneEndsAt = -1;
            }
        }
        take(mixer.finish(), newestUs);
        closeClick();
    }

    static bool isClick(double t) {
        const double phase = std::fmod(t - clickAt, clickEvery);
        return t >= clickAt && phase >= 0 && phase < clickLength;
    }

    // The analysis of the mix as it comes, one click window at a time.
    qint64 windowClick = -1;
    std::pair<double, qint64> outputBest{0, 0}, microphoneBest{0, 0};
    double previous[2] = {0, 0};
    double quietPeak = 0;
    qint64 quietFrames = 0;

    void take(const PcmBuffer& mix, double newestUs) {
        if (mix.frames() == 0)
            return;
        QCOMPARE(mix.channelCount, 2);
        for (qint64 i = 0; i < mix.frames(); ++i) {
            const qint64 f = mixedFrames + i;
            const double left = mix.samples[size_t(2 * i)], right = mix.samples[size_t(2 * i + 1)];
            const double output = (left - right) / 2, voice = (left + right) / 2;
            const double t = double(f) / rate;
            outputPeak = std::max(outputPeak, std::abs(output));
            microphonePeak = std::max(microphonePeak, std::abs(voice));
            // Click windows: 0.3 s either side of each click.
            const qint64 click = std::llround((t - clickAt) / clickEvery);
            const bool nearClick = click >= 0 && std::abs(t - clickAt - click * clickEvery) < 0.3;
            if (nearClick && click != windowClick) {
                closeClick();
                windowClick = click;
            }
            if (nearClick) {
                if (std::abs(output) > outputBest.first)
                    outputBest = {std::abs(output), f};
                if (std::abs(voice) > microphoneBest.first)
                    microphoneBest = {std::abs(voice), f};
            } else if (f > 2 && !microphoneStall.contains(t) && !outputStall.contains(t) &&
                       t > microphoneStartsAt + 0.5 && t < microphoneEndsAt - 0.5 &&
                       microphoneEndsAt > 0 && t < runsFor - 0.5) {
                // (At the very end the microphone may not have reached the output's last frame.)
                // The tone goes on smoothly: no frame dropped or repeated.
                largestStepInTone =
                    std::max(largestStepInTone, std::abs(voice - 2 * previous[1] + previous[0]));
            }
            previous[0] = previous[1], previous[1] = voice;
            // Every 100 ms stretch away from the stall holds the tone.
            quietPeak = std::max(quietPeak, std::abs(voice));
            if (++quietFrames == rate / 10) {
                if (t > microphoneStartsAt + 0.5 && !microphoneStall.contains(t) &&
                    !microphoneStall.contains(t - 0.6) && t < microphoneEndsAt && !nearClick)
                    quietestMicrophoneOutsideStall =
                        std::min(quietestMicrophoneOutsideStall, quietPeak);
                quietPeak = 0, quietFrames = 0;
            }
        }
        mixedFrames += mix.frames();
        if (newestUs > 2e6)
            largestLagMs = std::max(largestLagMs, newestUs / 1000 - mixedFrames * 1000.0 / rate);
    }

    void closeClick() {
        if (windowClick >= 0 && outputBest.first > 0.4 && microphoneBest.first > 0.35) {
            const double offsetMs = double(microphoneBest.second - outputBest.second) * 1000 / rate;
            worstOffsetMs = std::max(worstOffsetMs, std::abs(offsetMs));
            ++clicksCompared;
        }
        outputBest = microphoneBest = {0, 0};
    }
};

} // namespace
