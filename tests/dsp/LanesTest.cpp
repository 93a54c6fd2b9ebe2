#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dsp/Lanes.h"

namespace {

constexpr double kClamp = 0.999999;

// Inputs as a host may send them: ordinary samples, values near full scale and beyond, zeros of both signs,
// subnormals, infinities and NaN.
std::vector<float> hostSamples(std::mt19937& rng, std::size_t count) {
    std::uniform_real_distribution<float> level(-2.0f, 2.0f);
    std::uniform_int_distribution<int> kind(0, 19);
    std::vector<float> samples(count);
    for (float& sample : samples) {
        switch (kind(rng)) {
        case 0:
            sample = -0.0f;
            break;
        case 1:
            sample = std::numeric_limits<float>::denorm_min();
            break;
        case 2:
            sample = std::numeric_limits<float>::infinity();
            break;
        case 3:
            sample = -std::numeric_limits<float>::infinity();
            break;
        case 4:
            sample = std::numeric_limits<float>::quiet_NaN();
            break;
        case 5:
            sample = -FLT_MAX;
            break;
        default:
            sample = level(rng);
            break;
        }
    }
    return samples;
}

// Empty blocks have no buffers (null data), which memcmp must not be given.
bool sameBits(const void* a, const void* b, std::size_t bytes) {
    return bytes == 0 || std::memcmp(a, b, bytes) == 0;
}

// Both vector widths against the plain per-sample rule, for every block length up to 40: host samples, and
// loud blocks with one sample at each position replaced by a value at or around the loudness bound.
TEST(LanesFiniteInputs, EveryWidthEqualsThePlainRule) {
    const float loud = 1e-5f;
    const float edges[] = {std::nextafter(loud, 0.0f), -std::nextafter(loud, 0.0f), loud, -loud,
                           std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 rng(41);
    std::uniform_real_distribution<float> level(0.001f, 1.0f);
    for (std::int32_t count = 0; count <= 40; ++count) {
        std::vector<std::vector<float>> inputs = {hostSamples(rng, static_cast<std::size_t>(count))};
        for (std::int32_t position = 0; position < count; ++position) {
            std::vector<float> input(static_cast<std::size_t>(count));
            for (float& sample : input)
                sample = rng() % 2 != 0 ? level(rng) : -level(rng);
            input[static_cast<std::size_t>(position)] = edges[position % 6];
            inputs.push_back(input);
        }
        for (const std::vector<float>& input : inputs) {
            std::vector<double> expected(input.size());
            InputMeasure measure{0.0, true};
            for (std::size_t k = 0; k < input.size(); ++k) {
                const double v = static_cast<double>(input[k]);
                expected[k] = std::isfinite(v) ? v : 0.0;
                measure.largest = std::max(measure.largest, std::fabs(expected[k]));
                measure.everyLoud = measure.everyLoud && std::fabs(expected[k]) >= static_cast<double>(loud);
            }
            for (bool wide : {false, true}) {
                if (wide && !hasWideVectors()) continue;
                std::vector<double> x(input.size(), 7.0);
                const InputMeasure result = finiteInputs(input.data(), x.data(), count, loud, wide);
                EXPECT_TRUE(sameBits(x.data(), expected.data(), x.size() * sizeof(double))) << count << wide;
                EXPECT_EQ(result.largest, measure.largest) << count << wide;
                EXPECT_EQ(result.everyLoud, measure.everyLoud) << count << wide;
            }
        }
    }
}

TEST(LanesTargetGains, EveryWidthEqualsThePlainRule) {
    std::mt19937 rng(43);
    std::uniform_real_distribution<double> envelope(0.0, 40.0);
    for (std::int32_t count = 0; count <= 40; ++count) {
        std::vector<double> envelopes(static_cast<std::size_t>(count));
        for (std::size_t k = 0; k < envelopes.size(); ++k)
            envelopes[k] = k % 5 == 1 ? 0.0 : k % 7 == 2 ? kClamp : envelope(rng);
        std::vector<double> expected(envelopes.size());
        for (std::size_t k = 0; k < envelopes.size(); ++k)
            expected[k] = envelopes[k] >= kClamp ? kClamp / envelopes[k] : 1.0;
        for (bool wide : {false, true}) {
            if (wide && !hasWideVectors()) continue;
            std::vector<double> values = envelopes;
            targetGains(values.data(), count, kClamp, wide);
            EXPECT_TRUE(sameBits(values.data(), expected.data(), values.size() * sizeof(double)))
                << count << wide;
        }
    }
}

template <OutputMode Mode, bool UnitGain> void checkOutputStage(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> signal(-3.0, 3.0);
    std::uniform_real_distribution<double> gain(0.0, 1.0);
    std::uniform_real_distribution<float> existing(-1.0f, 1.0f);
    for (std::int32_t count = 0; count <= 40; ++count) {
        std::vector<double> delayed(static_cast<std::size_t>(count));
        std::vector<double> gains(delayed.size());
        std::vector<float> before(delayed.size());
        for (std::size_t k = 0; k < delayed.size(); ++k) {
            // Some products are subnormal or zero of either sign, which the stage flushes to +0.0.
            delayed[k] = k % 7 == 3 ? -1e-310 : k % 11 == 5 ? -0.0 : signal(rng);
            gains[k] = UnitGain ? 1.0 : gain(rng);
            before[k] = existing(rng);
        }
        const double ceiling = 0.7;
        std::vector<float> expected = before;
        double largest = 0.0;
        for (std::size_t k = 0; k < delayed.size(); ++k) {
            double o = delayed[k] * gains[k];
            if (std::fabs(o) < DBL_MIN) o = 0.0;
            o = std::min(std::max(o, -kClamp), kClamp) * ceiling;
            largest = std::max(largest, std::fabs(o));
            if (Mode == OutputMode::Replace) expected[k] = static_cast<float>(o);
            if (Mode == OutputMode::Accumulate)
                expected[k] = static_cast<float>(static_cast<double>(before[k]) + o);
        }
        for (bool wide : {false, true}) {
            if (wide && !hasWideVectors()) continue;
            std::vector<float> out = before;
            const double result = limitToOutput<Mode, UnitGain>(
                delayed.data(), UnitGain ? nullptr : gains.data(), out.data(), count, kClamp, ceiling, wide);
            EXPECT_TRUE(sameBits(out.data(), expected.data(), out.size() * sizeof(float))) << count << wide;
            EXPECT_EQ(result, largest) << count << wide;
        }
    }
}

TEST(LanesOutputStage, EveryWidthEqualsThePlainRuleInEveryMode) {
    checkOutputStage<OutputMode::Replace, false>(1);
    checkOutputStage<OutputMode::Replace, true>(2);
    checkOutputStage<OutputMode::Accumulate, false>(3);
    checkOutputStage<OutputMode::Accumulate, true>(4);
    checkOutputStage<OutputMode::MetersOnly, false>(5);
    checkOutputStage<OutputMode::MetersOnly, true>(6);
}

} // namespace
