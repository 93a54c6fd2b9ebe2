// The port mapping: every port's edges, values beyond them, steps between their numbers and infinite values
// land where a host expects. (That every factory value comes back from its port value, the bundle writer
// checks at build time, and the plug-in tests check through the binary.)
#include "lv2/PortLayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Per port: pairs of a port value and the normalised value it maps to. Among them the factory makeups of
// "+1dB Maxi" and "+1dB Maxi HardEdge", which no dB float reaches by division.
const std::pair<ParameterId, std::vector<std::pair<float, float>>> kPortCases[] = {
    {ParameterId::kMakeup, {{0, 0}, {48, 1}, {-1, 0}, {kInfinity, 1}, {6, 0.125f}}},
    {ParameterId::kMakeup, {{1.03540802f, 0.021571f}, {1.049712f, 0.021869f}}},
    {ParameterId::kCeiling, {{-6, 0}, {0, 1}, {3, 1}, {-kInfinity, 0}, {-0.9975f, 0.83375f}}},
    {ParameterId::kReleaseSwitch, {{0, 0}, {0.4f, 0}, {0.6f, 1}, {7, 1}}},
    {ParameterId::kAutoRelease, {{0, 0}, {100, 1}, {40.625f, 0.40625f}, {120, 1}}},
    {ParameterId::kManualRelease, {{0.01f, 0}, {0, 0}, {1000, 1}, {kInfinity, 1}, {1.00999f, 0.1f}}},
    {ParameterId::kClipSwitch, {{0, 0}, {2.4f, 0.5f}, {2.6f, 0.75f}, {4, 1}, {-2, 0}}},
    {ParameterId::kMonitor, {{0, 0}, {0.1f, 1}, {-1, 0}, {kInfinity, 1}}},
};

TEST(PortMapping, EdgesAndValuesBeyondThem) {
    LimiterCore core;
    const PortMapping mapping(core);
    for (const auto& [id, values] : kPortCases)
        for (const auto& [portValue, normalised] : values)
            EXPECT_TRUE(sameFloat(mapping.normalisedOf(id, portValue), normalised))
                << controlPortInfo(id).symbol << " " << portValue << " gives "
                << mapping.normalisedOf(id, portValue) << ", not " << normalised;
}

} // namespace
