#include "TestHost.h"

#include "core/BuildConfig.h"
#include "vst2/MeterQuery.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

TEST(Parameters, NamesAndLabels) {
    Instance effect;
    const char* names[] = {"Makeup", "Ceiling", "RelSW", "Rel", "lt_ClipSW", "Monitor"};
    for (int index = 0; index < 6; ++index) {
        EXPECT_EQ(effect.text(effGetParamName, index), names[index]);
        char label[8] = "xyz";
        effect.dispatch(effGetParamLabel, index, 0, label);
        EXPECT_STREQ(label, "");
    }
}

// An unknown index still gets a terminated text, the empty one, and nothing is written after it.
TEST(Parameters, UnknownIndicesGetTheEmptyText) {
    Instance effect;
    for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        for (std::int32_t index : {-1, 6, 7, 100, INT32_MIN, INT32_MAX}) {
            char text[16];
            std::memset(text, '#', sizeof text);
            effect.dispatch(opcode, index, 0, text);
            EXPECT_EQ(std::string(text, sizeof text), '\0' + std::string(sizeof text - 1, '#'))
                << "opcode " << opcode << ", index " << index;
            EXPECT_EQ(effect.get(index), 0.0f) << "index " << index;
        }
    }
}

TEST(Parameters, DefaultTexts) {
    Instance effect;
    EXPECT_EQ(effect.display(0), "0.0");
    EXPECT_EQ(effect.display(1), "0.00");
    EXPECT_EQ(effect.display(2), "auto");
    EXPECT_EQ(effect.display(3), " 40 %");
    EXPECT_EQ(effect.display(4), "3");
    EXPECT_EQ(effect.display(5), "on");
}

TEST(Parameters, MakeupTextsAndGain) {
    Instance effect;
    effect.set(0, 0.021571f);
    EXPECT_EQ(effect.display(0), "1.0");
    EXPECT_NEAR(makeupGain(effect), std::pow(10.0, 48.0 * static_cast<double>(0.021571f) / 20.0), 1e-12);
    EXPECT_NEAR(makeupGain(effect), 1.12660, 1e-5);
    effect.set(0, 0.002f);
    EXPECT_EQ(effect.display(0), "0.0");
    EXPECT_EQ(makeupGain(effect), 1.0);
    effect.set(0, 1.0f);
    EXPECT_EQ(effect.display(0), "48.0");
    EXPECT_NEAR(makeupGain(effect), 251.18864315, 1e-6);
    effect.set(0, 0.5f);
    EXPECT_EQ(effect.display(0), "24.0");
    EXPECT_EQ(effect.get(0), 0.5f);
}

TEST(Parameters, CeilingTextsAndGain) {
    Instance effect;
    effect.set(1, 1.0f);
    EXPECT_EQ(effect.display(1), "0.00");
    EXPECT_EQ(ceilingGain(effect), 1.0);
    effect.set(1, 0.83375f);
    EXPECT_EQ(effect.display(1), "-1.00");
    effect.set(1, 0.0f);
    EXPECT_EQ(effect.display(1), "-6.00");
    EXPECT_NEAR(ceilingGain(effect), 0.501187234, 1e-9);
    effect.set(1, 0.998f);
    EXPECT_EQ(effect.display(1), "-0.01");
    effect.set(1, 0.5f);
    EXPECT_EQ(effect.display(1), "-3.00");
}

TEST(Parameters, AutoReleaseTexts) {
    Instance effect;
    effect.set(2, 0.0f);
    const std::pair<float, const char*> cases[] = {{0.40625f, " 40 %"}, {0.0f, "min"},    {0.005f, "min"},
                                                   {0.995f, "max"},     {0.99f, " 99 %"}, {0.25f, " 25 %"},
                                                   {0.5f, " 50 %"},     {0.01f, " 1 %"},  {1.0f, "max"}};
    for (auto [value, text] : cases) {
        effect.set(3, value);
        EXPECT_EQ(effect.display(3), text) << value;
    }
}

TEST(Parameters, ManualReleaseTexts) {
    Instance effect;
    effect.set(2, 1.0f);
    const std::pair<float, const char*> cases[] = {{0.1f, "1.0"}, {0.0f, "0.01"}, {0.670082f, "300"},
                                                   {1.0f, "999"}, {0.2f, "8.0"},  {0.5f, "125"}};
    for (auto [value, text] : cases) {
        effect.set(3, value);
        EXPECT_EQ(effect.display(3), text) << value;
    }
}

TEST(Parameters, SwitchTexts) {
    Instance effect;
    const std::pair<float, const char*> clip[] = {{0.0f, "soft"}, {0.19f, "soft"}, {0.2f, "2"},
                                                  {0.25f, "2"},   {0.5f, "3"},     {0.75f, "4"},
                                                  {0.8f, "hard"}, {1.0f, "hard"}};
    for (auto [value, text] : clip) {
        effect.set(4, value);
        EXPECT_EQ(effect.display(4), text) << value;
    }
    effect.set(5, 0.49f);
    EXPECT_EQ(effect.display(5), "on");
    effect.set(5, 0.5f);
    EXPECT_EQ(effect.display(5), "bypass");
    effect.set(2, 0.49f);
    EXPECT_EQ(effect.display(2), "auto");
}

TEST(Parameters, ReleaseKeepsOneValuePerMode) {
    Instance effect;
    effect.set(2, 0.0f);
    effect.set(3, 0.3f);
    effect.set(2, 1.0f);
    EXPECT_EQ(effect.get(3), 0.1f) << "the manual value of Default";
    effect.set(3, 0.7f);
    EXPECT_EQ(effect.get(3), 0.7f);
    effect.set(2, 0.0f);
    EXPECT_EQ(effect.get(3), 0.3f);
    effect.set(2, 1.0f);
    EXPECT_EQ(effect.get(3), 0.7f);
}

TEST(Parameters, ReleaseSwitchAtExactlyHalfShowsManualButActsAuto) {
    Instance effect;
    effect.set(3, 0.25f); // auto value
    effect.set(2, 0.5f);
    EXPECT_EQ(effect.display(2), "manual");
    EXPECT_EQ(effect.display(3), " 25 %");
    EXPECT_EQ(effect.get(3), 0.25f);
    effect.set(3, 0.75f);
    effect.set(2, 0.0f);
    EXPECT_EQ(effect.get(3), 0.75f) << "written as the auto value";
}

// The editor hears of every change by id, and of the release value before the switch that re-applied it;
// "Rel" is the release of the selected mode.
TEST(Parameters, EditorHearsOfEveryChangeInOrder) {
    Instance effect;
    RecordingEditor& editor = RecordingEditor::attachTo(effect);
    effect.set(2, 1.0f);
    effect.set(3, 0.5f);
    effect.set(2, 0.0f);
    effect.set(3, 0.5f);
    effect.set(9, 0.5f);
    effect.set(0, std::numeric_limits<float>::quiet_NaN());
    const std::vector<ParameterId> expected = {ParameterId::kManualRelease, ParameterId::kReleaseSwitch,
                                               ParameterId::kManualRelease, ParameterId::kAutoRelease,
                                               ParameterId::kReleaseSwitch, ParameterId::kAutoRelease};
    EXPECT_EQ(editor.changes, expected);
}

// Meter indexes 6 and up are the core's meter slots, read through the vendor-specific query only.
TEST(MeterValues, VendorQueryReadsThePublishedValues) {
    Instance effect;
    Buffers loud = noise(5000, 4, 1.0f);
    run(effect, loud);
    double value = -1.0;
    for (int slot = 0; slot < kMeterCount; ++slot) {
        EXPECT_EQ(effect.dispatch(effVendorSpecific, kMeterValueQuery, 6 + slot, &value), 1);
        EXPECT_EQ(value, coreOf(effect).meterValue(slot)) << slot;
        EXPECT_GT(value, 0.0) << slot;
        EXPECT_EQ(effect.get(6 + slot), 0.0f) << "meter indexes are not parameters";
    }
    value = -1.0;
    EXPECT_EQ(effect.dispatch(effVendorSpecific, kMeterValueQuery, 5, &value), 0);
    EXPECT_EQ(effect.dispatch(effVendorSpecific, kMeterValueQuery, 6 + kMeterCount, &value), 0);
    EXPECT_EQ(effect.dispatch(effVendorSpecific, kMeterValueQuery, 7, nullptr), 0);
    EXPECT_EQ(effect.dispatch(effVendorSpecific, 0, 7, &value), 0);
    if (sizeof(VstIntPtr) == 8) {
        EXPECT_EQ(effect.dispatch(effVendorSpecific, kMeterValueQuery,
                                  static_cast<VstIntPtr>((1ULL << 32) | 7U), &value),
                  0);
    }
    EXPECT_EQ(value, -1.0);
}

// Display texts fit the host's 8-byte field for every finite value, in range or not.
TEST(Parameters, DisplayTextsNeverExceedEightBytes) {
    Instance effect;
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> exponent(-40.0f, 38.0f);
    std::vector<float> values = {0.0f,    1.0f,     -1.0f,  200.0f, 1e30f, -1e30f,
                                 3.4e38f, -3.4e38f, 1e-40f, 2.0f,   128.0f};
    for (int i = 0; i < 2000; ++i)
        values.push_back((i % 2 ? -1.0f : 1.0f) * std::pow(10.0f, exponent(random)));
    for (float value : values) {
        for (int mode : {0, 1}) {
            effect.set(2, static_cast<float>(mode));
            for (int index = 0; index < 6; ++index) {
                if (index != 2) effect.set(index, value);
                char buffer[64];
                std::memset(buffer, '#', sizeof buffer);
                effect.dispatch(effGetParamDisplay, index, 0, buffer);
                const char* end = static_cast<const char*>(std::memchr(buffer, '\0', 8));
                ASSERT_NE(end, nullptr) << "index " << index << " value " << value;
                for (int i = 8; i < 64; ++i)
                    ASSERT_EQ(buffer[i], '#') << "index " << index << " value " << value;
            }
        }
    }
}

TEST(Parameters, NonFiniteValuesAreIgnored) {
    Instance effect;
    effect.selectProgram(11);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
        for (int index = 0; index < 6; ++index) {
            float before = effect.get(index);
            effect.set(index, bad);
            EXPECT_EQ(effect.get(index), before) << index;
        }
    }
    EXPECT_TRUE(std::isfinite(makeupGain(effect)));
    EXPECT_EQ(coreOf(effect).program(11).makeup, 0.123963f);
}

TEST(Parameters, MakeupGainStaysFiniteAndCapped) {
    Instance effect;
    for (float value : {2.0f, 3.0f, 128.0f, 200.0f, 1e30f, 3.4e38f}) {
        effect.set(0, value);
        EXPECT_EQ(effect.get(0), value) << "stored as it came";
        EXPECT_NEAR(makeupGain(effect), std::pow(10.0, 96.0 / 20.0), 1e-6) << value;
    }
    effect.set(0, -1e30f);
    EXPECT_EQ(makeupGain(effect), 0.0);
    effect.set(0, -10.0f);
    EXPECT_GT(makeupGain(effect), 0.0);
    effect.set(1, -1e30f);
    EXPECT_EQ(ceilingGain(effect), 0.0);
    effect.set(1, 5.0f);
    EXPECT_EQ(ceilingGain(effect), 1.0);
}

} // namespace
