// The signal path as a host reaches it: through the record's process entries and the dispatcher.
#include "TestHost.h"

#include "core/BuildConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

namespace {

TEST(Processing, ImpulseComesOutAfterTheReportedLatency) {
    Instance effect;
    Buffers buffers(128);
    for (int c = 0; c < kChannelCount; ++c)
        buffers.input(c)[10] = 0.5f;
    std::vector<float> output = run(effect, buffers);
    const int arrival = 10 + effect->initialDelay;
    for (int i = 0; i < arrival; ++i)
        EXPECT_EQ(output[static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_NEAR(output[static_cast<size_t>(arrival)], 0.5f, 1e-4f);
    // Only the DC blocker's small settling tail follows the impulse.
    for (int i = arrival + 1; i < 128; ++i)
        EXPECT_LT(std::fabs(output[static_cast<size_t>(i)]), 1e-4f) << i;
}

// Suspend and resume both clear the running state: what follows equals a fresh instance's output.
TEST(Processing, MainsChangedClearsTheRunningStateEitherWay) {
    for (VstIntPtr mains : {0, 1}) {
        Instance used;
        Instance fresh;
        used.selectProgram(15);
        fresh.selectProgram(15);
        Buffers loud = noise(5000, 7, 1.0f);
        run(used, loud);
        used.dispatch(effMainsChanged, 0, mains);
        Buffers first = noise(3000, 8, 0.9f);
        Buffers second = noise(3000, 8, 0.9f);
        EXPECT_EQ(run(used, first), run(fresh, second)) << "mains " << mains;
        EXPECT_EQ(coreOf(used).meterValue(0), coreOf(fresh).meterValue(0));
    }
}

TEST(Processing, SampleRateStoredWithBlockSizeIsNotApplied) {
    Instance effect;
    EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 4410);
    EXPECT_EQ(effect.dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
    EXPECT_EQ(effectOf(effect).sampleRate(), 96000.0f);
    EXPECT_EQ(effectOf(effect).blockSize(), 256);
    EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 4410);
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 9600);
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, 16000.0f);
    EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 2200);
}

// A zero, negative or non-finite rate would make the DC blocker's coefficient infinite for good.
TEST(Processing, InvalidSampleRatesAreIgnored) {
    Instance effect;
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    for (float bad : {0.0f, -1.0f, -48000.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        effect.dispatch(effSetSampleRate, 0, 0, nullptr, bad);
        effect.dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, bad);
        EXPECT_EQ(effectOf(effect).sampleRate(), 48000.0f);
        EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 4800);
    }
    Buffers buffers = noise(2000, 3, 1.0f);
    for (float x : run(effect, buffers))
        ASSERT_TRUE(std::isfinite(x));
}

// A rate the signal path ignores (below 1 Hz) is not stored by the VST 2.x layer either.
TEST(Processing, SampleRatesBelowOneHertzAreIgnored) {
    Instance effect;
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    for (float tooLow : {0.5f, 0.999f, 1e-30f, std::numeric_limits<float>::denorm_min()}) {
        effect.dispatch(effSetSampleRate, 0, 0, nullptr, tooLow);
        EXPECT_EQ(effect.dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, tooLow), 1);
        EXPECT_EQ(effectOf(effect).sampleRate(), 48000.0f) << tooLow;
        EXPECT_EQ(effectOf(effect).blockSize(), 512) << "the block size is still stored";
        EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 4800) << tooLow;
    }
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, 1.0f);
    EXPECT_EQ(effectOf(effect).sampleRate(), 1.0f);
    EXPECT_EQ(coreOf(effect).signalPath().meterPeriod(), 2200);
    EXPECT_EQ(effect.dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 2.0f), 1);
    EXPECT_EQ(effectOf(effect).sampleRate(), 2.0f);
}

// "Rel" beyond its range is stored and shown as it comes, while the detectors keep to the times the control
// offers: the output is that of the nearer end of the range. A manual value below about -0.0215 once made the
// release run away and the output fall silent for good.
TEST(Processing, ReleaseBeyondItsRangeSoundsLikeTheNearerEnd) {
    struct Case {
        float relSwitch;
        float beyond;
        float end;
        const char* text;
    };
    const Case cases[] = {{1.0f, -0.03f, 0.0f, "-0.02"},
                          {1.0f, -1.0f, 0.0f, "-999.98"},
                          {1.0f, 1.5f, 1.0f, "3374"},
                          {0.0f, -0.5f, 0.0f, "min"},
                          {0.0f, 3.0f, 0.0f, "max"}};
    for (const Case& c : cases) {
        Instance beyond;
        Instance end;
        for (const Instance* effect : std::initializer_list<const Instance*>{&beyond, &end}) {
            effect->set(2, c.relSwitch);
            effect->set(0, 0.5f);
        }
        beyond.set(3, c.beyond);
        end.set(3, c.end);
        EXPECT_EQ(beyond.get(3), c.beyond);
        EXPECT_EQ(coreOf(beyond).program(0).relSwitch > 0.5f ? coreOf(beyond).program(0).manualRelease
                                                             : coreOf(beyond).program(0).autoRelease,
                  c.beyond);
        EXPECT_EQ(beyond.display(3), c.text) << c.beyond;
        Buffers a = noise(6000, 21, 0.5f);
        Buffers b = noise(6000, 21, 0.5f);
        const std::vector<float> output = run(beyond, a);
        EXPECT_EQ(output, run(end, b)) << c.beyond;
        float loudest = 0.0f;
        for (std::size_t i = 3000; i < output.size(); ++i)
            loudest = std::max(loudest, std::fabs(output[i]));
        EXPECT_GT(loudest, 0.5f) << c.beyond;
    }
}

// Whatever finite parameter values and input, every output is finite and within the ceiling.
TEST(Processing, OutputStaysFiniteAndBoundedForExtremeSettings) {
    const float settings[] = {0.0f, 1.0f, 2.0f, 3.0f, 128.0f, 200.0f, 1e30f, 3.4e38f, -1e30f};
    const float inputs[] = {std::numeric_limits<float>::max(), 1e30f, 1.0f, 1e-30f};
    for (float makeup : settings) {
        for (float level : inputs) {
            Instance effect;
            effect.set(0, makeup);
            effect.set(1, 0.3f);
            Buffers buffers = noise(3000, 11, level);
            buffers.input(0)[100] = std::numeric_limits<float>::quiet_NaN();
            buffers.input(0)[200] = std::numeric_limits<float>::infinity();
            buffers.input(0)[300] = -std::numeric_limits<float>::infinity();
            run(effect, buffers);
            const double bound = 0.999999 * ceilingGain(effect);
            for (int c = 0; c < kChannelCount; ++c) {
                for (float x : buffers.output(c)) {
                    ASSERT_TRUE(std::isfinite(x)) << makeup << " " << level;
                    ASSERT_LE(std::fabs(static_cast<double>(x)), bound) << makeup << " " << level;
                }
            }
        }
    }
}

TEST(Processing, NullChannelArraysProcessNothing) {
    Instance effect;
    Buffers buffers(64);
    effect->processReplacing(effect.get(), nullptr, buffers.outputs, 64);
    effect->processReplacing(effect.get(), buffers.inputs, nullptr, 64);
    effect->process(effect.get(), nullptr, nullptr, 64);
    for (int c = 0; c < kChannelCount; ++c)
        for (float x : buffers.output(c))
            EXPECT_EQ(x, 0.0f);
}

TEST(Processing, ProgramChangeDoesNotClearTheRunningState) {
    Instance effect;
    Instance reference;
    Buffers loud = noise(1000, 5, 1.0f);
    Buffers loudAgain = noise(1000, 5, 1.0f);
    run(effect, loud);
    run(reference, loudAgain);
    effect.selectProgram(0);
    Buffers next = noise(200, 6, 0.2f);
    Buffers nextAgain = noise(200, 6, 0.2f);
    EXPECT_EQ(run(effect, next), run(reference, nextAgain));
}

} // namespace
