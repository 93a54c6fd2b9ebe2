#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ReferenceModel.h"
#include "dsp/GainSmoother.h"

namespace {

constexpr int kSoft = 0;
constexpr int kHard = 4;

TEST(RampTables, EndWeightsAndSums) {
    const RampTables tables = buildRampTables();
    const double first[] = {0.01525, 0.0176875, 0.020125, 0.0225625, 0.025};
    const double last[] = {0.03475, 0.0323125, 0.029875, 0.0274375, 0.025};
    for (int p = 0; p < kRampTableCount; ++p) {
        EXPECT_NEAR(tables[p][0], first[p], 1e-14) << p;
        EXPECT_NEAR(tables[p][39], last[p], 1e-14) << p;
        double sum = 0.0;
        for (double w : tables[p])
            sum += w;
        EXPECT_NEAR(sum, 1.0, 1e-14) << p;
    }
    for (int k = 0; k < 40; ++k)
        EXPECT_NEAR(tables[0][k], 0.015 + (2.0 * k + 1.0) / 4000.0, 1e-14) << k;
}

// A switch value and the shape the user sees for it.
struct ShapeCase {
    float value;
    const char* shape;
};

// The weight a shape gives the newest target while the gain falls (k = 39 of its closed form).
double newestFallingWeight(const std::string& shape) {
    const std::map<std::string, double> weights = {
        {"soft", 0.03475}, {"2", 0.0323125}, {"3", 0.029875}, {"4", 0.0274375}, {"hard", 0.025}};
    return weights.at(shape);
}

// Each threshold is pinned by the floats on both sides of it, the one just below and the threshold itself
// (the first float of the next range): a threshold moved by even one float step selects the wrong shape.
TEST(RampTables, ShapeSwitchSelectsTheShapeOfEachRange) {
    const auto below = [](float t) { return std::nextafter(t, -1.0f); };
    const ShapeCase cases[] = {{-3.0f, "soft"},    {0.0f, "soft"}, {below(0.2f), "soft"}, {0.2f, "2"},
                               {below(0.4f), "2"}, {0.4f, "3"},    {below(0.6f), "3"},    {0.6f, "4"},
                               {below(0.8f), "4"}, {0.8f, "hard"}, {1.0f, "hard"},        {3.0f, "hard"}};
    for (const ShapeCase& c : cases) {
        // From reset, the first output of a step down to 0.5 is 1 - 0.5 x the newest target's weight.
        GainSmoother smoother;
        EXPECT_NEAR(smoother.smoothGain(0.5, rampTableIndex(c.value)),
                    1.0 - 0.5 * newestFallingWeight(c.shape), 1e-14)
            << c.value << " " << c.shape;
    }
}

TEST(GainSmoother, SoftStepDownAndBackUp) {
    GainSmoother smoother;
    EXPECT_NEAR(smoother.smoothGain(0.5, kSoft), 0.982625, 1e-14);
    double y = 0.0;
    for (int i = 1; i < 40; ++i)
        y = smoother.smoothGain(0.5, kSoft);
    EXPECT_NEAR(y, 0.5, 1e-14);
    for (int i = 0; i < 200; ++i)
        smoother.smoothGain(0.5, kSoft);
    EXPECT_NEAR(smoother.smoothGain(1.0, kSoft), 0.507625, 1e-14);
    EXPECT_FALSE(smoother.isFalling());
}

TEST(GainSmoother, HardStepFallsLinearly) {
    GainSmoother smoother;
    for (int i = 1; i <= 40; ++i)
        EXPECT_NEAR(smoother.smoothGain(0.5, kHard), 1.0 - 0.0125 * i, 1e-14) << i;
    for (int i = 0; i < 100; ++i)
        smoother.smoothGain(0.5, kHard);
    EXPECT_NEAR(smoother.smoothGain(1.0, kHard), 0.5125, 1e-14);
}

TEST(GainSmoother, EqualInputTakesTheFallingBranch) {
    GainSmoother smoother;
    smoother.smoothGain(1.0, kSoft);
    EXPECT_TRUE(smoother.isFalling());
    for (int i = 0; i < 3; ++i)
        smoother.smoothGain(0.7, kSoft);
    smoother.smoothGain(1.0, kSoft);
    EXPECT_FALSE(smoother.isFalling());
    const double last = smoother.currentLastGain();
    smoother.smoothGain(last, kSoft);
    EXPECT_TRUE(smoother.isFalling());
}

TEST(GainSmoother, UnityRunShortCutFreezesTheState) {
    GainSmoother smoother;
    for (int i = 0; i < 50; ++i)
        smoother.smoothGain(0.25, kSoft);
    for (int i = 1; i <= 40; ++i)
        smoother.smoothGain(1.0, kSoft);
    const auto history = smoother.orderedHistory();
    const double last = smoother.currentLastGain();
    EXPECT_NEAR(last, 1.0, 1e-14);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(smoother.smoothGain(1.0, kSoft), 1.0);
    EXPECT_EQ(smoother.orderedHistory(), history);
    EXPECT_EQ(smoother.currentLastGain(), last);

    // The next input below 1.0 continues from the frozen history and last gain.
    ReferenceSmoother reference;
    reference.reset();
    const RampTables tables = buildRampTables();
    for (int i = 0; i < 50; ++i)
        reference.smoothGain(0.25, tables[kSoft]);
    for (int i = 0; i < 41; ++i)
        reference.smoothGain(1.0, tables[kSoft]);
    EXPECT_NEAR(smoother.smoothGain(0.5, kSoft), reference.smoothGain(0.5, tables[kSoft]), 1e-14);
}

TEST(GainSmoother, UnityRunSaturates) {
    GainSmoother smoother;
    for (std::int64_t i = 0; i < 100000; ++i)
        smoother.smoothGain(1.0, kSoft);
    EXPECT_EQ(smoother.currentUnityRun(), GainSmoother::kUnityRunLimit + 1);
    EXPECT_LT(smoother.smoothGain(0.5, kSoft), 1.0);
    EXPECT_EQ(smoother.currentUnityRun(), 0);
}

TEST(GainSmoother, ResetRestoresTheStartState) {
    GainSmoother smoother;
    for (int i = 0; i < 77; ++i)
        smoother.smoothGain(0.1 + 0.01 * i, 2);
    smoother.reset();
    EXPECT_NEAR(smoother.smoothGain(0.5, kSoft), 0.982625, 1e-14);
}

// Target sequences like the limiter's: plateaus, steps, slow ramps, noise, runs of 1.0 and huge dynamic
// range.
double nextTarget(std::mt19937& rng, double previous, int& mode, int& remaining) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (remaining-- <= 0) {
        mode = static_cast<int>(unit(rng) * 6.0);
        remaining = 1 + static_cast<int>(unit(rng) * 400.0);
    }
    switch (mode) {
    case 0:
        return previous;
    case 1:
        return std::min(1.0, unit(rng));
    case 2:
        return 1.0;
    case 3:
        return std::min(1.0, previous * (1.0 + 0.01 * (unit(rng) - 0.5)));
    case 4:
        return std::pow(10.0, -60.0 * unit(rng));
    default:
        return std::min(1.0, 0.999999 / (1.0 + 250.0 * unit(rng)));
    }
}

TEST(GainSmoother, MatchesThePlainWindowSumOverLongRandomRuns) {
    const RampTables tables = buildRampTables();
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        std::mt19937 rng(seed);
        GainSmoother smoother;
        ReferenceSmoother reference;
        reference.reset();
        double x = 1.0;
        int mode = 0;
        int remaining = 0;
        double worst = 0.0;
        for (int i = 0; i < 400000; ++i) {
            x = nextTarget(rng, x, mode, remaining);
            const int table =
                static_cast<int>((seed + static_cast<std::uint32_t>(i / 5000)) % kRampTableCount);
            const double y = smoother.smoothGain(x, table);
            const double expected = reference.smoothGain(x, tables[static_cast<std::size_t>(table)]);
            worst = std::max(worst, std::fabs(y - expected));
            ASSERT_LE(std::fabs(y - expected), 1e-12) << "seed " << seed << " call " << i;
            // Relative accuracy holds for tiny gains too.
            ASSERT_LE(std::fabs(y - expected), 1e-9 * expected + 1e-300) << "seed " << seed << " call " << i;
        }
        RecordProperty("worst_difference_seed_" + std::to_string(seed), std::to_string(worst));
    }
}

// The limiter's block path takes the same steps as one call per target, with gains above 1.0 limited, also
// where the gains fall into the subnormal range and have to be flushed.
TEST(GainSmoother, BlockRunsEqualSingleCalls) {
    for (const double scale : {1.0, 1e-300}) {
        std::mt19937 rng(7);
        GainSmoother single;
        GainSmoother blocks;
        double x = 1.0;
        int mode = 0;
        int remaining = 0;
        std::vector<double> targets(256);
        std::vector<double> expected(256);
        std::vector<double> gains(256);
        for (int round = 0; round < 600; ++round) {
            const auto count = static_cast<std::int32_t>(1 + (round * 37) % 256);
            const int table = round % kRampTableCount;
            double smallest = 1.0;
            for (std::int32_t k = 0; k < count; ++k) {
                x = nextTarget(rng, x, mode, remaining);
                targets[k] = x < 1.0 ? x * scale : 1.0;
                expected[k] = std::min(single.smoothGain(targets[k], table), 1.0);
                smallest = std::min(smallest, expected[k]);
            }
            ASSERT_EQ(blocks.smoothLimitRun(targets.data(), gains.data(), count, table), smallest) << round;
            ASSERT_EQ(std::memcmp(gains.data(), expected.data(), sizeof(double) * count), 0) << round;
        }
    }
}

} // namespace
