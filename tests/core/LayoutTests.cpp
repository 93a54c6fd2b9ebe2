// The parameter layout: ids, names, defaults, steps, and texts read back as the values that show them.
#include "core/LimiterProgram.h"
#include "core/ParameterLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::string shown(ParameterId id, float value) {
    char text[kParameterTextSize];
    formatParameter(id, value, text);
    return text;
}

ParameterId idAt(int index) { return static_cast<ParameterId>(index); }

TEST(Layout, IdsNamesDefaultsAndSteps) {
    const char* names[] = {"Makeup", "Ceiling", "RelSW", "Rel auto", "Rel manual", "lt_ClipSW", "Monitor"};
    const int steps[] = {0, 0, 1, 0, 0, 4, 1};
    const LimiterProgram& defaults = kFactoryPrograms[0];
    const float defaultValues[] = {defaults.makeup,      defaults.ceiling,       defaults.relSwitch,
                                   defaults.autoRelease, defaults.manualRelease, defaults.clipSwitch,
                                   defaults.monitor};
    for (int index = 0; index < kParameterIdCount; ++index) {
        const ParameterInfo& info = parameterInfo(idAt(index));
        EXPECT_TRUE(isParameterId(static_cast<std::uint32_t>(index)));
        EXPECT_EQ(info.id, idAt(index));
        EXPECT_STREQ(info.name, names[index]);
        EXPECT_EQ(info.stepCount, steps[index]) << names[index];
        EXPECT_EQ(info.defaultValue, defaultValues[index]) << names[index];
    }
    for (std::uint32_t id : {7u, 8u, 100u, 0xFFFFFFFFu})
        EXPECT_FALSE(isParameterId(id)) << id;
}

// Each step's value shows the step's text, and the text's step is the step.
TEST(Layout, StepsAndTheirTexts) {
    const std::pair<ParameterId, std::vector<std::string>> cases[] = {
        {ParameterId::kReleaseSwitch, {"auto", "manual"}},
        {ParameterId::kClipSwitch, {"soft", "2", "3", "4", "hard"}},
        {ParameterId::kMonitor, {"on", "bypass"}}};
    for (const auto& [id, texts] : cases) {
        for (int step = 0; step < static_cast<int>(texts.size()); ++step) {
            const float value = valueOfStep(id, step);
            EXPECT_EQ(shown(id, value), texts[static_cast<std::size_t>(step)]);
            EXPECT_EQ(stepOfValue(id, value), step);
            float parsed = -1.0f;
            EXPECT_TRUE(parseParameter(id, texts[static_cast<std::size_t>(step)].c_str(), parsed));
            EXPECT_EQ(parsed, value);
        }
    }
    EXPECT_EQ(valueOfStep(ParameterId::kClipSwitch, 1), 0.25f);
    EXPECT_EQ(stepOfValue(ParameterId::kClipSwitch, 0.19f), 0);
    EXPECT_EQ(stepOfValue(ParameterId::kReleaseSwitch, 0.5f), 1) << "0.5 shows manual";
}

// Every shown text of a value grid reads back as a value that shows the same text.
TEST(Layout, ShownTextsReadBackToTheSameText) {
    for (int index = 0; index < kParameterIdCount; ++index) {
        const ParameterId id = idAt(index);
        for (int k = 0; k <= 1000; ++k) {
            const float value = static_cast<float>(k) / 1000.0f;
            const std::string text = shown(id, value);
            float parsed = -1.0f;
            ASSERT_TRUE(parseParameter(id, text.c_str(), parsed)) << index << " \"" << text << '"';
            EXPECT_EQ(shown(id, parsed), text) << index << " from " << value;
        }
    }
}

TEST(Layout, PlainNumbersInTheUnitAndClamping) {
    struct Case {
        ParameterId id;
        const char* text;
        float value;
    };
    const Case cases[] = {
        {ParameterId::kMakeup, "24", 0.5f},       {ParameterId::kMakeup, " 48 ", 1.0f},
        {ParameterId::kMakeup, "99", 1.0f},       {ParameterId::kMakeup, "-3", 0.0f},
        {ParameterId::kCeiling, "-3", 0.5f},      {ParameterId::kCeiling, "-60", 0.0f},
        {ParameterId::kCeiling, "2", 1.0f},       {ParameterId::kAutoRelease, "50%", 0.5f},
        {ParameterId::kAutoRelease, "min", 0.0f}, {ParameterId::kAutoRelease, "250", 1.0f},
        {ParameterId::kManualRelease, "0", 0.0f}, {ParameterId::kManualRelease, "5000", 1.0f},
        {ParameterId::kMonitor, "BYPASS", 1.0f}};
    for (const Case& c : cases) {
        float value = -1.0f;
        EXPECT_TRUE(parseParameter(c.id, c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    float value = 0.25f;
    EXPECT_TRUE(parseParameter(ParameterId::kManualRelease, "125", value));
    EXPECT_EQ(shown(ParameterId::kManualRelease, value), "125");
    for (const char* bad : {"", "   ", "abc", "1.0dB", "nan", "inf", "1,5", "12 34"}) {
        value = 0.25f;
        EXPECT_FALSE(parseParameter(ParameterId::kMakeup, bad, value)) << bad;
        EXPECT_EQ(value, 0.25f) << bad;
    }
    EXPECT_FALSE(parseParameter(ParameterId::kClipSwitch, "1", value));
    EXPECT_FALSE(parseParameter(ParameterId::kReleaseSwitch, "0", value));
}

} // namespace
