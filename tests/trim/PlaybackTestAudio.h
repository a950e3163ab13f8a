#pragma once

#include <QString>
#include <vector>

// Audio for the playback tests: files with a different tone in every second, and a way to tell
// which of those tones a stretch of recorded sound carries.
namespace PlaybackTestAudio {

constexpr float toneAmplitude = 0.5f;

// Second i of the file carries a sine of tonesHz[i] on every channel. False when libsndfile
// cannot write it (the reason goes to `error`).
bool writeToneFile(const QString& path, const std::vector<double>& tonesHz, int sampleRate,
                   int channels, int format, QString* error);

// Of `candidatesHz`, the one strongest in `samples` (Goertzel energy), or a negative value when
// the samples are too quiet to carry any tone.
double dominantToneHz(const float* samples, size_t count, int sampleRate,
                      const std::vector<double>& candidatesHz);

float peakLevel(const float* samples, size_t count);

} // namespace PlaybackTestAudio
