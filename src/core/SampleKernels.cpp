#include "SampleKernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Once the running value is a number it never becomes NaN, so `candidate > current ?
// candidate : current` is the same rule as "replace when current <= candidate", and it is
// exactly what a packed max instruction computes with its operands in this order. That lets
// the loops below run several lanes at a time without -ffast-math.
inline float raised(float current, float candidate) {
    return candidate > current ? candidate : current;
}

float maxMagnitudeScalar(const float* samples, qint64 count, float current) {
    for (qint64 i = 0; i < count; ++i)
        current = raised(current, std::fabs(samples[i]));
    return current;
}

void swapByteOrderScalar(float* samples, qint64 count) {
    for (qint64 i = 0; i < count; ++i) {
        std::uint32_t w;
        std::memcpy(&w, samples + i, sizeof w);
        w = (w << 24) | ((w & 0xff00u) << 8) | ((w >> 8) & 0xff00u) | (w >> 24);
        std::memcpy(samples + i, &w, sizeof w);
    }
}

#if defined(__GNUC__) && !defined(__clang__)

// 128-bit lanes (SSE2, NEON) and 256-bit lanes (AVX2).
struct Vectors16 {
    using Floats = float __attribute__((vector_size(16)));
    using Words = std::uint32_t __attribute__((vector_size(16)));
    using Halves = std::uint16_t __attribute__((vector_size(16)));
    static constexpr qint64 floats = 4;
    static constexpr Halves halvesSwapped = {1, 0, 3, 2, 5, 4, 7, 6};
};

struct Vectors32 {
    using Floats = float __attribute__((vector_size(32)));
    using Words = std::uint32_t __attribute__((vector_size(32)));
    using Halves = std::uint16_t __attribute__((vector_size(32)));
    static constexpr qint64 floats = 8;
    static constexpr Halves halvesSwapped = {1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14};
};

// Four independent accumulators keep the max instructions' latency off the critical path.
template <typename V>
[[gnu::always_inline]] inline float maxMagnitudeVectors(const float* samples, qint64 count,
                                                        float current) {
    constexpr qint64 step = 4 * V::floats;
    qint64 i = 0;
    if (count >= step) {
        typename V::Floats running[4];
        for (auto& peak : running)
            peak = typename V::Floats{} + current;
        for (; i + step <= count; i += step) {
            for (int k = 0; k < 4; ++k) {
                typename V::Words bits;
                std::memcpy(&bits, samples + i + k * V::floats, sizeof bits);
                bits &= 0x7fffffffu;
                typename V::Floats magnitudes;
                std::memcpy(&magnitudes, &bits, sizeof magnitudes);
                running[k] = magnitudes > running[k] ? magnitudes : running[k];
            }
        }
        for (const auto& peak : running)
            for (qint64 lane = 0; lane < V::floats; ++lane)
                current = raised(current, peak[lane]);
    }
    return maxMagnitudeScalar(samples + i, count - i, current);
}

// Swap the bytes of each 16-bit half, then the halves: shifts and word shuffles that even
// plain SSE2 has.
template <typename V>
[[gnu::always_inline]] inline void swapByteOrderVectors(float* samples, qint64 count) {
    qint64 i = 0;
    for (; i + V::floats <= count; i += V::floats) {
        typename V::Halves halves;
        std::memcpy(&halves, samples + i, sizeof halves);
        halves = (halves << 8) | (halves >> 8);
        halves = __builtin_shuffle(halves, V::halvesSwapped);
        std::memcpy(samples + i, &halves, sizeof halves);
    }
    swapByteOrderScalar(samples + i, count - i);
}

#if defined(__x86_64__) || defined(__i386__)
#define SONABRIX_HAS_AVX2_KERNELS 1

[[gnu::target("avx2")]] float maxMagnitudeAvx2(const float* samples, qint64 count, float current) {
    return maxMagnitudeVectors<Vectors32>(samples, count, current);
}

[[gnu::target("avx2")]] void swapByteOrderAvx2(float* samples, qint64 count) {
    swapByteOrderVectors<Vectors32>(samples, count);
}

bool hasAvx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#endif

#endif

} // namespace

using SampleKernels::Implementation;

std::vector<Implementation> SampleKernels::availableImplementations() {
    std::vector<Implementation> available = {Implementation::Scalar};
#if defined(__GNUC__) && !defined(__clang__)
    available.push_back(Implementation::Vector128);
#endif
#if defined(SONABRIX_HAS_AVX2_KERNELS)
    if (hasAvx2())
        available.push_back(Implementation::Vector256);
#endif
    return available;
}

float SampleKernels::maxMagnitude(Implementation implementation, const float* samples, qint64 count,
                                  float current) {
    switch (implementation) {
#if defined(SONABRIX_HAS_AVX2_KERNELS)
    case Implementation::Vector256:
        return maxMagnitudeAvx2(samples, count, current);
#endif
#if defined(__GNUC__) && !defined(__clang__)
    case Implementation::Vector128:
        return maxMagnitudeVectors<Vectors16>(samples, count, current);
#endif
    default:
        return maxMagnitudeScalar(samples, count, current);
    }
}

void SampleKernels::swapByteOrder(Implementation implementation, float* samples, qint64 count) {
    switch (implementation) {
#if defined(SONABRIX_HAS_AVX2_KERNELS)
    case Implementation::Vector256:
        return swapByteOrderAvx2(samples, count);
#endif
#if defined(__GNUC__) && !defined(__clang__)
    case Implementation::Vector128:
        return swapByteOrderVectors<Vectors16>(samples, count);
#endif
    default:
        return swapByteOrderScalar(samples, count);
    }
}

namespace {

// The widest implementation this CPU runs, chosen once.
Implementation fastest() {
    static const Implementation chosen = SampleKernels::availableImplementations().back();
    return chosen;
}

} // namespace

float SampleKernels::maxMagnitude(const float* samples, qint64 count, float current) {
    return maxMagnitude(fastest(), samples, count, current);
}

void SampleKernels::swapByteOrder(float* samples, qint64 count) {
    swapByteOrder(fastest(), samples, count);
}
