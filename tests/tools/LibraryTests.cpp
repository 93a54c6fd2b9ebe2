// The Linux plug-ins loaded with dlopen exactly as a host loads them.
#include "vst2/MeterQuery.h"
#include "vst2/VstInterface.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

using PluginMain = AEffect* (*)(audioMasterCallback);

VstIntPtr answerVersion(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
VstIntPtr answerNothing(AEffect*, std::int32_t, std::int32_t, VstIntPtr, void*, float) { return 0; }

struct Build {
    const char* file;
    const char* name;
    std::int32_t uniqueID;
    std::int32_t channels;
};
const Build kBuilds[] = {{"Orvanta_QV3.so", "Orvanta_QV3", 0x6F763038, 2},
                         {"Orvanta_QV3mono.so", "Orvanta_QV3mono", 0x6F763039, 1}};

void PrintTo(const Build& build, std::ostream* stream) { *stream << build.file; }

class Library : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        handle = dlopen((std::string(QV3_PLUGIN_DIR) + "/" + GetParam().file).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        vstPluginMain = reinterpret_cast<PluginMain>(dlsym(handle, "VSTPluginMain"));
        main = reinterpret_cast<PluginMain>(dlsym(handle, "main"));
    }
    void TearDown() override {
        if (handle) dlclose(handle);
    }

    static VstIntPtr dispatch(AEffect* effect, std::int32_t opcode, std::int32_t index = 0,
                              VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    static std::string text(AEffect* effect, std::int32_t opcode, std::int32_t index = 0) {
        char buffer[256] = {};
        dispatch(effect, opcode, index, 0, buffer);
        return buffer;
    }
    static void close(AEffect* effect) { EXPECT_EQ(dispatch(effect, effClose), 1); }

    void* handle = nullptr;
    PluginMain vstPluginMain = nullptr;
    PluginMain main = nullptr;
};

TEST_P(Library, ExportsBothEntriesOnly) {
    ASSERT_NE(vstPluginMain, nullptr);
    ASSERT_NE(main, nullptr);
    // Nothing of the core or the VST 2.x layer leaks out: the effect's own entry is hidden.
    EXPECT_EQ(dlsym(handle, "_Z20createPluginInstancePFlP7AEffectiilPvfE"), nullptr);
}

TEST_P(Library, BothEntriesBuildEquivalentIndependentEffects) {
    ASSERT_NE(main, nullptr);
    ASSERT_NE(vstPluginMain, nullptr);
    AEffect* first = main(answerVersion);
    AEffect* second = vstPluginMain(answerVersion);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);
    for (AEffect* effect : {first, second}) {
        EXPECT_EQ(effect->magic, kEffectMagic);
        EXPECT_EQ(effect->numPrograms, 31);
        EXPECT_EQ(effect->numParams, 6);
        EXPECT_EQ(effect->numInputs, GetParam().channels);
        EXPECT_EQ(effect->numOutputs, GetParam().channels);
        EXPECT_EQ(effect->flags, 0x18);
        EXPECT_EQ(effect->initialDelay, 39);
        EXPECT_EQ(effect->uniqueID, GetParam().uniqueID);
        EXPECT_EQ(effect->version, 1);
        EXPECT_EQ(effect->ioRatio, 1.0f);
        EXPECT_EQ(text(effect, effGetEffectName), GetParam().name);
        EXPECT_EQ(text(effect, effGetVendorString), "tarnwick");
    }
    EXPECT_EQ(first->dispatcher, second->dispatcher);
    EXPECT_EQ(first->process, second->process);
    EXPECT_EQ(first->processReplacing, second->processReplacing);
    EXPECT_EQ(first->setParameter, second->setParameter);
    EXPECT_EQ(first->getParameter, second->getParameter);

    // Independent: a change to one is not seen by the other; the same audio gives the same result.
    first->setParameter(first, 0, 0.25f);
    EXPECT_EQ(first->getParameter(first, 0), 0.25f);
    EXPECT_EQ(second->getParameter(second, 0), 0.0f);
    second->setParameter(second, 0, 0.25f);
    const int channels = GetParam().channels;
    std::vector<std::vector<float>> in(2, std::vector<float>(1000)), outFirst(2, std::vector<float>(1000)),
        outSecond(2, std::vector<float>(1000));
    for (int i = 0; i < 1000; ++i)
        in[0][i] = in[1][i] = static_cast<float>(0.8 * std::sin(0.05 * i));
    float* inputs[2] = {in[0].data(), in[1].data()};
    float* firstOutputs[2] = {outFirst[0].data(), outFirst[1].data()};
    float* secondOutputs[2] = {outSecond[0].data(), outSecond[1].data()};
    for (AEffect* effect : {first, second}) {
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        dispatch(effect, effSetBlockSize, 0, 1000);
        dispatch(effect, effMainsChanged, 0, 1);
    }
    first->processReplacing(first, inputs, firstOutputs, 1000);
    second->processReplacing(second, inputs, secondOutputs, 1000);
    for (int channel = 0; channel < channels; ++channel)
        EXPECT_EQ(outFirst[channel], outSecond[channel]);
    EXPECT_GT(*std::max_element(outFirst[0].begin(), outFirst[0].end()), 0.9f) << "12 dB of makeup, limited";
    EXPECT_LE(*std::max_element(outFirst[0].begin(), outFirst[0].end()), 0.999999f);
    close(first);
    close(second);
}

TEST_P(Library, RefusesAHostThatAnswersZero) {
    ASSERT_NE(main, nullptr);
    ASSERT_NE(vstPluginMain, nullptr);
    EXPECT_EQ(main(answerNothing), nullptr);
    EXPECT_EQ(vstPluginMain(answerNothing), nullptr);
    EXPECT_EQ(main(nullptr), nullptr);
}

TEST_P(Library, HasNoEditorOnLinux) {
    ASSERT_NE(main, nullptr);
    AEffect* effect = main(answerVersion);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->flags & effFlagsHasEditor, 0);
    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    int parent = 0;
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(dispatch(effect, effEditIdle), 0);
    EXPECT_EQ(dispatch(effect, effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(effect, effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(effect, effSetEditKnobMode, 0, 2), 0);
    EXPECT_EQ(dispatch(effect, effEditClose), 0);
    close(effect);
}

// The gain meter our host reads through the vendor-specific query: 1.0 before any audio, the reduction after.
TEST_P(Library, PublishesTheGainMeterToOurHost) {
    ASSERT_NE(main, nullptr);
    AEffect* effect = main(answerVersion);
    ASSERT_NE(effect, nullptr);
    const VstIntPtr gainIndex = 6 + GetParam().channels;
    double value = -1.0;
    EXPECT_EQ(dispatch(effect, effVendorSpecific, kMeterValueQuery, gainIndex, &value), 1);
    EXPECT_EQ(value, 1.0);
    value = -1.0;
    EXPECT_EQ(dispatch(effect, effVendorSpecific, kMeterValueQuery, 5, &value), 0);
    EXPECT_EQ(dispatch(effect, effVendorSpecific, kMeterValueQuery, 6 + 2 * GetParam().channels + 1, &value),
              0);
    EXPECT_EQ(dispatch(effect, effVendorSpecific, 0, gainIndex, &value), 0);
    EXPECT_EQ(value, -1.0);

    effect->setParameter(effect, 0, 0.25f); // +12 dB into a 0.5 peak sine: about 6 dB of reduction
    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(effect, effMainsChanged, 0, 1);
    std::vector<float> in(44100), outLeft(44100), inRight(44100), outRight(44100);
    for (int i = 0; i < 44100; ++i)
        in[i] = inRight[i] = static_cast<float>(0.5 * std::sin(0.0628 * i));
    float* inputs[2] = {in.data(), inRight.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    effect->processReplacing(effect, inputs, outputs, 44100);
    ASSERT_EQ(dispatch(effect, effVendorSpecific, kMeterValueQuery, gainIndex, &value), 1);
    EXPECT_NEAR(20.0 * std::log10(value), -5.98, 0.1);
    close(effect);
}

INSTANTIATE_TEST_SUITE_P(Builds, Library, ::testing::ValuesIn(kBuilds), [](const auto& build) {
    return std::string(build.param.channels == 2 ? "Stereo" : "Mono");
});

} // namespace
