// The programme-like material both benchmarks process and the figures they print, so that their results compare.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

constexpr double kBenchSampleRate = 44100.0;
constexpr std::size_t kBenchFrames = 44100 * 4;
constexpr double kTwoPi = 6.283185307179586;

// Programme-like material: a few partials with a slow envelope plus noise, peaking at `peak`.
inline std::vector<float> material(std::uint32_t seed, double peak) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> raw(kBenchFrames);
    double largest = 0.0;
    for (std::size_t i = 0; i < kBenchFrames; ++i) {
        const double t = static_cast<double>(i) / kBenchSampleRate;
        const double envelope = 0.55 + 0.45 * std::sin(kTwoPi * 1.7 * t);
        raw[i] = envelope * (0.5 * std::sin(kTwoPi * 110.0 * t) + 0.3 * std::sin(kTwoPi * 447.0 * t) +
                             0.2 * std::sin(kTwoPi * 2310.0 * t + 0.3 * seed)) +
                 0.15 * noise(rng);
        largest = std::max(largest, std::fabs(raw[i]));
    }
    std::vector<float> out(kBenchFrames);
    for (std::size_t i = 0; i < kBenchFrames; ++i)
        out[i] = static_cast<float>(raw[i] * peak / largest);
    return out;
}

// Prints ns per frame ("1.2n" is 1.2 ns, with SI prefixes) and the real-time factor for `iterations` blocks.
inline void reportFrameRate(benchmark::State& state, std::uint32_t blockFrames) {
    const auto frames = static_cast<double>(state.iterations()) * blockFrames;
    state.counters["seconds_per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime_x"] = benchmark::Counter(frames / kBenchSampleRate, benchmark::Counter::kIsRate);
}
