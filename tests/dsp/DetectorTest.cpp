#include <gtest/gtest.h>

#include <cmath>

#include "dsp/LimiterPath.h"
#include "dsp/PeakHoldDetector.h"
#include "dsp/SmoothPeakDetector.h"

namespace {

PeakHoldDetector makeAutoFast() { return PeakHoldDetector(0.0005); }

TEST(DetectorCoefficients, ConstructionValuesAt44100) {
    PeakHoldDetector autoFast(0.0005);
    SmoothPeakDetector autoSlow(0.5, SmoothPeakDetector::kAdjustableAttack);
    SmoothPeakDetector manualFloor(0.05, 0.05);
    EXPECT_EQ(autoFast.releaseCoefficient(), std::pow(0.5, 0.045351473922902494));
    EXPECT_EQ(autoSlow.releaseCoefficient(), std::pow(0.5, 4.5351473922902495e-05));
    EXPECT_EQ(autoSlow.currentAttackMs(), 0.0);
    EXPECT_EQ(manualFloor.releaseCoefficient(), std::pow(0.5, 0.00045351473922902497));
    EXPECT_EQ(manualFloor.attackCoefficient(), std::pow(0.01, 0.00045351473922902497));
    EXPECT_EQ(manualFloor.currentAttackMs(), 50.0);
}

TEST(DetectorCoefficients, WorkedDecaysAt44100) {
    PeakHoldDetector autoFast(0.0005);
    SmoothPeakDetector autoSlow(0.5, SmoothPeakDetector::kAdjustableAttack);
    SmoothPeakDetector manualFloor(0.05, 0.05);
    EXPECT_NEAR(autoFast.releaseCoefficient(), 0.969053704, 5e-10);
    EXPECT_NEAR(std::pow(autoFast.releaseCoefficient(), 22.05), 0.5, 1e-12);
    EXPECT_NEAR(autoSlow.releaseCoefficient(), 0.999968565, 5e-10);
    EXPECT_NEAR(manualFloor.releaseCoefficient(), 0.999685697, 5e-10);
    EXPECT_NEAR(manualFloor.attackCoefficient(), 0.997913667, 5e-10);
}

TEST(DetectorCoefficients, ReleaseSettingMappings) {
    EXPECT_NEAR(manualReleaseSeconds(0.0f), 0.00001, 1e-15);
    EXPECT_NEAR(manualReleaseSeconds(1.0f), 1.0, 1e-12);
    EXPECT_NEAR(autoReleaseAttackMs(0.0f), 50.0, 1e-12);
    EXPECT_EQ(autoReleaseAttackMs(0.5f), 13.25);
    EXPECT_EQ(autoReleaseAttackMs(1.0f), 1.0);

    SmoothPeakDetector autoSlow(0.5, SmoothPeakDetector::kAdjustableAttack);
    autoSlow.setAttackMs(autoReleaseAttackMs(1.0f));
    EXPECT_EQ(autoSlow.attackCoefficient(), std::pow(0.01, 1.0 / (1.0 * 44100.0 * 0.001)));
    PeakHoldDetector manual(0.0);
    manual.setReleaseSeconds(manualReleaseSeconds(1.0f));
    EXPECT_NEAR(std::pow(manual.releaseCoefficient(), 44100.0), 0.5, 1e-9);
}

// Values beyond 0..1 give the times of the nearer end of the range the control offers; within it the
// formulas hold exactly.
TEST(DetectorCoefficients, ReleaseTimesStayWithinTheControlsRange) {
    for (int step = 0; step <= 1000; ++step) {
        const float v = static_cast<float>(step) / 1000.0f;
        const double vd = static_cast<double>(v);
        EXPECT_EQ(manualReleaseSeconds(v), (std::pow(vd, 3.0) * 999.99 + 0.01) * 0.001) << v;
        EXPECT_EQ(autoReleaseAttackMs(v), std::pow(1.0 - vd, 2.0) * 49.0 + 1.0) << v;
    }
    for (float below : {-0.0215f, -0.03f, -1.0f, -1e30f, -3.4e38f})
        EXPECT_EQ(manualReleaseSeconds(below), manualReleaseSeconds(0.0f)) << below;
    for (float above : {1.0001f, 1.5f, 2.0f, 1e30f, 3.4e38f})
        EXPECT_EQ(manualReleaseSeconds(above), manualReleaseSeconds(1.0f)) << above;
    // The attack can never be shorter than 1 ms; beyond 0 and beyond 2 it would exceed 50 ms.
    for (float v : {-0.001f, -0.5f, 2.5f, 3.0f, 1e30f, -3.4e38f})
        EXPECT_EQ(autoReleaseAttackMs(v), autoReleaseAttackMs(0.0f)) << v;
    EXPECT_EQ(autoReleaseAttackMs(1.5f), 13.25) << "within the range already";

    // A manual value below about -0.0215 once gave a negative half-life and a release coefficient above 1.
    PeakHoldDetector manual(0.0);
    manual.setReleaseSeconds(manualReleaseSeconds(-0.03f));
    EXPECT_EQ(manual.currentReleaseSeconds(), manualReleaseSeconds(0.0f));
    EXPECT_LT(manual.releaseCoefficient(), 1.0);
    manual.push(1.0);
    for (int k = 0; k < 39; ++k)
        manual.push(0.0);
    EXPECT_LT(manual.push(0.0), 1.0) << "the envelope releases";
}

TEST(DetectorCoefficients, SampleRateChangeRecomputesFromStoredSettings) {
    PeakHoldDetector autoFast(0.0005);
    autoFast.setSampleRate(96000.0);
    EXPECT_EQ(autoFast.releaseCoefficient(), std::pow(0.5, 1.0 / (96000.0 * 0.0005)));

    SmoothPeakDetector autoSlow(0.5, SmoothPeakDetector::kAdjustableAttack);
    autoSlow.setAttackMs(13.25);
    autoSlow.setSampleRate(48000.0);
    EXPECT_EQ(autoSlow.releaseCoefficient(), std::pow(0.5, 1.0 / (48000.0 * 0.5)));
    EXPECT_EQ(autoSlow.attackCoefficient(), std::pow(0.01, 1.0 / (13.25 * 48000.0 * 0.001)));

    PeakHoldDetector manual(0.0);
    manual.setReleaseSeconds(0.3);
    manual.setSampleRate(48000.0);
    EXPECT_EQ(manual.releaseCoefficient(), std::pow(0.5, 1.0 / (48000.0 * 0.3)));

    SmoothPeakDetector manualFloor(0.05, 0.05);
    manualFloor.setSampleRate(48000.0);
    EXPECT_EQ(manualFloor.attackCoefficient(), std::pow(0.01, 1.0 / (48000.0 * 0.05)));
    EXPECT_EQ(manualFloor.currentAttackMs(), 50.0);
}

TEST(PeakHoldDetector, SpikeHoldsFor39PushesThenReleases) {
    PeakHoldDetector manual(0.0);
    manual.setReleaseSeconds(manualReleaseSeconds(0.5f));
    const double k = manual.releaseCoefficient();
    EXPECT_EQ(manual.push(-1.0), 1.0);
    for (int i = 0; i < 39; ++i)
        EXPECT_EQ(manual.push(0.0), 1.0) << i;
    double expected = 1.0;
    for (int i = 0; i < 100; ++i) {
        expected *= k;
        EXPECT_EQ(manual.push(0.0), expected) << i;
    }
}

TEST(PeakHoldDetector, ReleaseStopsAtTheFloor) {
    PeakHoldDetector autoFast = makeAutoFast();
    autoFast.push(1.0);
    double env = 0.0;
    for (int i = 0; i < 300; ++i)
        env = autoFast.push(0.25);
    EXPECT_EQ(env, 0.25);
    // The floor is the magnitude pushed 38 pushes earlier.
    PeakHoldDetector probe = makeAutoFast();
    probe.push(1.0);
    for (int i = 0; i < 39; ++i)
        probe.push(0.5);
    EXPECT_EQ(probe.push(0.0), std::max(0.5, autoFast.releaseCoefficient()));
    for (int i = 0; i < 37; ++i)
        probe.push(0.0);
    EXPECT_EQ(probe.envelope(), 0.5);
    // 38 pushes after the release began, the floor slots hold the zeros of the release.
    EXPECT_EQ(probe.push(0.0), 0.5 * probe.releaseCoefficient());
}

TEST(PeakHoldDetector, NewPeakRestartsHoldAndResetClears) {
    PeakHoldDetector autoFast = makeAutoFast();
    autoFast.push(0.5);
    for (int i = 0; i < 20; ++i)
        autoFast.push(0.1);
    EXPECT_EQ(autoFast.push(0.7), 0.7);
    for (int i = 0; i < 39; ++i)
        EXPECT_EQ(autoFast.push(0.1), 0.7);
    EXPECT_LT(autoFast.push(0.1), 0.7);
    autoFast.reset();
    EXPECT_EQ(autoFast.envelope(), 0.0);
    EXPECT_EQ(autoFast.currentHoldCount(), 0);
}

TEST(SmoothPeakDetector, SpikeRisesByTheAttackCoefficient) {
    SmoothPeakDetector autoSlow(0.5, SmoothPeakDetector::kAdjustableAttack);
    autoSlow.setAttackMs(autoReleaseAttackMs(1.0f));
    const double a = std::pow(0.01, 1.0 / 44.1);
    EXPECT_EQ(autoSlow.push(1.0), 1.0 * (1.0 - a));
    EXPECT_EQ(autoSlow.push(1.0), 1.0 + (1.0 - a - 1.0) * a);
    for (int i = 0; i < 39; ++i)
        autoSlow.push(0.0);
    const double held = autoSlow.envelope();
    EXPECT_EQ(autoSlow.push(0.0), held * autoSlow.releaseCoefficient());
}

TEST(SmoothPeakDetector, RateChangeClearsTheFloorButKeepsTheEnvelope) {
    SmoothPeakDetector floorDetector(0.05, 0.05);
    for (int i = 0; i < 5000; ++i)
        floorDetector.push(1.0);
    for (int i = 0; i < 60; ++i)
        floorDetector.push(0.9);
    const double before = floorDetector.envelope();
    floorDetector.setSampleRate(44100.0);
    EXPECT_EQ(floorDetector.envelope(), before);
    // The ring now reads 0.0, so the envelope falls below the constant input.
    EXPECT_EQ(floorDetector.push(0.1), before * floorDetector.releaseCoefficient());
}

} // namespace
