#include "TestHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string indexedName(const Instance& effect, std::int32_t index, std::int32_t category = 0) {
    char buffer[32] = {};
    effect.dispatch(effGetProgramNameIndexed, index, category, buffer);
    return buffer;
}

TEST(Programs, StartsOnDefault) {
    Instance effect;
    EXPECT_EQ(effect.dispatch(effGetProgram), 0);
    EXPECT_EQ(effect.text(effGetProgramName), "Default");
    EXPECT_EQ(effect.dispatch(effGetNumProgramCategories), 1);
}

TEST(Programs, FactoryBankReadsAsItsNamesSay) {
    Instance effect;
    const char* variants[] = {"", " HardEdge", " SoftEdge", " Smooth", " Aggressive"};
    const char* release[] = {" 30 %", "min", " 50 %", " 70 %", "0.01"};
    const char* shape[] = {"4", "hard", "4", "hard", "hard"};
    const char* amounts[] = {"1", "3", "6"};
    const char* ceilings[] = {"-1.00", "-3.00", "-6.00"};
    for (int kind = 0; kind < 2; ++kind) {
        for (int amount = 0; amount < 3; ++amount) {
            for (int variant = 0; variant < 5; ++variant) {
                int index = 1 + kind * 15 + amount * 5 + variant;
                std::string name = std::string("+") + amounts[amount] + "dB " + (kind ? "Limit" : "Maxi") +
                                   variants[variant];
                EXPECT_EQ(indexedName(effect, index), name);
                effect.selectProgram(index);
                EXPECT_EQ(effect.text(effGetProgramName), name);
                EXPECT_EQ(effect.display(0), std::string(amounts[amount]) + ".0") << name;
                EXPECT_EQ(effect.display(1), kind ? ceilings[amount] : "0.00") << name;
                EXPECT_EQ(effect.display(2), variant == 4 ? "manual" : "auto") << name;
                EXPECT_EQ(effect.display(3), release[variant]) << name;
                EXPECT_EQ(effect.display(4), shape[variant]) << name;
                EXPECT_EQ(effect.display(5), "on") << name;
            }
        }
    }
    EXPECT_EQ(indexedName(effect, 0), "Default");
}

TEST(Programs, IndexedNamesRefuseOutOfRange) {
    Instance effect;
    char buffer[32] = {};
    EXPECT_EQ(effect.dispatch(effGetProgramNameIndexed, 30, 0, buffer), 1);
    EXPECT_STREQ(buffer, "+6dB Limit Aggressive");
    EXPECT_EQ(indexedName(effect, 30, 7), "+6dB Limit Aggressive") << "category is not looked at";
    for (std::int32_t index : {31, -1, 1000}) {
        std::strcpy(buffer, "keep");
        EXPECT_EQ(effect.dispatch(effGetProgramNameIndexed, index, 0, buffer), 0);
        EXPECT_STREQ(buffer, "keep");
    }
}

TEST(Programs, OutOfRangeSelectionIsIgnored) {
    Instance effect;
    effect.selectProgram(4);
    for (VstIntPtr bad : {31, -1, 1000}) {
        EXPECT_EQ(effect.dispatch(effSetProgram, 0, bad), 0);
        EXPECT_EQ(effect.dispatch(effGetProgram), 4);
    }
}

TEST(Programs, AggressivePresetUsesManualRelease) {
    Instance effect;
    effect.selectProgram(5);
    EXPECT_EQ(effect.display(2), "manual");
    EXPECT_EQ(effect.display(3), "0.01");
    EXPECT_EQ(effect.get(3), 0.0f);
    effect.set(2, 0.0f);
    EXPECT_EQ(effect.display(3), "min");
}

TEST(Programs, RememberEditsPerProgram) {
    Instance effect;
    effect.selectProgram(3);
    effect.set(0, 0.5f);
    effect.selectProgram(4);
    EXPECT_EQ(effect.get(0), 0.021868f);
    effect.selectProgram(3);
    EXPECT_EQ(effect.get(0), 0.5f);
}

TEST(Programs, ReleaseEditTouchesOnlyTheSelectedModesValue) {
    Instance effect;
    effect.selectProgram(3);
    effect.set(3, 0.9f);
    const LimiterCore& core = coreOf(effect);
    EXPECT_EQ(core.program(3).autoRelease, 0.9f);
    EXPECT_EQ(core.program(3).manualRelease, 0.670082f);
}

TEST(Programs, SelectionLeavesTheProgramUnchanged) {
    Instance effect;
    const LimiterCore& core = coreOf(effect);
    for (int index = 0; index < 31; ++index) {
        LimiterProgram before = core.program(index);
        effect.selectProgram(index);
        EXPECT_EQ(std::memcmp(&before, &core.program(index), sizeof before), 0) << index;
    }
}

// The current program's slot is the live state: a selection switches to it whole, the gains are those of
// its stored values at once, and the signal path applies them from its next block on.
TEST(Programs, SignalPathFollowsTheSelectedProgramFromTheNextBlock) {
    Instance effect;
    const LimiterCore& core = coreOf(effect);
    effect.selectProgram(29);
    EXPECT_EQ(makeupGain(effect), makeupGainFor(0.125509f));
    EXPECT_EQ(ceilingGain(effect), ceilingGainFor(0.0f));
    Buffers silence(16);
    run(effect, silence);
    const auto& path = core.signalPath();
    EXPECT_EQ(path.currentMakeupGain(), makeupGainFor(0.125509f));
    EXPECT_EQ(path.currentCeilingGain(), ceilingGainFor(0.0f));
    EXPECT_EQ(path.currentReleaseSwitch(), 0.0f);
    EXPECT_EQ(path.currentClipSwitch(), 1.0f);
    EXPECT_EQ(path.autoSlow().currentAttackMs(), autoReleaseAttackMs(0.7075f));
    EXPECT_EQ(path.manual().currentReleaseSeconds(), manualReleaseSeconds(0.792875f));
    effect.set(2, 1.0f);
    effect.set(3, 0.25f);
    effect.set(5, 1.0f);
    run(effect, silence);
    EXPECT_EQ(path.currentReleaseSwitch(), 1.0f);
    EXPECT_EQ(path.currentMonitor(), 1.0f);
    EXPECT_EQ(path.manual().currentReleaseSeconds(), manualReleaseSeconds(0.25f));
    EXPECT_EQ(core.program(29).manualRelease, 0.25f);
    EXPECT_EQ(core.program(29).autoRelease, 0.7075f);
}

TEST(Programs, SelectionAppliesValuesInOrderWithoutAutomation) {
    Instance effect;
    RecordingEditor& editor = RecordingEditor::attachTo(effect);
    TestHost::calls().clear();
    effect.selectProgram(13);
    const std::vector<ParameterId> expected = {ParameterId::kAutoRelease, ParameterId::kReleaseSwitch,
                                               ParameterId::kAutoRelease, ParameterId::kMakeup,
                                               ParameterId::kCeiling,     ParameterId::kMonitor,
                                               ParameterId::kClipSwitch};
    EXPECT_EQ(editor.changes, expected);
    editor.changes.clear();
    effect.selectProgram(5);
    EXPECT_EQ(editor.changes[0], ParameterId::kManualRelease) << "the release of the selected program's mode";
    for (const HostCall& call : TestHost::calls()) {
        EXPECT_NE(call.opcode, audioMasterAutomate);
    }
}

TEST(Programs, RenamingCutsAtTwentyThreeCharacters) {
    Instance effect;
    effect.selectProgram(2);
    char name[] = "Mastering";
    effect.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(indexedName(effect, 2), "Mastering");
    EXPECT_EQ(effect.text(effGetProgramName), "Mastering");
    char longName[] = "A very long program name that goes on";
    effect.dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(effect.text(effGetProgramName), std::string(longName, 23));
    for (int index = 0; index < 31; ++index) {
        if (index == 2) continue;
        EXPECT_EQ(indexedName(effect, index), kFactoryPrograms[index].name);
    }
}

TEST(Automation, UserChangeReachesTheHost) {
    Instance effect;
    LimiterEffect* limiter = &effectOf(effect);
    TestHost::calls().clear();
    limiter->automateParameter(1, 0.5f);
    EXPECT_EQ(effect.get(1), 0.5f);
    ASSERT_EQ(TestHost::calls().size(), 1u);
    EXPECT_EQ(TestHost::calls()[0].effect, effect.get());
    EXPECT_EQ(TestHost::calls()[0].opcode, audioMasterAutomate);
    EXPECT_EQ(TestHost::calls()[0].index, 1);
    EXPECT_EQ(TestHost::calls()[0].opt, 0.5f);
    TestHost::calls().clear();
    EXPECT_FALSE(limiter->beginEdit(3));
    EXPECT_FALSE(limiter->endEdit(3));
    limiter->masterIdle();
    ASSERT_EQ(TestHost::calls().size(), 3u);
    EXPECT_EQ(TestHost::calls()[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(TestHost::calls()[0].index, 3);
    EXPECT_EQ(TestHost::calls()[1].opcode, audioMasterEndEdit);
    EXPECT_EQ(TestHost::calls()[2].opcode, audioMasterIdle);
}

// The editor's edits reach the host under the index that shows them: either release id as "Rel".
TEST(Automation, EditorEditsReachTheHostByIndex) {
    Instance effect;
    EditInterface& edits = effectOf(effect).editInterface();
    effect.set(2, 1.0f);
    TestHost::calls().clear();
    edits.beginEdit(ParameterId::kManualRelease);
    edits.performEdit(ParameterId::kManualRelease, 0.3f);
    edits.endEdit(ParameterId::kManualRelease);
    edits.performEdit(ParameterId::kMonitor, 1.0f);
    edits.dragIdle();
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {{audioMasterBeginEdit, 3},
                                                                         {audioMasterAutomate, 3},
                                                                         {audioMasterEndEdit, 3},
                                                                         {audioMasterAutomate, 5},
                                                                         {audioMasterIdle, 0}};
    std::vector<std::pair<std::int32_t, std::int32_t>> heard;
    for (const HostCall& call : TestHost::calls())
        heard.emplace_back(call.opcode, call.index);
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(TestHost::calls()[1].opt, 0.3f);
    EXPECT_EQ(edits.value(ParameterId::kManualRelease), 0.3f);
    EXPECT_EQ(edits.value(ParameterId::kMonitor), 1.0f);
    EXPECT_EQ(effect.get(3), 0.3f);
}

} // namespace
