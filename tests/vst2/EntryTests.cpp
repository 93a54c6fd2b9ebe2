#include "TestHost.h"

#include "core/BuildConfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

TEST(Entry, RefusesHostThatAnswersZeroToVersion) {
    TestHost::calls().clear();
    TestHost::versionAnswer() = 0;
    AEffect* effect = createPluginInstance(TestHost::callback);
    TestHost::versionAnswer() = 2400;
    EXPECT_EQ(effect, nullptr);
    ASSERT_EQ(TestHost::calls().size(), 1u);
    EXPECT_EQ(TestHost::calls()[0].effect, nullptr);
    EXPECT_EQ(TestHost::calls()[0].opcode, audioMasterVersion);
    EXPECT_EQ(TestHost::calls()[0].index, 0);
    EXPECT_EQ(TestHost::calls()[0].value, 0);
    EXPECT_EQ(TestHost::calls()[0].opt, 0.0f);
    EXPECT_EQ(createPluginInstance(nullptr), nullptr);
}

TEST(Entry, AcceptsAnyNonZeroVersion) {
    TestHost::versionAnswer() = 1;
    Instance effect;
    TestHost::versionAnswer() = 2400;
    EXPECT_NE(effect.get(), nullptr);
}

TEST(Entry, FillsTheRecord) {
    Instance effect;
    ASSERT_NE(effect.get(), nullptr);
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_NE(effect->dispatcher, nullptr);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->setParameter, nullptr);
    EXPECT_NE(effect->getParameter, nullptr);
    EXPECT_EQ(effect->numPrograms, 31);
    EXPECT_EQ(effect->numParams, 6);
    EXPECT_EQ(effect->numInputs, kStereoBuild ? 2 : 1);
    EXPECT_EQ(effect->numOutputs, kStereoBuild ? 2 : 1);
    EXPECT_EQ(effect->flags, 0x18) << "no editor in this build";
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
    EXPECT_EQ(effect->initialDelay, 39);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_EQ(effect->uniqueID, kStereoBuild ? 0x6F763038 : 0x6F763039);
    EXPECT_EQ(effect->version, 1);
    for (char byte : effect->future)
        EXPECT_EQ(byte, 0);
}

TEST(Entry, IdentifiesItself) {
    Instance effect;
    EXPECT_EQ(effect.text(effGetEffectName), kStereoBuild ? "Orvanta_QV3" : "Orvanta_QV3mono");
    EXPECT_EQ(effect.text(effGetProductString), kStereoBuild ? "Orvanta_QV3" : "Orvanta_QV3mono");
    EXPECT_EQ(effect.text(effGetVendorString), "tarnwick");
    EXPECT_EQ(effect.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(effect.dispatch(effGetVstVersion), 2300);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(effect.dispatch(effIdentify), 0x4E764566);
}

// Every opcode from 0 to 76 on a fresh instance, with a zeroed buffer as ptr. Opcodes missing from the map
// answer 0.
TEST(Dispatcher, AnswersEveryOpcode) {
    const std::map<std::int32_t, VstIntPtr> nonZero = {
        {effIdentify, 0x4E764566},
        {effCanBeAutomated, 1},
        {effGetNumProgramCategories, 1},
        {effGetProgramNameIndexed, 1},
        {effConnectInput, 1},
        {effConnectOutput, 1},
        {effGetPlugCategory, 1},
        {effSetBlockSizeAndSampleRate, 1},
        {effGetEffectName, 1},
        {effGetVendorString, 1},
        {effGetProductString, 1},
        {effGetVendorVersion, 1000},
        {effKeysRequired, 1},
        {effGetVstVersion, 2300},
        {effGetCurrentMidiProgram, -1},
    };
    for (std::int32_t opcode = 0; opcode <= 76; ++opcode) {
        if (opcode == effClose) continue;
        Instance effect;
        char buffer[256] = {};
        auto expected = nonZero.count(opcode) ? nonZero.at(opcode) : 0;
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, buffer, 0.0f), expected) << "opcode " << opcode;
    }
    Instance effect;
    for (std::int32_t opcode : {-1, 77, 78, 100, 1000, -1000})
        EXPECT_EQ(effect.dispatch(opcode, 1, 1, nullptr, 1.0f), 0);
    EXPECT_EQ(effect.dispatch(effSetTotalSampleToProcess, 0, 12345), 12345);
    EXPECT_EQ(effect.dispatch(effCanBeAutomated, 99), 1);
    EXPECT_EQ(effect.dispatch(effCanBeAutomated, -5), 1);
}

TEST(Dispatcher, CanDoIsNeitherYesNorNo) {
    Instance effect;
    for (const char* capability : {"receiveVstEvents", "plugAsChannelInsert", "bypass", "", "anything"}) {
        EXPECT_EQ(effect.dispatch(effCanDo, 0, 0, const_cast<char*>(capability)), 0) << capability;
    }
}

TEST(Dispatcher, EditorOpcodesWithoutEditorAnswerZero) {
    Instance effect;
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(effect.dispatch(effEditIdle), 0);
    EXPECT_EQ(effect.dispatch(effEditKeyDown, 'a', 1, nullptr, 2.0f), 0);
    EXPECT_EQ(effect.dispatch(effEditKeyUp, 'a', 1, nullptr, 2.0f), 0);
    EXPECT_EQ(effect.dispatch(effSetEditKnobMode, 0, 2), 0);
}

// With an editor the keys are still left to the host (no view takes them) and the knob mode is accepted.
TEST(Dispatcher, EditorOpcodesWithEditor) {
    Instance effect;
    RecordingEditor::attachTo(effect);
    EXPECT_EQ(effect->flags, 0x19);
    ERect* rect = nullptr;
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 354);
    EXPECT_EQ(rect->right, 273);
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, nullptr), 1);
    EXPECT_EQ(effect.dispatch(effEditKeyDown, ' ', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatch(effEditKeyUp, ' ', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatch(effSetEditKnobMode, 0, 2), 1);
}

TEST(Dispatcher, SpeakerArrangementWritesBothOrNothing) {
    Instance effect;
    void* inputArrangement = &effect;
    void* outputArrangement = &effect;
    EXPECT_EQ(effect.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&inputArrangement),
                              &outputArrangement),
              0);
    EXPECT_EQ(inputArrangement, nullptr);
    EXPECT_EQ(outputArrangement, nullptr);

    inputArrangement = outputArrangement = &effect;
    EXPECT_EQ(effect.dispatch(effGetSpeakerArrangement, 0, 0, &outputArrangement), 0);
    EXPECT_EQ(
        effect.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&inputArrangement), nullptr),
        0);
    EXPECT_EQ(inputArrangement, &effect);
    EXPECT_EQ(outputArrangement, &effect);
}

TEST(Dispatcher, NullTextPointersAreIgnored) {
    Instance effect;
    for (std::int32_t opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
          effGetProgramNameIndexed, effGetEffectName, effGetVendorString, effGetProductString}) {
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
    }
    EXPECT_EQ(effect.text(effGetProgramName), "Default");
}

TEST(Dispatcher, ChunksAreNotSupported) {
    Instance effect;
    void* chunk = &effect;
    EXPECT_EQ(effect.dispatch(effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(chunk, &effect);
    EXPECT_EQ(effect.dispatch(effSetChunk, 0, 16, &chunk), 0);
}

TEST(Lifetime, CloseAnswersOneAndDestroysTheEffect) {
    AEffect* effect = createPluginInstance(TestHost::callback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(Lifetime, TwoInstancesAreIndependent) {
    Instance first;
    Instance second;
    ASSERT_NE(first->object, second->object);
    first.set(0, 0.5f);
    first.selectProgram(7);
    char name[] = "Renamed";
    first.dispatch(effSetProgramName, 0, 0, name);
    first.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(second.get(0), 0.0f);
    EXPECT_EQ(second.dispatch(effGetProgram), 0);
    EXPECT_EQ(second.text(effGetProgramName), "Default");
    char indexed[32] = {};
    second.dispatch(effGetProgramNameIndexed, 7, 0, indexed);
    EXPECT_STREQ(indexed, "+3dB Maxi HardEdge");
    EXPECT_EQ(second->numPrograms, 31);
    EXPECT_EQ(second->initialDelay, 39);
}

} // namespace
