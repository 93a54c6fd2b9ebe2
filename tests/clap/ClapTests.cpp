// The CLAP plug-ins as a host sees them, checked against the VST 2.x build of the same variant: texts,
// renders, sample-accurate events, state, presets and the life cycle.
#include "TestHosts.h"

#include <clap/ext/audio-ports.h>
#include <clap/ext/latency.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string>

namespace {
enum : clap_id { kMakeup, kCeiling, kReleaseSwitch, kAutoRelease, kManualRelease, kClipSwitch, kMonitor };
constexpr std::size_t kFrames = 8192;

class ClapTest : public testing::TestWithParam<Variant> {
  protected:
    const Variant& variant() const { return GetParam(); }
    ChannelBuffers material(std::size_t frames = kFrames) const {
        return testMaterial(variant().channels, frames);
    }

    ClapModule module_{GetParam()};
};

std::string label(const testing::TestParamInfo<Variant>& info) { return info.param.label; }
} // namespace

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.clapFile; }

namespace {

TEST_P(ClapTest, DescribesOnePluginWithSevenParametersOnePortPairAndItsLatency) {
    const clap_plugin_factory_t& factory = module_.pluginFactory();
    ASSERT_EQ(factory.get_plugin_count(&factory), 1u);
    const clap_plugin_descriptor_t* descriptor = factory.get_plugin_descriptor(&factory, 0);
    EXPECT_STREQ(descriptor->id, variant().pluginId);
    EXPECT_STREQ(descriptor->vendor, "tarnwick");

    ClapInstance plugin(module_, variant().pluginId);
    const auto* params = plugin.extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    const struct {
        const char* name;
        double max;
        bool stepped;
    } expected[] = {{"Makeup", 1, false},   {"Ceiling", 1, false},    {"RelSW", 1, true},
                    {"Rel auto", 1, false}, {"Rel manual", 1, false}, {"lt_ClipSW", 4, true},
                    {"Monitor", 1, true}};
    ASSERT_EQ(params->count(plugin.plugin()), 7u);
    for (std::uint32_t index = 0; index < 7; ++index) {
        clap_param_info_t info{};
        ASSERT_TRUE(params->get_info(plugin.plugin(), index, &info));
        EXPECT_EQ(info.id, index);
        EXPECT_STREQ(info.name, expected[index].name);
        EXPECT_EQ(info.max_value, expected[index].max);
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, expected[index].stepped);
        EXPECT_TRUE(info.flags & CLAP_PARAM_IS_AUTOMATABLE);
    }
    EXPECT_EQ(plugin.extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY)->get(plugin.plugin()), 39u);
    const auto* ports = plugin.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    for (bool input : {true, false}) {
        clap_audio_port_info_t info{};
        ASSERT_EQ(ports->count(plugin.plugin(), input), 1u);
        ASSERT_TRUE(ports->get(plugin.plugin(), 0, input, &info));
        EXPECT_EQ(info.channel_count, variant().channels);
        EXPECT_EQ(info.in_place_pair, info.id);
    }
}

// Each CLAP parameter beside the VST 2.x parameter that shows its texts; the release ones with the switch
// set.
struct TextPair {
    clap_id id;
    std::int32_t vst2Index;
    float releaseSwitch; // negative: left alone
};
constexpr TextPair kTextPairs[] = {
    {kMakeup, 0, -1},          {kCeiling, 1, -1},    {kReleaseSwitch, 2, -1}, {kAutoRelease, 3, 0.0f},
    {kManualRelease, 3, 1.0f}, {kClipSwitch, 4, -1}, {kMonitor, 5, -1}};

TEST_P(ClapTest, ShowsTheVst2TextsOverADenseSweepAndReadsThemBack) {
    ClapInstance plugin(module_, variant().pluginId);
    Vst2Instance vst2(variant());
    for (const TextPair& pair : kTextPairs) {
        SCOPED_TRACE(pair.id);
        if (pair.releaseSwitch >= 0) vst2.set(2, pair.releaseSwitch);
        std::set<std::string> stepTexts;
        for (int i = 0; i <= 4000; ++i) {
            const float value = static_cast<float>(i) / 4000.0f;
            vst2.set(pair.vst2Index, value);
            const std::string expected = vst2.display(pair.vst2Index);
            const std::optional<double> parsed = plugin.parse(pair.id, expected.c_str());
            ASSERT_TRUE(parsed) << expected;
            const bool stepped = pair.id == kReleaseSwitch || pair.id == kClipSwitch || pair.id == kMonitor;
            if (stepped) {
                EXPECT_EQ(plugin.text(pair.id, *parsed), expected);
                stepTexts.insert(expected);
            } else {
                ASSERT_EQ(plugin.text(pair.id, value), expected) << value;
                EXPECT_EQ(plugin.text(pair.id, *parsed), expected) << value;
            }
        }
        if (!stepTexts.empty()) {
            EXPECT_EQ(stepTexts.size(), pair.id == kClipSwitch ? 5u : 2u);
        }
    }
}

TEST_P(ClapTest, ReadsPlainNumbersAndRefusesOtherText) {
    ClapInstance plugin(module_, variant().pluginId);
    const struct {
        clap_id id;
        const char* typed;
        const char* shown; // nullptr: refused
    } cases[] = {
        {kMakeup, "6", "6.0"},         {kCeiling, " -1 ", "-1.00"},   {kManualRelease, "0.01", "0.01"},
        {kAutoRelease, "40", " 40 %"}, {kClipSwitch, "hard", "hard"}, {kMonitor, "bypass", "bypass"},
        {kMakeup, "loud", nullptr},    {kClipSwitch, "", nullptr},    {99, "1", nullptr}};
    for (const auto& c : cases) {
        const std::optional<double> value = plugin.parse(c.id, c.typed);
        ASSERT_EQ(value.has_value(), c.shown != nullptr) << c.typed;
        if (value) {
            EXPECT_EQ(plugin.text(c.id, *value), c.shown) << c.typed;
        }
    }
}

TEST_P(ClapTest, RendersEveryProgramBitForBitAsTheVst2Build) {
    const ChannelBuffers input = material();
    for (int program = 0; program < 31; ++program) {
        SCOPED_TRACE(program);
        ClapInstance plugin(module_, variant().pluginId);
        Vst2Instance vst2(variant());
        ASSERT_TRUE(plugin.loadPreset(std::to_string(program).c_str()));
        vst2.selectProgram(program);
        EXPECT_TRUE(sameSamples(plugin.render(input, {512}, {}, program % 2 == 1), vst2.render(input, 512)));
    }
}

TEST_P(ClapTest, ChangesAtBlockStartsRenderAsTheVst2Build) {
    // The VST 2.x build reaches a release through "Rel" with the switch in that mode.
    const std::vector<Change> clapChanges = {
        {512, kMakeup, 0.3},       {1024, kCeiling, 0.7},       {1536, kClipSwitch, 0},
        {2048, kReleaseSwitch, 1}, {2048, kManualRelease, 0.4}, {3072, kMonitor, 1},
        {3584, kMonitor, 0},       {4096, kReleaseSwitch, 0},   {4096, kAutoRelease, 0.8},
        {5120, kClipSwitch, 2},    {6144, kMakeup, 0.05}};
    const std::vector<Vst2Change> vst2Changes = {
        {512, 0, 0.3f},  {1024, 1, 0.7f}, {1536, 4, 0.0f}, {2048, 2, 1.0f}, {2048, 3, 0.4f}, {3072, 5, 1.0f},
        {3584, 5, 0.0f}, {4096, 2, 0.0f}, {4096, 3, 0.8f}, {5120, 4, 0.5f}, {6144, 0, 0.05f}};
    ClapInstance plugin(module_, variant().pluginId);
    Vst2Instance vst2(variant());
    const ChannelBuffers input = material();
    EXPECT_TRUE(sameSamples(plugin.render(input, {512}, clapChanges), vst2.render(input, 512, vst2Changes)));
}

TEST_P(ClapTest, AnEventAtFrameKActsAsARenderSplitAtK) {
    const std::uint32_t frames = 4096;
    const Change cases[] = {{0, kMakeup, 0.4},         {1, kMakeup, 0.4},         {777, kCeiling, 0.2},
                            {1000, kReleaseSwitch, 1}, {2047, kAutoRelease, 0.9}, {1500, kClipSwitch, 0},
                            {333, kMonitor, 1},        {frames - 1, kMakeup, 0.6}};
    const ChannelBuffers input = material(frames);
    for (const Change& change : cases) {
        SCOPED_TRACE(change.frame);
        ClapInstance whole(module_, variant().pluginId);
        ClapInstance split(module_, variant().pluginId);
        const std::vector<std::uint32_t> splitBlocks = change.frame == 0
                                                           ? std::vector<std::uint32_t>{frames}
                                                           : std::vector<std::uint32_t>{change.frame, frames};
        EXPECT_TRUE(
            sameSamples(whole.render(input, {frames}, {change}), split.render(input, splitBlocks, {change})));
    }
    // All of them in one block, against blocks that end at each change.
    std::set<std::uint32_t> ends = {frames};
    for (const Change& change : cases)
        if (change.frame > 0) ends.insert(change.frame);
    std::vector<std::uint32_t> blocks;
    std::uint32_t start = 0;
    for (std::uint32_t end : ends) {
        blocks.push_back(end - start);
        start = end;
    }
    ClapInstance whole(module_, variant().pluginId);
    ClapInstance split(module_, variant().pluginId);
    // In time order, as hosts send them.
    std::vector<Change> all(std::begin(cases), std::end(cases));
    std::stable_sort(all.begin(), all.end(),
                     [](const Change& a, const Change& b) { return a.frame < b.frame; });
    EXPECT_TRUE(sameSamples(whole.render(input, {frames}, all), split.render(input, blocks, all)));
}

TEST_P(ClapTest, LateUnorderedAndUnusableEventsAreSafe) {
    const auto event = [](std::uint32_t time, clap_id id, double value,
                          std::uint16_t type = CLAP_EVENT_PARAM_VALUE) {
        clap_event_param_value_t e{};
        e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
        e.param_id = id;
        e.value = value;
        return e;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    // Each block's events against ones that say the same in order: a late change acts after the block (as a
    // flush between the blocks), one dated before a change already applied acts at once, and what cannot be a
    // change does nothing.
    const struct {
        std::vector<clap_event_param_value_t> given;
        std::vector<clap_event_param_value_t> meant;
        std::vector<Change> meantBetweenBlocks;
    } cases[] = {
        {{event(9000, kMakeup, 0.5)}, {}, {{0, kMakeup, 0.5}}},
        {{event(1000, kMakeup, 0.5), event(500, kCeiling, 0.1)},
         {event(1000, kMakeup, 0.5), event(1000, kCeiling, 0.1)},
         {}},
        {{event(10, 99, 0.5), event(20, kMakeup, nan), event(30, kCeiling, infinity),
          event(40, kMakeup, -infinity), event(50, kMakeup, 0.9, CLAP_EVENT_PARAM_MOD),
          event(60, kMakeup, 0.9, CLAP_EVENT_NOTE_ON)},
         {},
         {}},
    };
    const ChannelBuffers input = material(2048);
    for (const auto& c : cases) {
        ClapInstance given(module_, variant().pluginId);
        ClapInstance meant(module_, variant().pluginId);
        ChannelBuffers givenAudio = input, meantAudio = input;
        EXPECT_EQ(given.processBlock(givenAudio, c.given), CLAP_PROCESS_CONTINUE);
        EXPECT_EQ(meant.processBlock(meantAudio, c.meant), CLAP_PROCESS_CONTINUE);
        EXPECT_TRUE(sameSamples(givenAudio, meantAudio));
        meant.flush(c.meantBetweenBlocks);
        givenAudio = input, meantAudio = input;
        given.processBlock(givenAudio, {});
        meant.processBlock(meantAudio, {});
        EXPECT_TRUE(sameSamples(givenAudio, meantAudio));
        for (clap_id id = 0; id < 7; ++id)
            EXPECT_EQ(given.value(id), meant.value(id));
    }
}

TEST_P(ClapTest, StateRoundTripsInAnyChunkSizeAndRestoresSoundAndValues) {
    ClapInstance source(module_, variant().pluginId);
    ASSERT_TRUE(source.loadPreset("13"));
    source.flush(
        {{0, kMakeup, 0.33}, {0, kReleaseSwitch, 1}, {0, kManualRelease, 0.25}, {0, kClipSwitch, 1}});
    const std::vector<std::uint8_t> state = source.saveState(7);
    EXPECT_EQ(source.saveState(), state);

    ClapInstance restored(module_, variant().pluginId);
    ASSERT_TRUE(restored.loadState(state, 5));
    EXPECT_EQ(restored.log().valueRescans, 1);
    for (clap_id id = 0; id < 7; ++id)
        EXPECT_EQ(restored.value(id), source.value(id)) << id;
    EXPECT_EQ(restored.saveState(1), state);
    const ChannelBuffers input = material();
    EXPECT_TRUE(sameSamples(restored.render(input, {512}), source.render(input, {512})));
}

TEST_P(ClapTest, RefusesStatesItCannotTrustAndChangesNothing) {
    ClapInstance source(module_, variant().pluginId);
    const std::vector<std::uint8_t> state = source.saveState();
    ASSERT_GT(state.size(), 16u);
    const auto changed = [&state](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes = state;
        bytes[at] = value;
        return bytes;
    };
    const ClapModule otherModule(kVariants[variant().channels == 2 ? 1 : 0]);
    const std::vector<std::uint8_t> otherVariant =
        ClapInstance(otherModule, kVariants[variant().channels == 2 ? 1 : 0].pluginId).saveState();
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"truncated by one byte", {state.begin(), state.end() - 1}},
        {"truncated to its header", {state.begin(), state.begin() + 12}},
        {"bad tag", changed(0, 'X')},
        {"newer version", changed(4, 0xFF)},
        {"other variant", otherVariant},
        {"too long", std::vector<std::uint8_t>(1 << 20, 0x51)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClapInstance target(module_, variant().pluginId);
        ASSERT_TRUE(target.loadPreset("22"));
        target.flush({{0, kCeiling, 0.1}});
        const std::vector<std::uint8_t> before = target.saveState();
        const int rescans = target.log().valueRescans;
        EXPECT_FALSE(target.loadState(c.bytes, 3));
        EXPECT_EQ(target.saveState(), before);
        EXPECT_EQ(target.log().valueRescans, rescans);
    }
}

// The indexer side of preset discovery: what a provider declares and lists.
struct Indexer {
    clap_preset_discovery_indexer_t record{
        CLAP_VERSION_INIT,
        "qv3 test",
        "",
        "",
        "",
        this,
        [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_filetype_t*) { return false; },
        [](const clap_preset_discovery_indexer_t* indexer, const clap_preset_discovery_location_t* location) {
            static_cast<Indexer*>(indexer->indexer_data)->locations.push_back(*location);
            return true;
        },
        [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_soundpack_t*) {
            return false;
        },
        [](const clap_preset_discovery_indexer_t*, const char*) -> const void* { return nullptr; }};
    std::vector<clap_preset_discovery_location_t> locations;
};

struct Listing {
    std::vector<std::string> names, keys, pluginIds;
    std::vector<std::uint32_t> flags;
    clap_preset_discovery_metadata_receiver_t record{
        this,
        [](const clap_preset_discovery_metadata_receiver_t*, std::int32_t, const char*) {},
        [](const clap_preset_discovery_metadata_receiver_t* receiver, const char* name, const char* key) {
            of(receiver).names.emplace_back(name);
            of(receiver).keys.emplace_back(key);
            return true;
        },
        [](const clap_preset_discovery_metadata_receiver_t* receiver, const clap_universal_plugin_id_t* id) {
            of(receiver).pluginIds.push_back(std::string(id->abi) + ":" + id->id);
        },
        [](const clap_preset_discovery_metadata_receiver_t*, const char*) {},
        [](const clap_preset_discovery_metadata_receiver_t* receiver, std::uint32_t presetFlags) {
            of(receiver).flags.push_back(presetFlags);
        },
        [](const clap_preset_discovery_metadata_receiver_t*, const char*) {},
        [](const clap_preset_discovery_metadata_receiver_t*, const char*) {},
        [](const clap_preset_discovery_metadata_receiver_t*, clap_timestamp_t, clap_timestamp_t) {},
        [](const clap_preset_discovery_metadata_receiver_t*, const char*) {},
        [](const clap_preset_discovery_metadata_receiver_t*, const char*, const char*) {}};
    static Listing& of(const clap_preset_discovery_metadata_receiver_t* receiver) {
        return *static_cast<Listing*>(receiver->receiver_data);
    }
};

TEST_P(ClapTest, DiscoversAndLoadsAllThirtyOnePresetsByKey) {
    const void* factoryAddress = module_.entry().get_factory(kClapPresetDiscoveryFactoryId);
    ASSERT_NE(factoryAddress, nullptr);
    EXPECT_EQ(module_.entry().get_factory(kClapPresetDiscoveryFactoryIdCompat), factoryAddress);
    const auto& factory = *static_cast<const clap_preset_discovery_factory_t*>(factoryAddress);
    ASSERT_EQ(factory.count(&factory), 1u);
    Indexer indexer;
    const clap_preset_discovery_provider_t* provider =
        factory.create(&factory, &indexer.record, factory.get_descriptor(&factory, 0)->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(indexer.locations.size(), 1u);
    EXPECT_EQ(indexer.locations[0].kind, kClapPresetLocationPlugin);
    EXPECT_EQ(indexer.locations[0].location, nullptr);
    Listing listing;
    ASSERT_TRUE(provider->get_metadata(provider, kClapPresetLocationPlugin, nullptr, &listing.record));
    provider->destroy(provider);
    ASSERT_EQ(listing.keys.size(), 31u);
    EXPECT_EQ(listing.pluginIds, std::vector<std::string>(31, std::string("clap:") + variant().pluginId));
    EXPECT_EQ(listing.flags, std::vector<std::uint32_t>(31, kClapPresetIsFactoryContent));

    Vst2Instance vst2(variant());
    ClapInstance plugin(module_, variant().pluginId);
    EXPECT_EQ(plugin.plugin()->get_extension(plugin.plugin(), kClapExtPresetLoadCompat),
              plugin.extension<void>(kClapExtPresetLoad));
    for (int program = 0; program < 31; ++program) {
        SCOPED_TRACE(program);
        EXPECT_EQ(listing.names[program], vst2.programName(program));
        ASSERT_TRUE(plugin.loadPreset(listing.keys[program].c_str()));
        EXPECT_EQ(plugin.log().loadedKeys.back(), listing.keys[program]);
        EXPECT_EQ(plugin.log().valueRescans, program + 1);
        vst2.selectProgram(program);
        for (const TextPair& pair :
             {kTextPairs[0], kTextPairs[1], kTextPairs[2], kTextPairs[5], kTextPairs[6]})
            EXPECT_EQ(plugin.text(pair.id, plugin.value(pair.id)), vst2.display(pair.vst2Index));
        const clap_id release = vst2.get(2) > 0.5f ? kManualRelease : kAutoRelease;
        EXPECT_EQ(plugin.text(release, plugin.value(release)), vst2.display(3));
    }
    for (const char* key : {"31", "-1", "", "01", "Default"})
        EXPECT_FALSE(plugin.loadPreset(key)) << key;
    EXPECT_EQ(plugin.log().presetErrors, 5);
}

TEST_P(ClapTest, ResetAndReactivationClearTheSignalPathOnly) {
    const ChannelBuffers input = material(4096);
    ChannelBuffers tailInput(input.size());
    for (std::size_t c = 0; c < input.size(); ++c)
        tailInput[c].assign(input[c].begin() + 2048, input[c].end());
    for (bool reactivate : {false, true}) {
        ClapInstance used(module_, variant().pluginId);
        ClapInstance fresh(module_, variant().pluginId);
        used.flush({{0, kMakeup, 0.2}});
        fresh.flush({{0, kMakeup, 0.2}});
        used.render(input, {2048});
        const clap_plugin_t* plugin = used.plugin();
        if (reactivate) {
            plugin->stop_processing(plugin);
            plugin->deactivate(plugin);
            ASSERT_TRUE(plugin->activate(plugin, 44100.0, 1, 4096));
            ASSERT_TRUE(plugin->start_processing(plugin));
        } else {
            plugin->reset(plugin);
        }
        EXPECT_TRUE(sameSamples(used.render(tailInput, {512}), fresh.render(tailInput, {512})));
        EXPECT_EQ(used.value(kMakeup), fresh.value(kMakeup));
    }
}

INSTANTIATE_TEST_SUITE_P(Build, ClapTest, testing::ValuesIn(kVariants), label);
} // namespace
