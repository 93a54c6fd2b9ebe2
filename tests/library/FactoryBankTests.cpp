// The factory bank of the Linux plug-ins, read as a host reads it: every stored value of every program,
// exactly. The texts round the values (0.1 dB for "Makeup"), so only the numbers show a slip in a late digit.
#include "vst2/VstInterface.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct FactoryProgram {
    const char* name;
    float relSwitch, manualRelease, autoRelease, makeup, ceiling, clipSwitch, monitor;
};

const FactoryProgram kFactoryBank[31] = {
    {"Default", 0, 0.1f, 0.40625f, 0, 1, 0.5f, 0},
    {"+1dB Maxi", 0, 0, 0.3075f, 0.021571f, 1, 0.75f, 0},
    {"+1dB Maxi HardEdge", 0, 0, 0, 0.021869f, 1, 1, 0},
    {"+1dB Maxi SoftEdge", 0, 0.670082f, 0.506617f, 0.020707f, 1, 0.75f, 0},
    {"+1dB Maxi Smooth", 0, 0.792875f, 0.7075f, 0.021868f, 1, 1, 0},
    {"+1dB Maxi Aggressive", 1, 0, 0, 0.021669f, 1, 1, 0},
    {"+3dB Maxi", 0, 0, 0.3075f, 0.062713f, 1, 0.75f, 0},
    {"+3dB Maxi HardEdge", 0, 0, 0, 0.06301f, 1, 1, 0},
    {"+3dB Maxi SoftEdge", 0, 0.670082f, 0.506617f, 0.061532f, 1, 0.75f, 0},
    {"+3dB Maxi Smooth", 0, 0.792875f, 0.7075f, 0.061759f, 1, 1, 0},
    {"+3dB Maxi Aggressive", 1, 0, 0, 0.062811f, 1, 1, 0},
    {"+6dB Maxi", 0, 0, 0.3075f, 0.123963f, 1, 0.75f, 0},
    {"+6dB Maxi HardEdge", 0, 0, 0, 0.12426f, 1, 1, 0},
    {"+6dB Maxi SoftEdge", 0, 0.670082f, 0.506617f, 0.124353f, 1, 0.75f, 0},
    {"+6dB Maxi Smooth", 0, 0.792875f, 0.7075f, 0.125509f, 1, 1, 0},
    {"+6dB Maxi Aggressive", 1, 0, 0, 0.125311f, 1, 1, 0},
    {"+1dB Limit", 0, 0, 0.3075f, 0.021571f, 0.83375f, 0.75f, 0},
    {"+1dB Limit HardEdge", 0, 0, 0, 0.021869f, 0.83375f, 1, 0},
    {"+1dB Limit SoftEdge", 0, 0.670082f, 0.506617f, 0.020707f, 0.83375f, 0.75f, 0},
    {"+1dB Limit Smooth", 0, 0.792875f, 0.7075f, 0.021868f, 0.83375f, 1, 0},
    {"+1dB Limit Aggressive", 1, 0, 0, 0.021669f, 0.83375f, 1, 0},
    {"+3dB Limit", 0, 0, 0.3075f, 0.062713f, 0.5f, 0.75f, 0},
    {"+3dB Limit HardEdge", 0, 0, 0, 0.06301f, 0.5f, 1, 0},
    {"+3dB Limit SoftEdge", 0, 0.670082f, 0.506617f, 0.061532f, 0.5f, 0.75f, 0},
    {"+3dB Limit Smooth", 0, 0.792875f, 0.7075f, 0.061759f, 0.5f, 1, 0},
    {"+3dB Limit Aggressive", 1, 0, 0, 0.062811f, 0.5f, 1, 0},
    {"+6dB Limit", 0, 0, 0.3075f, 0.123963f, 0, 0.75f, 0},
    {"+6dB Limit HardEdge", 0, 0, 0, 0.12426f, 0, 1, 0},
    {"+6dB Limit SoftEdge", 0, 0.670082f, 0.506617f, 0.124353f, 0, 0.75f, 0},
    {"+6dB Limit Smooth", 0, 0.792875f, 0.7075f, 0.125509f, 0, 1, 0},
    {"+6dB Limit Aggressive", 1, 0, 0, 0.125311f, 0, 1, 0},
};

// Parameter indices as the host sees them.
enum : std::int32_t { kMakeup, kCeiling, kRelSW, kRel, kClipSW, kMonitor };

VstIntPtr answerVersion(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class FactoryBank : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        handle = dlopen((std::string(QV3_PLUGIN_DIR) + "/" + GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        const auto pluginMain =
            reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(handle, "VSTPluginMain"));
        ASSERT_NE(pluginMain, nullptr);
        effect = pluginMain(answerVersion);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        if (handle) dlclose(handle);
    }

    void* handle = nullptr;
    AEffect* effect = nullptr;
};

// "Rel" reads the release of the selected mode; the other one is read by switching "RelSW" over and back.
TEST_P(FactoryBank, EveryProgramHoldsItsFactoryValues) {
    ASSERT_EQ(effect->numPrograms, 31);
    for (std::int32_t index = 0; index < 31; ++index) {
        const FactoryProgram& expected = kFactoryBank[index];
        effect->dispatcher(effect, effSetProgram, 0, index, nullptr, 0.0f);
        char name[64] = {};
        effect->dispatcher(effect, effGetProgramName, 0, 0, name, 0.0f);
        const float relSwitch = effect->getParameter(effect, kRelSW);
        const float selectedRelease = effect->getParameter(effect, kRel);
        effect->setParameter(effect, kRelSW, relSwitch > 0.5f ? 0.0f : 1.0f);
        const float otherRelease = effect->getParameter(effect, kRel);
        effect->setParameter(effect, kRelSW, relSwitch);
        const bool manual = relSwitch > 0.5f;

        SCOPED_TRACE(expected.name);
        EXPECT_STREQ(name, expected.name);
        EXPECT_EQ(relSwitch, expected.relSwitch);
        EXPECT_EQ(manual ? selectedRelease : otherRelease, expected.manualRelease);
        EXPECT_EQ(manual ? otherRelease : selectedRelease, expected.autoRelease);
        EXPECT_EQ(effect->getParameter(effect, kMakeup), expected.makeup);
        EXPECT_EQ(effect->getParameter(effect, kCeiling), expected.ceiling);
        EXPECT_EQ(effect->getParameter(effect, kClipSW), expected.clipSwitch);
        EXPECT_EQ(effect->getParameter(effect, kMonitor), expected.monitor);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, FactoryBank, ::testing::Values("Orvanta_QV3.so", "Orvanta_QV3mono.so"),
                         [](const auto& build) { return std::string(build.index == 0 ? "Stereo" : "Mono"); });

} // namespace
