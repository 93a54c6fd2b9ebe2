// The VST3 modules as a host meets them, against the VST 2.x libraries of the same build: class, parameters
// and texts, renders, sample-accurate changes, state, the program list.
#include "Vst3Host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>

// Names the build in GoogleTest's messages.
void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.label; }

namespace {
// Each VST3 parameter and where the VST 2.x library shows it: its index there, and the release mode ("RelSW")
// that index 3 must be in to show it (-1: any).
struct ParameterRow {
    v3_param_id id;
    const char* title;
    int stepCount;
    std::int32_t vst2Index;
    float vst2Mode;
};
const ParameterRow kParameters[] = {
    {0, "Makeup", 0, 0, -1.0f},  {1, "Ceiling", 0, 1, -1.0f},   {2, "RelSW", 1, 2, -1.0f},
    {3, "Rel auto", 0, 3, 0.0f}, {4, "Rel manual", 0, 3, 1.0f}, {5, "lt_ClipSW", 4, 4, -1.0f},
    {6, "Monitor", 1, 5, -1.0f},
};
constexpr double kProgramStep = 1.0 / 30.0;
constexpr std::size_t kRenderFrames = 8192;

class Vst3Test : public testing::TestWithParam<Variant> {
  protected:
    void SetUp() override { module_ = std::make_unique<Vst3Module>(GetParam()); }
    std::unique_ptr<Vst3Instance> instance() const { return std::make_unique<Vst3Instance>(*module_); }
    const Vst3Module& module() const { return *module_; }

  private:
    std::unique_ptr<Vst3Module> module_;
};

TEST_P(Vst3Test, DescribesOneClassWithAStableId) {
    v3_plugin_factory** factory = module().factory();
    ASSERT_EQ(v3_cpp_obj(factory)->num_classes(factory), 1);
    v3_plugin_factory_2** factory2 = nullptr;
    ASSERT_EQ(v3_cpp_obj_query_interface(factory, v3_plugin_factory_2_iid, &factory2), V3_OK);
    v3_class_info_2 info{};
    ASSERT_EQ(v3_cpp_obj(factory2)->get_class_info_2(factory2, 0, &info), V3_OK);
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.name, GetParam().channels == 2 ? "Orvanta_QV3" : "Orvanta_QV3mono");
    EXPECT_STREQ(info.vendor, "tarnwick");
    const v3_tuid stereo = V3_ID(0x6D587CB6, 0x0EF74A87, 0xA2B24F53, 0xEF8F4097);
    const v3_tuid mono = V3_ID(0xEA671657, 0x4F6E4E60, 0x86927ED4, 0x37B28931);
    EXPECT_TRUE(v3_tuid_match(info.class_id, GetParam().channels == 2 ? stereo : mono));
    v3_cpp_obj_unref(factory2);
}

TEST_P(Vst3Test, DescribesSevenAutomatableParametersAndTheProgramSelector) {
    auto effect = instance();
    ASSERT_EQ(v3_cpp_obj(effect->controller())->get_parameter_count(effect->controller()), 8);
    for (std::int32_t index = 0; index < 8; ++index) {
        v3_param_info info{};
        ASSERT_EQ(v3_cpp_obj(effect->controller())->get_parameter_info(effect->controller(), index, &info),
                  V3_OK);
        if (index == 7) {
            EXPECT_EQ(info.param_id, kProgramParameter);
            EXPECT_EQ(info.step_count, 30);
            EXPECT_EQ(info.flags, V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE);
            continue;
        }
        const ParameterRow& row = kParameters[index];
        EXPECT_EQ(info.param_id, row.id);
        EXPECT_EQ(narrow(info.title), row.title);
        EXPECT_EQ(info.step_count, row.stepCount);
        EXPECT_TRUE(info.flags & V3_PARAM_CAN_AUTOMATE) << row.title;
        EXPECT_EQ(effect->value(row.id), info.default_normalised_value) << row.title;
    }
}

TEST_P(Vst3Test, ShowsTheVst2TextOfEveryValue) {
    auto effect = instance();
    Vst2Instance vst2(GetParam());
    for (const ParameterRow& row : kParameters) {
        if (row.vst2Mode >= 0.0f) vst2.set(2, row.vst2Mode);
        for (int step = 0; step <= 2000; ++step) {
            const float value = static_cast<float>(step) / 2000.0f;
            vst2.set(row.vst2Index, value);
            ASSERT_EQ(effect->text(row.id, static_cast<double>(value)), vst2.display(row.vst2Index))
                << row.title << " at " << static_cast<double>(value);
        }
    }
}

TEST_P(Vst3Test, ParsesWhatItShowsAndPlainNumbers) {
    auto effect = instance();
    for (const ParameterRow& row : kParameters)
        for (int step = 0; step <= 100; ++step) {
            const std::string shown = effect->text(row.id, step / 100.0);
            const std::optional<double> parsed = effect->parse(row.id, shown.c_str());
            ASSERT_TRUE(parsed) << row.title << " '" << shown << "'";
            EXPECT_EQ(effect->text(row.id, *parsed), shown) << row.title;
        }
    struct {
        v3_param_id id;
        const char* input;
        const char* shown; // null: refused
    } const cases[] = {
        {0, "12", "12.0"},
        {0, " 100 ", "48.0"},
        {1, "-3", "-3.00"},
        {1, "5", "0.00"},
        {3, "40", " 40 %"},
        {4, "300", "300"},
        {2, "manual", "manual"},
        {5, "hard", "hard"},
        {6, "bypass", "bypass"},
        {0, "loud", nullptr},
        {1, "", nullptr},
        {77, "1", nullptr},
        {kProgramParameter, "+3dB Maxi", "+3dB Maxi"},
        {kProgramParameter, "Loudest", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<double> parsed = effect->parse(c.id, c.input);
        if (!c.shown) {
            EXPECT_FALSE(parsed) << c.input;
            continue;
        }
        ASSERT_TRUE(parsed) << c.input;
        EXPECT_EQ(effect->text(c.id, *parsed), c.shown) << c.input;
    }
}

TEST_P(Vst3Test, RendersEveryProgramLikeVst2) {
    auto effect = instance();
    Vst2Instance vst2(GetParam());
    const ChannelBuffers input = testMaterial(GetParam().channels, kRenderFrames);
    for (int program = 0; program < 31; ++program) {
        ASSERT_EQ(effect->set(kProgramParameter, program * kProgramStep), V3_OK);
        vst2.selectProgram(program);
        ASSERT_TRUE(sameSamples(effect->render(input, 512), vst2.render(input, 512)))
            << "program " << program;
    }
}

// Changes at frames that are multiples of 100: the VST 2.x library gets them at the starts of 100-frame
// blocks, the VST3 module inside its blocks of 4096 and at the starts of its blocks of 256.
struct Timeline {
    std::vector<Vst3Change> vst3;
    std::vector<Vst2Change> vst2;
};
Timeline automation() {
    Timeline timeline;
    const auto add = [&](std::uint32_t frame, v3_param_id id, double value, std::int32_t vst2Index) {
        timeline.vst3.push_back({frame, id, value});
        timeline.vst2.push_back({frame, vst2Index, static_cast<float>(value)});
    };
    add(300, 0, 0.125, 0);
    add(900, 1, 0.5, 1);
    add(1200, 6, 1.0, 5);
    add(1300, 6, 0.0, 5);
    add(1700, 0, 0.0625, 0);
    add(2100, 5, 0.25, 4);
    add(2600, 2, 1.0, 2);
    add(2600, 4, 0.375, 3);
    add(3400, 2, 0.0, 2);
    add(3400, 3, 0.75, 3);
    add(5100, 0, 0.25, 0);
    return timeline;
}

TEST_P(Vst3Test, ChangesTakeEffectAtTheirSampleOffsets) {
    const ChannelBuffers input = testMaterial(GetParam().channels, kRenderFrames);
    const Timeline timeline = automation();
    Vst2Instance vst2(GetParam());
    const ChannelBuffers expected = vst2.render(input, 100, timeline.vst2);
    EXPECT_TRUE(sameSamples(instance()->render(input, 4096, timeline.vst3), expected));
    EXPECT_TRUE(sameSamples(instance()->render(input, 100, timeline.vst3), expected));
}

TEST_P(Vst3Test, IgnoresOrBoundsMalformedChanges) {
    const double nan = std::nan(""), infinity = HUGE_VAL;
    struct {
        const char* label;
        std::vector<Vst3Queue> queues;
        v3_param_id id;
        double expected;
    } const cases[] = {
        {"unknown id", {{77, {{0, 0.5}}}, {0xFFFFFFFF, {{0, 0.5}}}}, 0, 0.0},
        {"not finite", {{0, {{10, nan}, {20, infinity}, {30, -infinity}}}}, 0, 0.0},
        {"beyond the range", {{0, {{5, 7.0}}}, {1, {{6, -3.0}}}}, 0, 1.0},
        {"before and past the block", {{1, {{-5, 0.25}, {99999, 0.5}}}}, 1, 0.5},
        {"out of order", {{6, {{300, 1.0}, {10, 0.0}}}}, 6, 0.0},
        {"no points", {{5, {}}}, 5, 0.5},
        {"program out of range", {{kProgramParameter, {{0, 4.0}, {1, nan}}}}, kProgramParameter, 1.0},
    };
    for (const auto& c : cases) {
        auto effect = instance();
        ChannelBuffers block = testMaterial(GetParam().channels, 512);
        ASSERT_EQ(effect->processBlock(block, c.queues), V3_OK) << c.label;
        for (const auto& channel : block)
            for (float sample : channel)
                ASSERT_TRUE(std::isfinite(sample) && std::fabs(sample) < 1.0f) << c.label;
        EXPECT_EQ(effect->value(c.id), c.expected) << c.label;
    }
}

TEST_P(Vst3Test, StateRoundTripsInAnyChunks) {
    auto source = instance();
    source->set(kProgramParameter, 7 * kProgramStep);
    source->set(0, 0.3);
    source->set(5, 0.0);
    const std::vector<std::uint8_t> state = source->state(1);
    EXPECT_EQ(source->state(), state);
    auto copy = instance();
    ASSERT_TRUE(copy->setState(state, 3));
    EXPECT_EQ(copy->state(), state);
    for (v3_param_id id : {0u, 1u, 2u, 3u, 4u, 5u, 6u, kProgramParameter})
        EXPECT_EQ(copy->value(id), source->value(id)) << id;
    EXPECT_GE(copy->log().restarts, 1);
    const ChannelBuffers input = testMaterial(GetParam().channels, 4096);
    EXPECT_TRUE(sameSamples(copy->render(input, 512), source->render(input, 512)));
    auto controllerCopy = instance();
    ASSERT_TRUE(controllerCopy->setControllerState(state));
    EXPECT_EQ(controllerCopy->state(), state);
}

TEST_P(Vst3Test, RefusesStatesItCannotReadAndChangesNothing) {
    auto effect = instance();
    effect->set(0, 0.4);
    const std::vector<std::uint8_t> good = effect->state();
    const Variant& other = kVariants[GetParam().channels == 2 ? 1 : 0];
    Vst3Module otherModule(other);
    const std::vector<std::uint8_t> otherVariant = Vst3Instance(otherModule).state();
    const auto changed = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    struct {
        const char* label;
        std::vector<std::uint8_t> bytes;
    } const cases[] = {
        {"empty", {}},
        {"header only", {good.begin(), good.begin() + 16}},
        {"one byte short", {good.begin(), good.end() - 1}},
        {"one byte long",
         [&] {
             auto b = good;
             b.push_back(0);
             return b;
         }()},
        {"bad tag", changed(0, 'X')},
        {"newer version", changed(4, static_cast<std::uint8_t>(good[4] + 1))},
        {"program out of range", changed(12, 31)},
        {"value not finite",
         [&] {
             auto b = good;
             std::memset(b.data() + 16, 0xFF, 4);
             return b;
         }()},
        {"other variant", otherVariant},
    };
    auto target = instance();
    target->set(1, 0.2);
    const std::vector<std::uint8_t> before = target->state();
    for (const auto& c : cases) {
        EXPECT_FALSE(target->setState(c.bytes)) << c.label;
        EXPECT_FALSE(target->setControllerState(c.bytes)) << c.label;
        EXPECT_EQ(target->state(), before) << c.label;
    }
    EXPECT_EQ(target->log().restarts, 0);
}

TEST_P(Vst3Test, OffersTheBankAsTheRootUnitsProgramList) {
    auto effect = instance();
    Vst2Instance vst2(GetParam());
    v3_unit_information** units = effect->unitInfo();
    ASSERT_EQ(v3_cpp_obj(units)->get_unit_count(units), 1);
    v3_unit_info unit{};
    ASSERT_EQ(v3_cpp_obj(units)->get_unit_info(units, 0, &unit), V3_OK);
    v3_program_list_info list{};
    ASSERT_EQ(v3_cpp_obj(units)->get_program_list_info(units, 0, &list), V3_OK);
    EXPECT_EQ(unit.program_list_id, list.id);
    ASSERT_EQ(list.programCount, 31);
    for (int program = 0; program < 31; ++program) {
        EXPECT_EQ(effect->programName(program), vst2.programName(program));
        EXPECT_EQ(effect->text(kProgramParameter, program * kProgramStep), vst2.programName(program));
    }
    EXPECT_EQ(effect->programName(31), "(refused)");

    // "+1dB Maxi Aggressive": manual release at 0.01 ms; the host hears that every value may have changed.
    ASSERT_EQ(effect->set(kProgramParameter, 5 * kProgramStep), V3_OK);
    EXPECT_EQ(effect->value(2), 1.0);
    EXPECT_EQ(effect->text(4, effect->value(4)), "0.01");
    EXPECT_EQ(effect->log().lastRestartFlags, V3_RESTART_PARAM_VALUES_CHANGED);
    ChannelBuffers block = testMaterial(GetParam().channels, 64);
    ASSERT_EQ(effect->processBlock(block, {{kProgramParameter, {{0, 9 * kProgramStep}}}}), V3_OK);
    EXPECT_DOUBLE_EQ(effect->value(kProgramParameter), 9 * kProgramStep);
    EXPECT_EQ(effect->text(5, effect->value(5)), "hard"); // "+3dB Maxi Smooth"
}

TEST_P(Vst3Test, TakesOnlyItsOwnBusesAnd32BitSamples) {
    auto effect = instance();
    v3_audio_processor** processor = effect->processor();
    const v3_speaker_arrangement own =
        GetParam().channels == 2 ? (V3_SPEAKER_L | V3_SPEAKER_R) : V3_SPEAKER_M;
    const v3_speaker_arrangement other =
        GetParam().channels == 2 ? V3_SPEAKER_M : (V3_SPEAKER_L | V3_SPEAKER_R);
    v3_speaker_arrangement in = own, out = own;
    EXPECT_EQ(v3_cpp_obj(processor)->set_bus_arrangements(processor, &in, 1, &out, 1), V3_OK);
    for (v3_speaker_arrangement wrong : {other, v3_speaker_arrangement{0x3F}, v3_speaker_arrangement{0}}) {
        in = wrong;
        EXPECT_EQ(v3_cpp_obj(processor)->set_bus_arrangements(processor, &in, 1, &out, 1), V3_FALSE);
    }
    EXPECT_EQ(v3_cpp_obj(processor)->can_process_sample_size(processor, V3_SAMPLE_32), V3_OK);
    EXPECT_EQ(v3_cpp_obj(processor)->can_process_sample_size(processor, V3_SAMPLE_64), V3_FALSE);
    EXPECT_EQ(v3_cpp_obj(processor)->get_latency_samples(processor), 39u);
}

INSTANTIATE_TEST_SUITE_P(Module, Vst3Test, testing::ValuesIn(kVariants),
                         [](const testing::TestParamInfo<Variant>& variant) { return variant.param.label; });
} // namespace
