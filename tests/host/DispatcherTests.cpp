// The two-level dispatcher as a host reaches it: every opcode's reply, what it writes into the host's memory,
// and the requests a careful effect refuses.
#include "HostedEffect.h"

#include <array>
#include <climits>
#include <cstring>
#include <map>

namespace {

class Dispatcher : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(Dispatcher);

using RecordBytes = std::array<std::uint8_t, sizeof(AEffect)>;

RecordBytes snapshot(const AEffect* record) {
    RecordBytes bytes;
    std::memcpy(bytes.data(), record, bytes.size());
    return bytes;
}

// A host buffer: the text "probe", then canary bytes up to the end.
struct ProbeBuffer {
    std::array<char, 256> bytes;
    ProbeBuffer() {
        bytes.fill(static_cast<char>(0xA5));
        std::memcpy(bytes.data(), "probe", 6);
    }
    // This buffer after the effect wrote `text` and its terminator, and nothing else.
    ProbeBuffer withText(const std::string& text) const {
        ProbeBuffer written = *this;
        std::memcpy(written.bytes.data(), text.c_str(), text.size() + 1);
        return written;
    }
    bool operator==(const ProbeBuffer& other) const { return bytes == other.bytes; }
};

std::ostream& operator<<(std::ostream& out, const ProbeBuffer& buffer) {
    return out << '"' << std::string(buffer.bytes.data(), strnlen(buffer.bytes.data(), buffer.bytes.size()))
               << '"';
}

struct Reply {
    VstIntPtr value;
    // The text written into the buffer; unset when the buffer must stay untouched.
    std::optional<std::string> text;
};

// The editor opcodes need a window to act on; EditorTests covers them.
bool isEditorOpcode(std::int32_t opcode) {
    switch (opcode) {
    case effEditGetRect:
    case effEditOpen:
    case effEditClose:
    case effEditIdle:
    case effEditKeyDown:
    case effEditKeyUp:
    case effSetEditKnobMode:
        return true;
    default:
        return false;
    }
}

// Replies to index 0, value 0, opt 0 and a probe buffer on a fresh instance; every other opcode from 0 to 76
// answers 0 and leaves the buffer alone.
std::map<std::int32_t, Reply> expectedReplies(const PluginBuild& build) {
    return {
        {effClose, {1, std::nullopt}},
        {effGetProgramName, {0, "Default"}},
        {effGetParamLabel, {0, ""}},
        {effGetParamDisplay, {0, "0.0"}},
        {effGetParamName, {0, "Makeup"}},
        {effIdentify, {0x4E764566, std::nullopt}},
        {effCanBeAutomated, {1, std::nullopt}},
        {effGetNumProgramCategories, {1, std::nullopt}},
        {effGetProgramNameIndexed, {1, "Default"}},
        {effConnectInput, {1, std::nullopt}},
        {effConnectOutput, {1, std::nullopt}},
        {effGetPlugCategory, {1, std::nullopt}},
        {effSetBlockSizeAndSampleRate, {1, std::nullopt}},
        {effGetEffectName, {1, build.effectName}},
        {effGetVendorString, {1, "tarnwick"}},
        {effGetProductString, {1, build.effectName}},
        {effGetVendorVersion, {1000, std::nullopt}},
        {effKeysRequired, {1, std::nullopt}},
        {effGetVstVersion, {2300, std::nullopt}},
        {effGetCurrentMidiProgram, {-1, std::nullopt}},
    };
}

TEST_P(Dispatcher, AnswersEveryOpcodeExactly) {
    const std::map<std::int32_t, Reply> replies = expectedReplies(build());
    for (std::int32_t opcode = 0; opcode <= 76; ++opcode) {
        if (isEditorOpcode(opcode)) continue;
        SCOPED_TRACE("opcode " + std::to_string(opcode));
        RecordingHost::reset();
        HostedEffect effect(library().entry());
        ASSERT_NE(effect.record(), nullptr);
        const RecordBytes record = snapshot(effect.record());
        const Reply expected = replies.count(opcode) ? replies.at(opcode) : Reply{0, std::nullopt};
        const ProbeBuffer before;
        ProbeBuffer buffer;

        if (opcode == effClose) {
            EXPECT_EQ(effect.close(), expected.value);
        } else {
            EXPECT_EQ(effect.dispatch(opcode, 0, 0, buffer.bytes.data(), 0.0f), expected.value);
            EXPECT_EQ(snapshot(effect.record()), record) << "the record changed";
        }
        EXPECT_EQ(buffer, expected.text ? before.withText(*expected.text) : before);
        EXPECT_EQ(RecordingHost::calls().size(), 1u) << "the effect called the host";
        if (opcode == effSetProgramName) {
            EXPECT_EQ(effect.programName(), "probe");
        }
    }
}

TEST_P(Dispatcher, AnswersZeroToOpcodesOutOfRange) {
    auto effect = instantiate();
    const RecordBytes record = snapshot(effect->record());
    for (std::int32_t opcode : {-1, -25, 77, 78, 100, 1000, INT_MIN, INT_MAX}) {
        ProbeBuffer buffer;
        EXPECT_EQ(effect->dispatch(opcode, 1, 1, buffer.bytes.data(), 1.0f), 0) << "opcode " << opcode;
        EXPECT_EQ(buffer, ProbeBuffer()) << "opcode " << opcode;
    }
    EXPECT_EQ(snapshot(effect->record()), record);
    EXPECT_EQ(effect->programName(), "Default");
}

TEST_P(Dispatcher, RepliesThatDependOnTheArguments) {
    auto effect = instantiate();
    for (VstIntPtr value : {VstIntPtr{0}, VstIntPtr{12345}, VstIntPtr{-7}, kWideValue})
        EXPECT_EQ(effect->dispatch(effSetTotalSampleToProcess, 0, value), value);
    for (std::int32_t index : {0, 5, 6, 99, -5, INT_MAX})
        EXPECT_EQ(effect->dispatch(effCanBeAutomated, index), 1) << "index " << index;
    for (const char* capability :
         {"receiveVstEvents", "plugAsChannelInsert", "bypass", "sendVstMidiEvent", ""}) {
        std::string text = capability;
        EXPECT_EQ(effect->dispatch(effCanDo, 0, 0, text.data()), 0) << capability;
    }
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, 30, 0, ProbeBuffer().bytes.data()), 1);
    for (VstIntPtr category : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{99}})
        EXPECT_EQ(effect->text(effGetProgramNameIndexed, 30, category), "+6dB Limit Aggressive");
    for (std::int32_t index : {31, -1, 1000, INT_MIN}) {
        ProbeBuffer buffer;
        EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, index, 0, buffer.bytes.data()), 0);
        EXPECT_EQ(buffer, ProbeBuffer()) << "index " << index;
    }
    EXPECT_EQ(effect->dispatch(effGetErrorText, 0, 0, ProbeBuffer().bytes.data()), 0);
}

TEST_P(Dispatcher, OffersNoChunk) {
    auto effect = instantiate();
    void* chunk = &effect;
    EXPECT_EQ(effect->dispatch(effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(effect->dispatch(effGetChunk, 1, 0, &chunk), 0);
    EXPECT_EQ(chunk, &effect);
    std::array<char, 16> data{};
    EXPECT_EQ(effect->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(data.size()), data.data()), 0);
    EXPECT_EQ(effect->dispatch(effSetChunk, 1, static_cast<VstIntPtr>(data.size()), data.data()), 0);
    EXPECT_EQ(effect->programName(), "Default");
}

// A 64-bit host passes the addresses of its two arrangement pointers through `value` and `ptr`.
TEST_P(Dispatcher, SpeakerArrangementClearsBothPointersOrNeither) {
    auto effect = instantiate();
    int marker = 0;
    void* inputs = &marker;
    void* outputs = &marker;
    EXPECT_EQ(effect->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&inputs), &outputs),
              0);
    EXPECT_EQ(inputs, nullptr);
    EXPECT_EQ(outputs, nullptr);

    inputs = outputs = &marker;
    EXPECT_EQ(effect->dispatch(effGetSpeakerArrangement, 0, 0, &outputs), 0);
    EXPECT_EQ(effect->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&inputs), nullptr),
              0);
    EXPECT_EQ(effect->dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
    EXPECT_EQ(inputs, &marker);
    EXPECT_EQ(outputs, &marker);
}

TEST_P(Dispatcher, IgnoresNullTextPointers) {
    auto effect = instantiate();
    for (std::int32_t opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
          effGetProgramNameIndexed, effGetEffectName, effGetVendorString, effGetProductString, effCanDo,
          effGetErrorText, effGetChunk, effSetChunk}) {
        for (std::int32_t index : {0, 3, 30})
            EXPECT_EQ(effect->dispatch(opcode, index, 0, nullptr), 0) << "opcode " << opcode;
    }
    EXPECT_EQ(effect->programName(), "Default");
    EXPECT_EQ(effect->text(effGetEffectName), build().effectName);
}

} // namespace
