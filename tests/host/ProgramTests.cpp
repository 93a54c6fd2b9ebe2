// The bank of 31 programs through the program opcodes: names, selection, what each factory program shows,
// write-back of edits, and renaming.
#include "HostedEffect.h"
#include "tests/FactoryProgramNames.h"

#include <array>
#include <climits>

namespace {

class Programs : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(Programs);

const std::vector<std::string> kFactoryNames = factoryProgramNames();

// The six texts a factory program shows, derived from its name: the amount sets makeup (and the ceiling of
// the "Limit" programs), the variant sets release mode, release and shape.
std::vector<std::string> factoryDisplays(std::int32_t program) {
    if (program == 0) return {"0.0", "0.00", "auto", " 40 %", "3", "on"};
    const std::int32_t amount = (program - 1) % 15 / 5;
    const std::int32_t variant = (program - 1) % 5;
    const bool limit = program > 15;
    const char* const makeups[] = {"1.0", "3.0", "6.0"};
    const char* const ceilings[] = {"-1.00", "-3.00", "-6.00"};
    const std::vector<std::string> variants[] = {
        {"auto", " 30 %", "4"},    {"auto", "min", "hard"},    {"auto", " 50 %", "4"},
        {"auto", " 70 %", "hard"}, {"manual", "0.01", "hard"},
    };
    const std::vector<std::string>& v = variants[variant];
    return {makeups[amount], limit ? ceilings[amount] : "0.00", v[0], v[1], v[2], "on"};
}

TEST_P(Programs, ListTheFactoryBank) {
    auto effect = instantiate();
    EXPECT_EQ(effect->dispatch(effGetProgram), 0);
    EXPECT_EQ(effect->programName(), "Default");
    for (std::int32_t program = 0; program < 31; ++program) {
        std::array<char, 64> buffer;
        buffer.fill(static_cast<char>(0x5A));
        EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, program, 0, buffer.data()), 1);
        EXPECT_STREQ(buffer.data(), kFactoryNames[program].c_str());
        for (std::size_t i = kFactoryNames[program].size() + 1; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], static_cast<char>(0x5A)) << "program " << program << ", byte " << i;
    }
    EXPECT_EQ(effect->dispatch(effGetProgram), 0) << "listing selected a program";
}

TEST_P(Programs, SelectEachFactoryProgram) {
    auto effect = instantiate();
    for (std::int32_t program : {5,  0,  30, 12, 1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 13, 14,
                                 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}) {
        EXPECT_EQ(effect->dispatch(effSetProgram, 0, program), 0);
        EXPECT_EQ(effect->dispatch(effGetProgram), program);
        EXPECT_EQ(effect->programName(), kFactoryNames[program]);
        EXPECT_EQ(effect->displays(), factoryDisplays(program)) << kFactoryNames[program];
    }
}

TEST_P(Programs, RefuseIndicesOutOfRange) {
    auto effect = instantiate();
    effect->selectProgram(7);
    // The widest index of the architecture: one whose low 32 bits select a program on 64-bit hosts.
    const VstIntPtr widest =
        sizeof(VstIntPtr) == 8 ? static_cast<VstIntPtr>(0x100000003LL) : VstIntPtr{INT_MAX};
    for (VstIntPtr program : {VstIntPtr{31}, VstIntPtr{-1}, VstIntPtr{1000}, VstIntPtr{INT_MIN}, widest}) {
        EXPECT_EQ(effect->dispatch(effSetProgram, 0, program), 0);
        EXPECT_EQ(effect->dispatch(effGetProgram), 7) << "program " << program;
    }
    EXPECT_EQ(effect->programName(), "+3dB Maxi HardEdge");
}

TEST_P(Programs, ManualReleaseProgramKeepsItsAutoValue) {
    auto effect = instantiate();
    effect->selectProgram(5);
    EXPECT_EQ(effect->display(2), "manual");
    EXPECT_EQ(effect->display(3), "0.01");
    EXPECT_EQ(effect->get(3), 0.0f);
    effect->set(2, 0.0f);
    EXPECT_EQ(effect->display(3), "min");
}

TEST_P(Programs, RememberEditsUntilTheEffectCloses) {
    auto effect = instantiate();
    effect->selectProgram(3);
    effect->set(0, 0.5f);
    effect->set(3, 0.9f);
    effect->selectProgram(4);
    EXPECT_EQ(effect->display(0), "1.0");
    effect->selectProgram(3);
    EXPECT_EQ(effect->get(0), 0.5f);
    EXPECT_EQ(effect->display(0), "24.0");
    EXPECT_EQ(effect->get(3), 0.9f);
    effect->set(2, 1.0f);
    EXPECT_EQ(effect->display(3), "300") << "the manual value stayed 0.670082";

    auto fresh = instantiate();
    fresh->selectProgram(3);
    EXPECT_EQ(fresh->displays(), factoryDisplays(3)) << "edits leaked into a new instance";
}

TEST_P(Programs, RenameTheCurrentProgram) {
    auto effect = instantiate();
    effect->selectProgram(9);
    effect->renameProgram("My Master");
    EXPECT_EQ(effect->programName(), "My Master");
    EXPECT_EQ(effect->programName(9), "My Master");
    for (std::int32_t program = 0; program < 31; ++program) {
        if (program != 9) {
            EXPECT_EQ(effect->programName(program), kFactoryNames[program]);
        }
    }
    effect->renameProgram("");
    EXPECT_EQ(effect->programName(9), "");
    effect->selectProgram(0);
    EXPECT_EQ(effect->programName(9), "");
    EXPECT_EQ(effect->programName(), "Default");
}

// The name field holds 23 characters and the terminator; longer names are cut, never written past it.
TEST_P(Programs, CutLongNamesToTwentyThreeCharacters) {
    auto effect = instantiate();
    const std::string exact = "ABCDEFGHIJKLMNOPQRSTUVW";
    ASSERT_EQ(exact.size(), 23u);
    effect->renameProgram(exact);
    EXPECT_EQ(effect->programName(), exact);
    for (const std::string& name : {exact + "X", exact + "XYZ0123456789abcdefghijklmnopqrstuvwxyz" + exact}) {
        effect->renameProgram(name);
        std::array<char, 64> buffer;
        buffer.fill(static_cast<char>(0x5A));
        effect->dispatch(effGetProgramName, 0, 0, buffer.data());
        EXPECT_EQ(std::string(buffer.data()), exact);
        for (std::size_t i = 24; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], static_cast<char>(0x5A)) << "byte " << i;
        EXPECT_EQ(effect->programName(0), exact);
        EXPECT_EQ(effect->programName(1), "+1dB Maxi") << "the next slot was overwritten";
    }
    effect->selectProgram(1);
    EXPECT_EQ(effect->displays(), factoryDisplays(1)) << "the next slot's values were overwritten";
}

} // namespace
