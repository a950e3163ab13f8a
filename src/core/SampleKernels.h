#pragma once

#include <QtGlobal>
#include <vector>

// The two loops every sample of a recording goes through, kept apart so they can be compiled
// for speed in every build type and picked for the running CPU.
namespace SampleKernels {

// The largest |sample| of `count` samples and `current` (a number, never NaN), by the rule
// "the candidate replaces the current value when the current value is <= it": a NaN sample
// never raises the result.
float maxMagnitude(const float* samples, qint64 count, float current);

// Reverses the byte order of each 32-bit sample in place (big-endian files to host order).
void swapByteOrder(float* samples, qint64 count);

// Each implementation this CPU can run, so tests hold every one to the same results.
enum class Implementation { Scalar, Vector128, Vector256 };
std::vector<Implementation> availableImplementations();
float maxMagnitude(Implementation implementation, const float* samples, qint64 count,
                   float current);
void swapByteOrder(Implementation implementation, float* samples, qint64 count);

} // namespace SampleKernels
