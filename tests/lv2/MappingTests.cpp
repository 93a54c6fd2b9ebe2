// The port mapping: every factory value comes back exactly from its port value, and every port's edges,
// values beyond them and non-finite values land where a host expects.
#include "lv2/PortLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PortMapping, EveryFactoryValueComesBackFromItsPortValue) {
    LimiterCore core;
    const PortMapping mapping(core);
    for (int program = 0; program < LimiterCore::programCount(); ++program) {
        core.selectProgram(program);
        for (int index = 0; index < kParameterIdCount; ++index) {
            const auto id = static_cast<ParameterId>(index);
            const float value = core.value(id);
            EXPECT_TRUE(sameFloat(mapping.normalisedOf(id, portValueOf(id, value)), value))
                << "program " << program << ", " << controlPortInfo(id).symbol << " " << value;
        }
    }
}

struct PortCase {
    ParameterId id;
    float portValue;
    float normalised;
};

// Ranges, edges, values beyond them, steps between their numbers, and the factory values a plain division
// cannot reach (+1 dB makeup of "+1dB Maxi" and "+1dB Maxi HardEdge").
const PortCase kPortCases[] = {
    {ParameterId::kMakeup, 0.0f, 0.0f},
    {ParameterId::kMakeup, 48.0f, 1.0f},
    {ParameterId::kMakeup, -1.0f, 0.0f},
    {ParameterId::kMakeup, kInfinity, 1.0f},
    {ParameterId::kMakeup, 6.0f, 0.125f},
    {ParameterId::kMakeup, 1.03540802f, 0.021571f},
    {ParameterId::kMakeup, 1.049712f, 0.021869f},
    {ParameterId::kCeiling, -6.0f, 0.0f},
    {ParameterId::kCeiling, 0.0f, 1.0f},
    {ParameterId::kCeiling, 3.0f, 1.0f},
    {ParameterId::kCeiling, -kInfinity, 0.0f},
    {ParameterId::kCeiling, -0.9975f, 0.83375f},
    {ParameterId::kReleaseSwitch, 0.0f, 0.0f},
    {ParameterId::kReleaseSwitch, 0.4f, 0.0f},
    {ParameterId::kReleaseSwitch, 0.6f, 1.0f},
    {ParameterId::kReleaseSwitch, 7.0f, 1.0f},
    {ParameterId::kAutoRelease, 0.0f, 0.0f},
    {ParameterId::kAutoRelease, 100.0f, 1.0f},
    {ParameterId::kAutoRelease, 40.625f, 0.40625f},
    {ParameterId::kAutoRelease, 120.0f, 1.0f},
    {ParameterId::kManualRelease, 0.01f, 0.0f},
    {ParameterId::kManualRelease, 0.0f, 0.0f},
    {ParameterId::kManualRelease, 1000.0f, 1.0f},
    {ParameterId::kManualRelease, kInfinity, 1.0f},
    {ParameterId::kManualRelease, 1.00999f, 0.1f},
    {ParameterId::kClipSwitch, 0.0f, 0.0f},
    {ParameterId::kClipSwitch, 2.4f, 0.5f},
    {ParameterId::kClipSwitch, 2.6f, 0.75f},
    {ParameterId::kClipSwitch, 4.0f, 1.0f},
    {ParameterId::kClipSwitch, -2.0f, 0.0f},
    {ParameterId::kMonitor, 0.0f, 0.0f},
    {ParameterId::kMonitor, 0.1f, 1.0f},
    {ParameterId::kMonitor, -1.0f, 0.0f},
    {ParameterId::kMonitor, kInfinity, 1.0f},
};

TEST(PortMapping, EdgesAndValuesBeyondThem) {
    LimiterCore core;
    const PortMapping mapping(core);
    for (const PortCase& c : kPortCases)
        EXPECT_TRUE(sameFloat(mapping.normalisedOf(c.id, c.portValue), c.normalised))
            << controlPortInfo(c.id).symbol << " " << c.portValue << " gives "
            << mapping.normalisedOf(c.id, c.portValue) << ", not " << c.normalised;
}

TEST(PortMapping, NotANumberStaysOneForTheCoreToDrop) {
    LimiterCore core;
    const PortMapping mapping(core);
    for (int index = 0; index < kParameterIdCount; ++index)
        EXPECT_TRUE(std::isnan(
            mapping.normalisedOf(static_cast<ParameterId>(index), std::numeric_limits<float>::quiet_NaN())));
}

TEST(PortMapping, RangesInTheUnitsTheTextsShow) {
    const struct {
        ParameterId id;
        float minimum, maximum;
    } ranges[] = {{ParameterId::kMakeup, 0.0f, 48.0f},
                  {ParameterId::kCeiling, -6.0f, 0.0f},
                  {ParameterId::kReleaseSwitch, 0.0f, 1.0f},
                  {ParameterId::kAutoRelease, 0.0f, 100.0f},
                  {ParameterId::kManualRelease, 0.01f, 1000.0f},
                  {ParameterId::kClipSwitch, 0.0f, 4.0f},
                  {ParameterId::kMonitor, 0.0f, 1.0f}};
    for (const auto& range : ranges) {
        EXPECT_EQ(portMinimum(range.id), range.minimum) << controlPortInfo(range.id).symbol;
        EXPECT_EQ(portMaximum(range.id), range.maximum) << controlPortInfo(range.id).symbol;
    }
}

} // namespace
