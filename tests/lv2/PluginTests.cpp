// The plug-in binary as a host loads it (dlopen, lv2_descriptor), driven through its ports, careless hosts
// included. What it writes is compared with the core itself, which the VST 2.x build runs too.
#include "core/LimiterCore.h"
#include "lv2/PortLayout.h"

#include <lv2/core/lv2.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int kChannels = LimiterCore::kChannels;
constexpr double kSampleRate = 48000.0;
constexpr int kBlock = 300;
constexpr int kBlocks = 12;
constexpr int kFrames = kBlock * kBlocks;
constexpr float kSentinel = 7.0f;

const LV2_Descriptor* descriptor(std::uint32_t index) {
    static void* const library = dlopen(QV3_LV2_BINARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    const auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
    return entry ? entry(index) : nullptr;
}

// Loud bursts and quiet stretches, a different tone per channel, so the gain moves both ways.
std::vector<float> material(int channel) {
    std::vector<float> samples(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const double level = (i / 700) % 2 ? 0.3 : 2.5;
        samples[i] = static_cast<float>(level * std::sin(0.013 * (channel + 1) * i) * std::cos(0.0007 * i));
    }
    return samples;
}

using Channels = std::vector<std::vector<float>>;

// One plug-in instance with every port connected to buffers of its own.
class Instance {
  public:
    Instance() : handle_(descriptor(0)->instantiate(descriptor(0), kSampleRate, "/nowhere/", nullptr)) {
        for (int channel = 0; channel < kChannels; ++channel) {
            inputs_.push_back(material(channel));
            outputs_.emplace_back(kFrames, kSentinel);
        }
        for (int index = 0; index < kParameterIdCount; ++index)
            connect(index, &controls_[index]);
        connect(kLatencyPort, &latency_);
        for (int channel = 0; channel < kChannels; ++channel) {
            connect(audioInputPort(channel), inputs_[channel].data());
            connect(audioOutputPort(kChannels, channel), outputs_[channel].data());
        }
    }
    ~Instance() { descriptor(0)->cleanup(handle_); }

    void connect(std::uint32_t port, void* data) { descriptor(0)->connect_port(handle_, port, data); }
    void activate() { descriptor(0)->activate(handle_); }
    void set(ParameterId id, float portValue) { controls_[static_cast<int>(id)] = portValue; }
    void runBlock(int block) {
        for (int channel = 0; channel < kChannels; ++channel) {
            connect(audioInputPort(channel), inputs_[channel].data() + block * kBlock);
            connect(audioOutputPort(kChannels, channel), outputs_[channel].data() + block * kBlock);
        }
        run(kBlock);
    }
    void run(int frames) { descriptor(0)->run(handle_, static_cast<std::uint32_t>(frames)); }
    void runAll() {
        for (int block = 0; block < kBlocks; ++block)
            runBlock(block);
    }

    const Channels& outputs() const { return outputs_; }
    float latency() const { return latency_; }

  private:
    LV2_Handle handle_;
    float controls_[kParameterIdCount] = {};
    float latency_ = 0.0f;
    Channels inputs_, outputs_;
};

// The core alone, over the same material and blocks; `between` may change values before each block.
template <class Between> Channels coreOutput(int program, Between between) {
    LimiterCore core;
    core.setSampleRate(kSampleRate);
    core.selectProgram(program);
    Channels inputs, outputs;
    for (int channel = 0; channel < kChannels; ++channel) {
        inputs.push_back(material(channel));
        outputs.emplace_back(kFrames);
    }
    for (int block = 0; block < kBlocks; ++block) {
        between(core, block);
        const float* in[kChannels];
        float* out[kChannels];
        for (int channel = 0; channel < kChannels; ++channel) {
            in[channel] = inputs[channel].data() + block * kBlock;
            out[channel] = outputs[channel].data() + block * kBlock;
        }
        core.process(in, out, kBlock);
    }
    return outputs;
}

Channels coreOutput(int program) {
    return coreOutput(program, [](LimiterCore&, int) {});
}

bool sameSamples(const Channels& a, const Channels& b) {
    for (int channel = 0; channel < kChannels; ++channel)
        if (std::memcmp(a[channel].data(), b[channel].data(), kFrames * sizeof(float)) != 0) return false;
    return true;
}

TEST(Lv2Plugin, OneDescriptorWithTheBuildsUri) {
    ASSERT_NE(descriptor(0), nullptr) << dlerror();
    EXPECT_STREQ(descriptor(0)->URI, kChannels == 2 ? kStereoPluginUri : kMonoPluginUri);
    EXPECT_EQ(descriptor(1), nullptr);
}

TEST(Lv2Plugin, EveryProgramThroughItsPortValuesSoundsAsTheCore) {
    LimiterCore bank;
    for (int program = 0; program < LimiterCore::programCount(); ++program) {
        bank.selectProgram(program);
        Instance instance;
        for (int index = 0; index < kParameterIdCount; ++index) {
            const auto id = static_cast<ParameterId>(index);
            instance.set(id, portValueOf(id, bank.value(id)));
        }
        instance.activate();
        instance.runAll();
        EXPECT_TRUE(sameSamples(instance.outputs(), coreOutput(program))) << "program " << program;
        EXPECT_EQ(instance.latency(), 39.0f);
    }
}

TEST(Lv2Plugin, UnconnectedControlsKeepTheDefaults) {
    Instance instance;
    for (int index = 0; index < kParameterIdCount; ++index)
        instance.connect(index, nullptr);
    instance.activate();
    instance.runAll();
    EXPECT_TRUE(sameSamples(instance.outputs(), coreOutput(0)));
}

// A value changed between runs applies from the next run on; a NaN keeps the value before it, an infinite
// value the end of the range.
TEST(Lv2Plugin, ValuesChangedBetweenRunsApplyFromTheNextRun) {
    Instance instance;
    for (int index = 0; index < kParameterIdCount; ++index) {
        const auto id = static_cast<ParameterId>(index);
        instance.set(id, portValueOf(id, parameterInfo(id).defaultValue));
    }
    instance.activate();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int block = 0; block < kBlocks; ++block) {
        if (block == 2) instance.set(ParameterId::kMakeup, 12.0f);
        if (block == 4) instance.set(ParameterId::kMakeup, nan);
        if (block == 5) instance.set(ParameterId::kReleaseSwitch, 1.0f);
        if (block == 7) instance.set(ParameterId::kCeiling, -std::numeric_limits<float>::infinity());
        if (block == 9) instance.set(ParameterId::kClipSwitch, 0.0f);
        instance.runBlock(block);
    }
    const Channels expected = coreOutput(0, [](LimiterCore& core, int block) {
        if (block == 2) core.setValue(ParameterId::kMakeup, 0.25f);
        if (block == 5) core.setValue(ParameterId::kReleaseSwitch, 1.0f);
        if (block == 7) core.setValue(ParameterId::kCeiling, 0.0f);
        if (block == 9) core.setValue(ParameterId::kClipSwitch, 0.0f);
    });
    EXPECT_TRUE(sameSamples(instance.outputs(), expected));
}

TEST(Lv2Plugin, SilentBeforeActivateAndWithoutAllAudioPorts) {
    const auto silentBlock = [](const Channels& outputs, int block) {
        for (const auto& channel : outputs)
            for (int i = block * kBlock; i < (block + 1) * kBlock; ++i)
                if (channel[i] != 0.0f) return false;
        return true;
    };
    Instance instance;
    instance.runBlock(0);
    EXPECT_TRUE(silentBlock(instance.outputs(), 0)) << "run before activate";
    EXPECT_EQ(instance.latency(), 39.0f);

    instance.activate();
    instance.runBlock(1);
    instance.connect(audioInputPort(kChannels - 1), nullptr);
    instance.run(kBlock);
    EXPECT_TRUE(silentBlock(instance.outputs(), 1)) << "an input connected to nothing";
}

TEST(Lv2Plugin, ZeroFramesNoPortsAndNoInstance) {
    const LV2_Descriptor* d = descriptor(0);
    LV2_Handle handle = d->instantiate(d, kSampleRate, "/nowhere/", nullptr);
    d->run(handle, 0);
    d->activate(handle);
    d->run(handle, kBlock);
    d->deactivate(handle);
    d->cleanup(handle);
    d->run(nullptr, kBlock);
    d->cleanup(nullptr);

    Instance instance;
    instance.activate();
    instance.run(0);
    EXPECT_EQ(instance.outputs()[0][0], kSentinel);
}

} // namespace
