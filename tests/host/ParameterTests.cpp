// The six parameters through the record's setParameter and getParameter entries and the text opcodes: names,
// values, display texts, the release-mode interplay, and values a careless host may send.
#include "HostedEffect.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

class Parameters : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(Parameters);

constexpr std::int32_t kRelSw = 2;
constexpr std::int32_t kRel = 3;
constexpr float kAuto = 0.0f;
constexpr float kManual = 1.0f;

TEST_P(Parameters, NamesAndEmptyLabels) {
    auto effect = instantiate();
    const char* const names[] = {"Makeup", "Ceiling", "RelSW", "Rel", "lt_ClipSW", "Monitor"};
    for (std::int32_t index = 0; index < 6; ++index) {
        EXPECT_EQ(effect->name(index), names[index]);
        char label[16] = "canary";
        effect->dispatch(effGetParamLabel, index, 0, label);
        EXPECT_STREQ(label, "") << "index " << index;
    }
    for (std::int32_t index : {6, 7, 10, -1, 1000}) {
        for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            char text[16] = "canary";
            effect->dispatch(opcode, index, 0, text);
            EXPECT_STREQ(text, "") << "opcode " << opcode << ", index " << index;
        }
        EXPECT_EQ(effect->get(index), 0.0f) << "index " << index;
    }
}

TEST_P(Parameters, StartWithTheDefaultProgram) {
    auto effect = instantiate();
    EXPECT_EQ(effect->displays(), (std::vector<std::string>{"0.0", "0.00", "auto", " 40 %", "3", "on"}));
    const float values[] = {0.0f, 1.0f, 0.0f, 0.40625f, 0.5f, 0.0f};
    for (std::int32_t index = 0; index < 6; ++index)
        EXPECT_EQ(effect->get(index), values[index]) << "index " << index;
}

struct DisplayCase {
    float relSwitch;
    std::int32_t index;
    float value;
    const char* text;
};

TEST_P(Parameters, ShowTheTextOfEachValue) {
    const DisplayCase cases[] = {
        {kAuto, 0, 0.021571f, "1.0"},  {kAuto, 0, 0.002f, "0.0"},     {kAuto, 0, -0.002f, "0.0"},
        {kAuto, 0, -0.01f, "-0.5"},    {kAuto, 0, 0.5f, "24.0"},      {kAuto, 0, 1.0f, "48.0"},
        {kAuto, 1, 1.0f, "0.00"},      {kAuto, 1, 0.999f, "0.00"},    {kAuto, 1, 0.998f, "-0.01"},
        {kAuto, 1, 0.83375f, "-1.00"}, {kAuto, 1, 0.5f, "-3.00"},     {kAuto, 1, 0.0f, "-6.00"},
        {kAuto, 2, 0.0f, "auto"},      {kAuto, 2, 0.49f, "auto"},     {kAuto, 2, 0.5f, "manual"},
        {kAuto, 2, 1.0f, "manual"},    {kAuto, 3, 0.40625f, " 40 %"}, {kAuto, 3, 0.0f, "min"},
        {kAuto, 3, 0.0099f, "min"},    {kAuto, 3, 0.01f, " 1 %"},     {kAuto, 3, 0.99f, " 99 %"},
        {kAuto, 3, 0.995f, "max"},     {kManual, 3, 0.0f, "0.01"},    {kManual, 3, 0.1f, "1.0"},
        {kManual, 3, 0.2f, "8.0"},     {kManual, 3, 0.5f, "125"},     {kManual, 3, 0.670082f, "300"},
        {kManual, 3, 1.0f, "999"},     {kAuto, 4, 0.0f, "soft"},      {kAuto, 4, 0.2f, "2"},
        {kAuto, 4, 0.25f, "2"},        {kAuto, 4, 0.5f, "3"},         {kAuto, 4, 0.75f, "4"},
        {kAuto, 4, 1.0f, "hard"},      {kAuto, 5, 0.0f, "on"},        {kAuto, 5, 0.49f, "on"},
        {kAuto, 5, 0.5f, "bypass"},    {kAuto, 5, 1.0f, "bypass"},
    };
    auto effect = instantiate();
    for (const DisplayCase& c : cases) {
        effect->set(kRelSw, c.relSwitch);
        effect->set(c.index, c.value);
        EXPECT_EQ(effect->display(c.index), c.text) << "index " << c.index << ", value " << c.value;
        EXPECT_EQ(effect->get(c.index), c.value) << "index " << c.index;
    }
}

// The texts of the release values round as on x64 on every architecture: every whole per cent in auto mode,
// and a thousand steps across the manual range pinned by their fingerprint.
TEST_P(Parameters, ReleaseTextsAreTheSameOnEveryArchitecture) {
    auto effect = instantiate();
    effect->set(kRelSw, kAuto);
    for (int percent = 1; percent <= 99; ++percent) {
        effect->set(kRel, static_cast<float>(percent) / 100.0f);
        // The floats nearest 0.53 and 0.59 lie below them by more than the rounding to a float makes up.
        const int shown = percent == 53 || percent == 59 ? percent - 1 : percent;
        EXPECT_EQ(effect->display(kRel), " " + std::to_string(shown) + " %") << percent;
    }
    effect->set(kRelSw, kManual);
    std::uint64_t hash = kFingerprintStart;
    for (int step = 0; step <= 1000; ++step) {
        effect->set(kRel, static_cast<float>(step) / 1000.0f);
        const std::string text = effect->display(kRel);
        hash = fingerprint(hash, text.c_str(), text.size() + 1);
    }
    EXPECT_EQ(hash, 0xEF979014CD7076D4u) << std::hex << hash;
}

TEST_P(Parameters, KeepOneReleaseValuePerMode) {
    auto effect = instantiate();
    effect->set(kRel, 0.3f);
    effect->set(kRelSw, 1.0f);
    EXPECT_EQ(effect->get(kRel), 0.1f) << "the default's manual value";
    EXPECT_EQ(effect->display(kRel), "1.0");
    effect->set(kRel, 0.5f);
    effect->set(kRelSw, 0.0f);
    EXPECT_EQ(effect->get(kRel), 0.3f);
    EXPECT_EQ(effect->display(kRel), " 30 %");
    effect->set(kRelSw, 0.5f);
    EXPECT_EQ(effect->display(kRelSw), "manual");
    EXPECT_EQ(effect->get(kRel), 0.3f) << "0.5 still selects the auto value";
    EXPECT_EQ(effect->display(kRel), " 30 %");
    effect->set(kRelSw, 0.51f);
    EXPECT_EQ(effect->get(kRel), 0.5f);
    EXPECT_EQ(effect->display(kRel), "125");
}

TEST_P(Parameters, IgnoreIndicesOutOfRange) {
    auto effect = instantiate();
    const std::vector<std::string> texts = effect->displays();
    for (std::int32_t index : {6, 8, 10, 11, -1, 1000})
        effect->set(index, 0.75f);
    EXPECT_EQ(effect->displays(), texts);
    EXPECT_EQ(effect->get(6), 0.0f);
    EXPECT_EQ(effect->programName(), "Default");
}

// A NaN or an infinity would turn the derived gains, and every output sample, into NaN.
TEST_P(Parameters, IgnoreValuesThatAreNotFinite) {
    auto effect = instantiate();
    const float values[] = {0.25f, 0.75f, 0.0f, 0.6f, 0.3f, 0.0f};
    for (std::int32_t index = 0; index < 6; ++index)
        effect->set(index, values[index]);
    const std::vector<std::string> texts = effect->displays();
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        for (std::int32_t index = 0; index < 6; ++index)
            effect->set(index, bad);
        for (std::int32_t index = 0; index < 6; ++index)
            EXPECT_EQ(effect->get(index), values[index]) << "index " << index << " took " << bad;
        EXPECT_EQ(effect->displays(), texts);
    }
    effect->selectProgram(1);
    effect->selectProgram(0);
    EXPECT_EQ(effect->get(0), 0.25f) << "the program kept its finite values";
}

// Reads the display text of `index` into a buffer of canaries; fails unless the text and its terminator stay
// within 8 bytes. The buffer is roomy so that an overlong text is reported rather than crashing this host.
testing::AssertionResult displayFits(const HostedEffect& effect, std::int32_t index, std::string& text) {
    constexpr char kCanary = 0x5A;
    std::array<char, 512> buffer;
    buffer.fill(kCanary);
    effect.dispatch(effGetParamDisplay, index, 0, buffer.data());
    const std::size_t length = strnlen(buffer.data(), buffer.size());
    text.assign(buffer.data(), length);
    if (length >= 8)
        return testing::AssertionFailure()
               << "index " << index << " shows \"" << text << "\" (" << length << " characters)";
    for (std::size_t i = length + 1; i < buffer.size(); ++i) {
        if (buffer[i] != kCanary)
            return testing::AssertionFailure()
                   << "index " << index << " wrote byte " << i << " after \"" << text << "\"";
    }
    return testing::AssertionSuccess();
}

TEST_P(Parameters, DisplayOutOfRangeValuesInEightBytes) {
    std::vector<float> values = {-FLT_MAX, -1e30f, -200.0f, -2.0f, -1.0f,   1.5f,   2.0f,
                                 128.0f,   200.0f, 1e6f,    1e30f, FLT_MAX, 1e-45f, -1e-45f};
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> exponent(-45.0f, 38.5f);
    for (int i = 0; i < 300; ++i) {
        float magnitude = std::min(std::pow(10.0f, exponent(random)), FLT_MAX);
        values.push_back(i % 2 ? magnitude : -magnitude);
    }
    auto effect = instantiate();
    for (float relSwitch : {kAuto, kManual}) {
        effect->set(kRelSw, relSwitch);
        for (float value : values) {
            for (std::int32_t index = 0; index < 6; ++index) {
                if (index == kRelSw) continue;
                effect->set(index, value);
                std::string text;
                ASSERT_TRUE(displayFits(*effect, index, text)) << "value " << value;
                EXPECT_FALSE(text.empty()) << "index " << index << ", value " << value;
            }
            effect->set(kRelSw, value);
            std::string text;
            ASSERT_TRUE(displayFits(*effect, kRelSw, text)) << "value " << value;
            effect->set(kRelSw, relSwitch);
        }
    }
}

TEST_P(Parameters, CutOutOfRangeTextsToSevenCharacters) {
    auto effect = instantiate();
    const DisplayCase cases[] = {
        {kAuto, 0, 2.0f, "96.0"},       {kAuto, 0, -1.0f, "-48.0"}, {kAuto, 0, 200.0f, "9600.0"},
        {kAuto, 0, 1e30f, "4800000"},   {kAuto, 1, 2.0f, "0.00"},   {kAuto, 1, -1.0f, "-12.00"},
        {kAuto, 1, -1e30f, "-600000"},  {kAuto, 3, 1e30f, "max"},   {kAuto, 3, -1e30f, "min"},
        {kManual, 3, -1.0f, "-999.98"}, {kManual, 3, 2.0f, "7999"}, {kAuto, 4, -5.0f, "soft"},
        {kAuto, 4, 5.0f, "hard"},       {kAuto, 5, -1.0f, "on"},    {kAuto, 5, 7.0f, "bypass"},
    };
    for (const DisplayCase& c : cases) {
        effect->set(kRelSw, c.relSwitch);
        effect->set(c.index, c.value);
        std::string text;
        ASSERT_TRUE(displayFits(*effect, c.index, text)) << "value " << c.value;
        EXPECT_EQ(text, c.text) << "index " << c.index << ", value " << c.value;
        EXPECT_EQ(effect->get(c.index), c.value) << "out-of-range values are stored as they come";
    }
    // Far beyond any 32-bit integer of milliseconds: still digits only.
    effect->set(kRelSw, kManual);
    for (float value : {200.0f, 1e10f, FLT_MAX}) {
        effect->set(kRel, value);
        std::string text;
        ASSERT_TRUE(displayFits(*effect, kRel, text)) << "value " << value;
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos) << text;
    }
}

} // namespace
