// The library's entry `main` and the record it hands out, read at the byte offsets a host of the
// library's architecture uses.
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
    for (VstIntPtr version : {VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{2400}, kWideValue}) {
        RecordingHost::reset(version);
        auto effect = instantiate();
        EXPECT_NE(effect->record(), nullptr) << "version " << version;
    }
}

// Where a host of this architecture reads the record's fields: pointer-sized fields are 8 bytes on x64, with
// padding after `flags`, and 4 bytes on x86.
struct RecordLayout {
    std::size_t entries[5]; // dispatcher, process, setParameter, getParameter, processReplacing
    std::size_t numPrograms, flags, resvd1, resvd2, initialDelay, object, user, uniqueID, future, size;
};
constexpr RecordLayout kLayout =
    sizeof(void*) == 8 ? RecordLayout{{8, 16, 24, 32, 120}, 40, 56, 64, 72, 80, 96, 104, 112, 128, 192}
                       : RecordLayout{{4, 8, 12, 16, 80}, 20, 36, 40, 44, 48, 64, 68, 72, 84, 144};

TEST_P(Entry, FillsEveryRecordField) {
    auto effect = instantiate();
    const AEffect* record = effect->record();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(sizeof(AEffect), kLayout.size);
    EXPECT_EQ(fieldAt<std::int32_t>(record, 0), 0x56737450) << "magic";
    for (std::size_t entry : kLayout.entries)
        EXPECT_TRUE(library().containsAddress(fieldAt<const void*>(record, entry)))
            << "the entry at offset " << entry << " is not code of the library";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.numPrograms), 31) << "numPrograms";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.numPrograms + 4), 6) << "numParams";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.numPrograms + 8), build().channels) << "numInputs";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.numPrograms + 12), build().channels) << "numOutputs";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.flags), kExpectedFlags) << "flags";
    for (std::size_t padding = kLayout.flags + 4; padding < kLayout.resvd1; ++padding)
        EXPECT_EQ(fieldAt<std::uint8_t>(record, padding), 0) << "padding after flags";
    EXPECT_EQ(fieldAt<VstIntPtr>(record, kLayout.resvd1), 0) << "resvd1";
    EXPECT_EQ(fieldAt<VstIntPtr>(record, kLayout.resvd2), 0) << "resvd2";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.initialDelay), kExpectedLatency) << "initialDelay";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.initialDelay + 4), 0) << "realQualities";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.initialDelay + 8), 0) << "offQualities";
    EXPECT_EQ(fieldAt<float>(record, kLayout.initialDelay + 12), 1.0f) << "ioRatio";
    EXPECT_EQ(fieldAt<const void*>(record, kLayout.object), record->object) << "object";
    EXPECT_NE(fieldAt<const void*>(record, kLayout.object), nullptr) << "object";
    EXPECT_EQ(fieldAt<const void*>(record, kLayout.user), nullptr) << "user";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.uniqueID), build().uniqueId) << "uniqueID";
    EXPECT_EQ(fieldAt<std::int32_t>(record, kLayout.uniqueID + 4), 1) << "version";
    for (std::size_t offset = kLayout.future; offset < kLayout.size; ++offset)
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
