// One effect instance driven through its record, as a host drives it, and the fixture that loads the library
// of the build under test before each test.
#pragma once

#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "tests/Fingerprint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The record's flags: the libraries have an editor, can process mono and can replace.
constexpr std::int32_t kExpectedFlags = effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing;
constexpr std::int32_t kExpectedLatency = 39;
constexpr float kOutputClamp = 0.999999f;
// A value that needs all of VstIntPtr: beyond 32 bits on x64, the largest there is on x86.
constexpr VstIntPtr kWideValue =
    sizeof(VstIntPtr) == 8 ? static_cast<VstIntPtr>(1LL << 40) : static_cast<VstIntPtr>(INT32_MAX);

// Audio as the host holds it: one vector of samples per channel.
using ChannelBuffers = std::vector<std::vector<float>>;

class HostedEffect {
  public:
    // Calls the library's `main` with the recording host; the record is null when the library refuses.
    explicit HostedEffect(PluginMain entry);
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    AEffect* record() const { return effect_; }
    AEffect* operator->() const { return effect_; }

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;
    // effClose; the record is gone afterwards. Answers the dispatcher's reply.
    VstIntPtr close();

    void set(std::int32_t index, float value) const { effect_->setParameter(effect_, index, value); }
    float get(std::int32_t index) const { return effect_->getParameter(effect_, index); }
    // A text opcode's answer, read from a zeroed buffer.
    std::string text(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0) const;
    std::string name(std::int32_t index) const { return text(effGetParamName, index); }
    std::string display(std::int32_t index) const { return text(effGetParamDisplay, index); }
    std::string programName() const { return text(effGetProgramName); }
    std::string programName(std::int32_t index) const { return text(effGetProgramNameIndexed, index); }
    void selectProgram(VstIntPtr program) const { dispatch(effSetProgram, 0, program); }
    void renameProgram(const std::string& name) const;
    // The six display texts, index 0 to 5.
    std::vector<std::string> displays() const;

    // Runs `input` through processReplacing in blocks of `blockSize` frames (the last one shorter).
    ChannelBuffers replacing(const ChannelBuffers& input, std::int32_t blockSize) const;
    // Runs `input` through process in blocks, adding to what `output` holds.
    void accumulating(const ChannelBuffers& input, ChannelBuffers& output, std::int32_t blockSize) const;
    // One block of `frames` samples through processReplacing, from `first` on.
    void replacingBlock(const ChannelBuffers& input, ChannelBuffers& output, std::size_t first,
                        std::int32_t frames) const;

  private:
    AEffect* effect_;
};

// Silence of `frames` samples in each of `channels` channels.
ChannelBuffers silence(std::int32_t channels, std::size_t frames);

class PluginTest : public testing::TestWithParam<PluginBuild> {
  protected:
    void SetUp() override;

    const PluginBuild& build() const { return GetParam(); }
    PluginLibrary& library() const { return *library_; }
    std::unique_ptr<HostedEffect> instantiate() const;

  private:
    std::unique_ptr<PluginLibrary> library_;
};

std::string buildLabel(const testing::TestParamInfo<PluginBuild>& info);

// Runs every test of `suite` against both libraries.
#define QV3_FOR_BOTH_LIBRARIES(suite)                                                                        \
    INSTANTIATE_TEST_SUITE_P(Library, suite, testing::ValuesIn(kPluginBuilds), buildLabel)
