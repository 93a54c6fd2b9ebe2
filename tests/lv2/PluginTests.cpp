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

// One plug-in instance with its audio and latency ports connected to buffers of its own; the controls,
// holding the defaults' port values, once connectControls is called.
class Instance {
  public:
    Instance() : handle_(descriptor(0)->instantiate(descriptor(0), kSampleRate, "/nowhere/", nullptr)) {
        for (int channel = 0; channel < kChannels; ++channel) {
            inputs_.push_back(material(channel));
            outputs_.emplace_back(kFrames, kSentinel);
        }
        for (int index = 0; index < kParameterIdCount; ++index)
            controls_[index] =
                portValueOf(ParameterId(index), parameterInfo(ParameterId(index)).defaultValue);
        connect(kLatencyPort, &latency_);
    }
    ~Instance() { descriptor(0)->cleanup(handle_); }

    void connect(std::uint32_t port, void* data) { descriptor(0)->connect_port(handle_, port, data); }
    void connectControls() {
        for (int index = 0; index < kParameterIdCount; ++index)
            connect(index, &controls_[index]);
    }
    void activate() { descriptor(0)->activate(handle_); }
    void set(ParameterId id, float portValue) { controls_[static_cast<int>(id)] = portValue; }
    // Runs the frames of block `block`, where the audio ports are connected first.
    void run(int block, int frames = kBlock) {
        for (int channel = 0; channel < kChannels; ++channel) {
            connect(audioInputPort(channel), inputs_[channel].data() + block * kBlock);
            connect(audioOutputPort(kChannels, channel), outputs_[channel].data() + block * kBlock);
        }
        runAsConnected(frames);
    }
    void runAsConnected(int frames) { descriptor(0)->run(handle_, static_cast<std::uint32_t>(frames)); }

    const Channels& outputs() const { return outputs_; }
    float latency() const { return latency_; }

  private:
    LV2_Handle handle_;
    float controls_[kParameterIdCount];
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

bool sameSamples(const Channels& a, const Channels& b) {
    for (int channel = 0; channel < kChannels; ++channel)
        if (std::memcmp(a[channel].data(), b[channel].data(), kFrames * sizeof(float)) != 0) return false;
    return true;
}

bool silentBlock(const Channels& outputs, int block) {
    for (const auto& channel : outputs)
        for (int i = block * kBlock; i < (block + 1) * kBlock; ++i)
            if (channel[i] != 0.0f) return false;
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
        for (int index = 0; index < kParameterIdCount; ++index)
            instance.set(ParameterId(index), portValueOf(ParameterId(index), bank.value(ParameterId(index))));
        instance.connectControls();
        instance.activate();
        for (int block = 0; block < kBlocks; ++block)
            instance.run(block);
        EXPECT_TRUE(sameSamples(instance.outputs(), coreOutput(program, [](LimiterCore&, int) {})))
            << "program " << program;
        EXPECT_EQ(instance.latency(), 39.0f);
    }
}

// Unconnected controls keep the defaults; a value changed between runs applies from the next run on, a NaN
// keeps the value before it, an infinite value takes the end of the range.
TEST(Lv2Plugin, ControlsConnectedLateAndChangedBetweenRuns) {
    Instance instance;
    instance.activate();
    for (int block = 0; block < kBlocks; ++block) {
        if (block == 2) instance.set(ParameterId::kMakeup, 12.0f);
        if (block == 2) instance.connectControls();
        if (block == 4) instance.set(ParameterId::kMakeup, std::numeric_limits<float>::quiet_NaN());
        if (block == 5) instance.set(ParameterId::kReleaseSwitch, 1.0f);
        if (block == 7) instance.set(ParameterId::kCeiling, -std::numeric_limits<float>::infinity());
        if (block == 9) instance.set(ParameterId::kClipSwitch, 0.0f);
        instance.run(block);
    }
    const Channels expected = coreOutput(0, [](LimiterCore& core, int block) {
        if (block == 2) core.setValue(ParameterId::kMakeup, 0.25f);
        if (block == 5) core.setValue(ParameterId::kReleaseSwitch, 1.0f);
        if (block == 7) core.setValue(ParameterId::kCeiling, 0.0f);
        if (block == 9) core.setValue(ParameterId::kClipSwitch, 0.0f);
    });
    EXPECT_TRUE(sameSamples(instance.outputs(), expected));
}

TEST(Lv2Plugin, CarelessHostsGetSilenceRatherThanACrash) {
    const LV2_Descriptor* d = descriptor(0);
    LV2_Handle bare = d->instantiate(d, std::numeric_limits<double>::quiet_NaN(), "/nowhere/", nullptr);
    d->run(bare, kBlock);
    d->activate(bare);
    d->run(bare, 0);
    d->run(bare, kBlock);
    d->cleanup(bare);
    d->run(nullptr, kBlock);
    d->cleanup(nullptr);

    Instance instance;
    instance.run(0);
    EXPECT_TRUE(silentBlock(instance.outputs(), 0)) << "run before activate";
    EXPECT_EQ(instance.latency(), 39.0f);
    instance.activate();
    instance.run(1);
    instance.connect(audioInputPort(kChannels - 1), nullptr);
    instance.runAsConnected(kBlock);
    EXPECT_TRUE(silentBlock(instance.outputs(), 1)) << "an input connected to nothing";
    instance.run(2, 0);
    EXPECT_EQ(instance.outputs()[0][2 * kBlock], kSentinel) << "a run of no frames";
}

} // namespace
