// A minimal host for driving the effect through its record, as a real host does, with a log of every
// callback.
#pragma once

#include "core/BuildConfig.h"
#include "core/LimiterCore.h"
#include "editor/PluginEditor.h"
#include "vst2/LimiterEffect.h"
#include "vst2/PluginEntry.h"
#include "vst2/VstInterface.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    float opt;
};

class TestHost {
  public:
    static std::vector<HostCall>& calls() {
        static std::vector<HostCall> log;
        return log;
    }
    static VstIntPtr& versionAnswer() {
        static VstIntPtr answer = 2400;
        return answer;
    }
    static VstIntPtr QV3_VSTCALL callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void*, float opt) {
        calls().push_back({effect, opcode, index, value, opt});
        return opcode == audioMasterVersion ? versionAnswer() : 0;
    }
};

// Owns one instance for the length of a test and closes it through the dispatcher.
class Instance {
  public:
    Instance() : effect_(createPluginInstance(TestHost::callback)) {}
    ~Instance() {
        if (effect_) effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* operator->() const { return effect_; }
    AEffect* get() const { return effect_; }

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    void set(std::int32_t index, float value) const { effect_->setParameter(effect_, index, value); }
    float get(std::int32_t index) const { return effect_->getParameter(effect_, index); }
    std::string text(std::int32_t opcode, std::int32_t index = 0) const {
        char buffer[64] = {};
        dispatch(opcode, index, 0, buffer);
        return buffer;
    }
    std::string display(std::int32_t index) const { return text(effGetParamDisplay, index); }
    void selectProgram(std::int32_t program) const { dispatch(effSetProgram, 0, program); }

  private:
    AEffect* effect_;
};

inline LimiterEffect& effectOf(const Instance& effect) {
    return *static_cast<LimiterEffect*>(effect->object);
}
inline LimiterCore& coreOf(const Instance& effect) { return effectOf(effect).core(); }

// The gains of the stored makeup and ceiling values, which the signal path applies from its next block on.
inline double makeupGain(const Instance& effect) {
    return makeupGainFor(coreOf(effect).value(ParameterId::kMakeup));
}
inline double ceilingGain(const Instance& effect) {
    return ceilingGainFor(coreOf(effect).value(ParameterId::kCeiling));
}

// An editor that records the ids it is told of, registered with an instance that then owns it.
class RecordingEditor : public PluginEditor {
  public:
    static RecordingEditor& attachTo(const Instance& effect) {
        auto editor = std::make_unique<RecordingEditor>();
        RecordingEditor& recording = *editor;
        effectOf(effect).registerEditor(std::move(editor));
        return recording;
    }
    int width() const override { return 273; }
    int height() const override { return 354; }
    bool open(void*) override { return true; }
    void close() override {}
    void idle() override {}
    void parameterChanged(ParameterId id) override { changes.push_back(id); }
    std::vector<ParameterId> changes;
};

// Input and output channels of one block, for the record's process entries.
struct Buffers {
    explicit Buffers(int frames)
        : samples(2 * kChannelCount, std::vector<float>(static_cast<size_t>(frames))) {
        for (int c = 0; c < kChannelCount; ++c) {
            inputs[c] = samples[static_cast<size_t>(c)].data();
            outputs[c] = samples[static_cast<size_t>(kChannelCount + c)].data();
        }
    }
    std::vector<float>& input(int channel) { return samples[static_cast<size_t>(channel)]; }
    std::vector<float>& output(int channel) { return samples[static_cast<size_t>(kChannelCount + channel)]; }
    std::vector<std::vector<float>> samples;
    float* inputs[kChannelCount];
    float* outputs[kChannelCount];
};

inline Buffers noise(int frames, unsigned seed, float amplitude) {
    Buffers buffers(frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> sample(-amplitude, amplitude);
    for (int c = 0; c < kChannelCount; ++c)
        for (float& x : buffers.input(c))
            x = sample(random);
    return buffers;
}

// Processes the block replacing; returns the first output channel.
inline std::vector<float> run(const Instance& effect, Buffers& buffers) {
    effect->processReplacing(effect.get(), buffers.inputs, buffers.outputs,
                             static_cast<std::int32_t>(buffers.input(0).size()));
    return buffers.output(0);
}
