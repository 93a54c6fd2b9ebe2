// The effect core as every format drives it: values by id, programs, the versioned state, meters, the
// listener, and blocks split where a format's events fall.
#include "core/LimiterCore.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

ParameterId idAt(int index) { return static_cast<ParameterId>(index); }

// Records without allocating, as every listener must: it may be called on the audio thread.
class RecordingListener final : public ValueListener {
  public:
    void valueChanged(ParameterId id, float value) QV3_NONBLOCKING override {
        if (count < heard.size()) heard[count++] = {id, value};
    }
    std::array<std::pair<ParameterId, float>, 32> heard{};
    std::size_t count = 0;
};

// Processes noise in blocks of the given sizes; answers the first channel's output.
std::vector<float> processNoise(LimiterCore& core, const std::vector<int>& blocks) {
    std::vector<std::vector<float>> channels(kChannelCount);
    std::mt19937 random(17);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    int total = 0;
    for (int frames : blocks)
        total += frames;
    for (auto& channel : channels)
        for (int i = 0; i < total; ++i)
            channel.push_back(sample(random));
    int done = 0;
    for (const int frames : blocks) {
        float* buffers[kChannelCount];
        for (int c = 0; c < kChannelCount; ++c)
            buffers[c] = channels[static_cast<std::size_t>(c)].data() + done;
        core.process(buffers, buffers, frames);
        done += frames;
    }
    return channels[0];
}

TEST(Core, ReleaseHasOneIdPerModeAndNonFiniteValuesAreDropped) {
    LimiterCore core;
    EXPECT_EQ(core.value(ParameterId::kAutoRelease), 0.40625f);
    EXPECT_EQ(core.value(ParameterId::kManualRelease), 0.1f);
    core.setValue(ParameterId::kManualRelease, 0.7f);
    core.setValue(ParameterId::kAutoRelease, 0.2f);
    EXPECT_EQ(core.program(0).manualRelease, 0.7f);
    EXPECT_EQ(core.program(0).autoRelease, 0.2f);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        core.setValue(ParameterId::kMakeup, bad);
        EXPECT_EQ(core.value(ParameterId::kMakeup), 0.0f);
    }
    core.setValue(idAt(7), 0.5f);
    EXPECT_EQ(core.value(idAt(7)), 0.0f);
    core.setValue(ParameterId::kMakeup, 3.0f);
    EXPECT_EQ(core.value(ParameterId::kMakeup), 3.0f) << "stored as it came";
}

TEST(Core, ProgramsSelectRenameAndTellTheListener) {
    LimiterCore core;
    RecordingListener listener;
    core.setListener(&listener);
    core.setValue(ParameterId::kMakeup, 0.5f);
    EXPECT_TRUE(listener.count == 0) << "a value set through the core is not echoed";
    core.selectProgram(13);
    EXPECT_EQ(core.currentProgram(), 13);
    ASSERT_EQ(listener.count, 7u);
    for (int index = 0; index < kParameterIdCount; ++index) {
        EXPECT_EQ(listener.heard[static_cast<std::size_t>(index)].first, idAt(index));
        EXPECT_EQ(listener.heard[static_cast<std::size_t>(index)].second, core.value(idAt(index)));
    }
    for (int bad : {-1, 31, 1000})
        core.selectProgram(bad);
    EXPECT_EQ(core.currentProgram(), 13);
    core.renameProgram("A very long program name that goes on");
    char name[kProgramNameSize];
    core.programName(13, name);
    EXPECT_STREQ(name, "A very long program nam");
    core.programName(31, name);
    EXPECT_STREQ(name, "");
    core.selectProgram(0);
    EXPECT_EQ(core.value(ParameterId::kMakeup), 0.5f) << "edits stay with their program";
}

TEST(Core, StateRestoresBankAndCurrentProgram) {
    LimiterCore edited;
    edited.selectProgram(7);
    edited.setValue(ParameterId::kCeiling, 0.25f);
    edited.setValue(ParameterId::kManualRelease, 1.5f);
    edited.renameProgram("Mine");
    const std::vector<std::uint8_t> state = edited.saveState();
    ASSERT_GE(state.size(), 16u);
    EXPECT_EQ(std::memcmp(state.data(), "QV3S", 4), 0);
    EXPECT_EQ(state[8], kChannelCount) << "the variant";

    LimiterCore restored;
    RecordingListener listener;
    restored.setListener(&listener);
    ASSERT_TRUE(restored.loadState(state.data(), state.size()));
    EXPECT_EQ(restored.currentProgram(), 7);
    EXPECT_EQ(listener.count, 7u);
    for (int program = 0; program < kProgramCount; ++program) {
        for (int index = 0; index < kParameterIdCount; ++index) {
            restored.selectProgram(program);
            edited.selectProgram(program);
            EXPECT_EQ(restored.value(idAt(index)), edited.value(idAt(index))) << program << ' ' << index;
        }
        char a[kProgramNameSize];
        char b[kProgramNameSize];
        restored.programName(program, a);
        edited.programName(program, b);
        EXPECT_STREQ(a, b);
    }
    EXPECT_EQ(restored.saveState(), edited.saveState());
}

TEST(Core, RefusedStatesChangeNothing) {
    LimiterCore source;
    const std::vector<std::uint8_t> good = source.saveState();
    const auto corrupted = [&good](std::size_t offset, std::uint8_t byte) {
        std::vector<std::uint8_t> bytes = good;
        bytes[offset] = byte;
        return bytes;
    };
    const std::size_t firstValue = 16;
    const std::size_t firstName = firstValue + 7 * 4;
    std::vector<std::uint8_t> nonFinite = good;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&nonFinite[firstValue], &nan, 4);
    std::vector<std::uint8_t> unterminated = good;
    std::memset(&unterminated[firstName], 'x', kProgramNameSize);
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},
        std::vector<std::uint8_t>(good.begin(), good.end() - 1),
        corrupted(0, 'X'),
        corrupted(4, 2),
        corrupted(8, kChannelCount == 2 ? 1 : 2),
        corrupted(12, 31),
        nonFinite,
        unterminated,
    };
    LimiterCore target;
    target.selectProgram(3);
    target.setValue(ParameterId::kMakeup, 0.75f);
    RecordingListener listener;
    target.setListener(&listener);
    const std::vector<std::uint8_t> before = target.saveState();
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(target.loadState(bad[i].data(), bad[i].size())) << i;
        EXPECT_EQ(target.saveState(), before) << i;
    }
    EXPECT_FALSE(target.loadState(nullptr, good.size()));
    EXPECT_TRUE(listener.count == 0);
}

TEST(Core, MeterSlots) {
    LimiterCore core;
    for (int slot = -1; slot <= kMeterCount; ++slot)
        EXPECT_EQ(core.meterValue(slot), slot == gainMeterSlot(kChannelCount) ? 1.0 : 0.0) << slot;
    processNoise(core, {10000});
    for (int slot = 0; slot < kMeterCount; ++slot)
        EXPECT_GT(core.meterValue(slot), 0.0) << slot;
    EXPECT_LT(core.meterValue(gainMeterSlot(kChannelCount)), 1.0) << "full-scale noise is limited";
    EXPECT_EQ(core.meterValue(kMeterCount), 0.0);
}

// A format may split a block where an event falls: the output is that of the whole block when nothing
// changes at the split, and a value set between sub-blocks applies from the next one.
TEST(Core, SubBlocksSoundLikeTheWholeBlock) {
    LimiterCore whole;
    LimiterCore split;
    whole.setValue(ParameterId::kMakeup, 0.3f);
    split.setValue(ParameterId::kMakeup, 0.3f);
    EXPECT_EQ(processNoise(whole, {4096}), processNoise(split, {1, 100, 0, 995, 3000}));
    EXPECT_EQ(LimiterCore::latency(), 39);
    EXPECT_EQ(LimiterCore::programCount(), 31);
}

} // namespace
