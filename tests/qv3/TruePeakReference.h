// The true peak by its definition, slow and plain, to check qv3's meter against: every channel rebuilt
// between its samples at 16 points per sample by band-limited (sinc) interpolation with a long
// Kaiser-windowed kernel, the signal taken as silent before and after.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

// Linear, over all channels.
inline double referenceTruePeak(const std::vector<float>& interleaved, int channels) {
    constexpr int kPoints = 16;
    constexpr int kHalfLength = 256; // input samples on each side of the point
    constexpr double kBeta = 10.0;   // sidelobes near -100 dB
    constexpr double kHalfTurn = 3.14159265358979323846;
    const auto besselI0 = [](double x) {
        double sum = 1.0;
        double term = 1.0;
        for (int k = 1; k < 60; ++k) {
            term *= (x / 2.0) / k;
            sum += term * term;
        }
        return sum;
    };
    std::vector<std::array<double, 2 * kHalfLength>> kernel(kPoints);
    for (int point = 0; point < kPoints; ++point) {
        for (int tap = 0; tap < 2 * kHalfLength; ++tap) {
            const double t = static_cast<double>(point) / kPoints - (tap - kHalfLength + 1);
            const double sinc = t == 0.0 ? 1.0 : std::sin(kHalfTurn * t) / (kHalfTurn * t);
            const double place = std::min(1.0, std::fabs(t) / kHalfLength);
            kernel[static_cast<std::size_t>(point)][static_cast<std::size_t>(tap)] =
                sinc * besselI0(kBeta * std::sqrt(1.0 - place * place)) / besselI0(kBeta);
        }
    }
    const long frames = static_cast<long>(interleaved.size()) / channels;
    double peak = 0.0;
    for (int channel = 0; channel < channels; ++channel) {
        for (long frame = -kHalfLength; frame < frames + kHalfLength; ++frame) {
            for (int point = 0; point < kPoints; ++point) {
                double value = 0.0;
                for (int tap = 0; tap < 2 * kHalfLength; ++tap) {
                    const long source = frame + tap - kHalfLength + 1;
                    if (source >= 0 && source < frames)
                        value += static_cast<double>(
                                     interleaved[static_cast<std::size_t>(source * channels + channel)]) *
                                 kernel[static_cast<std::size_t>(point)][static_cast<std::size_t>(tap)];
                }
                peak = std::max(peak, std::fabs(value));
            }
        }
    }
    return peak;
}
