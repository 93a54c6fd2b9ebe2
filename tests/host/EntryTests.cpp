// The library's entry `main` and the record it hands out, read at the byte offsets a 64-bit host uses.
#include "HostedEffect.h"

#include <cstring>

namespace {

class Entry : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(Entry);

template <typename T> T fieldAt(const AEffect* record, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(record) + offset, sizeof value);
    return value;
}

void expectOnlyTheVersionQuestion() {
    ASSERT_EQ(RecordingHost::calls().size(), 1u);
    const HostCall& call = RecordingHost::calls()[0];
    EXPECT_EQ(call.effect, nullptr);
    EXPECT_EQ(call.opcode, audioMasterVersion);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, 0.0f);
}

TEST_P(Entry, AsksTheHostForItsVersionAndNothingElse) {
    auto effect = instantiate();
    ASSERT_NE(effect->record(), nullptr);
    expectOnlyTheVersionQuestion();
    EXPECT_EQ(effect->close(), 1);
    EXPECT_EQ(RecordingHost::calls().size(), 1u) << "closing calls the host";
}

TEST_P(Entry, RefusesAHostThatAnswersZeroToTheVersion) {
    RecordingHost::reset(0);
    EXPECT_EQ(library().entry()(RecordingHost::callback), nullptr);
    expectOnlyTheVersionQuestion();
    EXPECT_EQ(library().entry()(nullptr), nullptr) << "no callback at all";
}

TEST_P(Entry, AcceptsAnyNonZeroVersion) {
    for (VstIntPtr version : {VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{2400}, VstIntPtr{1} << 40}) {
        RecordingHost::reset(version);
        auto effect = instantiate();
        EXPECT_NE(effect->record(), nullptr) << "version " << version;
    }
}

TEST_P(Entry, FillsEveryRecordField) {
    auto effect = instantiate();
    const AEffect* record = effect->record();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(fieldAt<std::int32_t>(record, 0), 0x56737450) << "magic";
    for (std::size_t entry : {8u, 16u, 24u, 32u, 120u})
        EXPECT_TRUE(library().containsAddress(fieldAt<const void*>(record, entry)))
            << "the entry at offset " << entry << " is not code of the library";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 40), 31) << "numPrograms";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 44), 6) << "numParams";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 48), build().channels) << "numInputs";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 52), build().channels) << "numOutputs";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 56), kExpectedFlags) << "flags";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 60), 0) << "padding after flags";
    EXPECT_EQ(fieldAt<std::int64_t>(record, 64), 0) << "resvd1";
    EXPECT_EQ(fieldAt<std::int64_t>(record, 72), 0) << "resvd2";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 80), kExpectedLatency) << "initialDelay";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 84), 0) << "realQualities";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 88), 0) << "offQualities";
    EXPECT_EQ(fieldAt<float>(record, 92), 1.0f) << "ioRatio";
    EXPECT_NE(fieldAt<const void*>(record, 96), nullptr) << "object";
    EXPECT_EQ(fieldAt<const void*>(record, 104), nullptr) << "user";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 112), build().uniqueId) << "uniqueID";
    EXPECT_EQ(fieldAt<std::int32_t>(record, 116), 1) << "version";
    for (std::size_t offset = 128; offset < 192; ++offset)
        EXPECT_EQ(fieldAt<std::uint8_t>(record, offset), 0) << "future byte at offset " << offset;
}

TEST_P(Entry, EachCallBuildsItsOwnRecord) {
    auto first = instantiate();
    auto second = instantiate();
    ASSERT_NE(first->record(), nullptr);
    ASSERT_NE(second->record(), nullptr);
    EXPECT_NE(first->record(), second->record());
    EXPECT_NE(first->record()->object, second->record()->object);
    EXPECT_EQ(first->record()->dispatcher, second->record()->dispatcher);
    EXPECT_EQ(first->record()->processReplacing, second->record()->processReplacing);
    EXPECT_EQ(RecordingHost::calls().size(), 2u);
    EXPECT_EQ(first->close(), 1);
    EXPECT_EQ(second->programName(), "Default") << "closing one instance touched the other";
    EXPECT_EQ(second->close(), 1);
}

// A host that scans its plug-in folder loads and unloads each library before it uses it for real.
class Reload : public testing::TestWithParam<PluginBuild> {};
QV3_FOR_BOTH_LIBRARIES(Reload);

TEST_P(Reload, StartsAfreshAfterTheLibraryWasUnloaded) {
    RecordingHost::reset();
    std::string path;
    {
        PluginLibrary scan(GetParam().fileName);
        ASSERT_TRUE(scan.loaded());
        path = scan.path();
        HostedEffect effect(scan.entry());
        ASSERT_NE(effect.record(), nullptr);
        effect.set(0, 0.75f);
        effect.renameProgram("Scanned");
    }
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "the library stayed loaded";

    PluginLibrary library(GetParam().fileName);
    ASSERT_TRUE(library.loaded());
    HostedEffect effect(library.entry());
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.get(0), 0.0f);
    EXPECT_EQ(effect.programName(), "Default");
    EXPECT_EQ(effect.close(), 1);
}

} // namespace
