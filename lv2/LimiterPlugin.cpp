// The LV2 boundary: one plug-in per library, stereo or mono by the build, whose control ports are the core's
// values in the units of PortLayout.h. The control ports are the whole state: a host restores them, and each
// run hands the values that changed to the core before it processes, so no state extension is needed and no
// host feature is required.
//
// Threads, as LV2 classes them: instantiate, activate, deactivate and cleanup are never called at the same
// time as any other call for the instance; connect_port and run come from the audio thread, one at a time.
#include "core/BuildConfig.h"
#include "core/LimiterCore.h"
#include "lv2/PortLayout.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

namespace {

constexpr int kChannels = LimiterCore::kChannels;
constexpr const char* kPluginUri = kStereoBuild ? kStereoPluginUri : kMonoPluginUri;

class LimiterPlugin {
  public:
    explicit LimiterPlugin(double sampleRate) : mapping_(core_) {
        core_.setSampleRate(sampleRate);
        std::fill_n(handedOver_, kParameterIdCount, std::numeric_limits<float>::quiet_NaN());
    }

    void connect(std::uint32_t port, void* data) QV3_NONBLOCKING;
    void activate();
    void deactivate() { active_ = false; }
    // Hosts may connect ports late or never: an unconnected control keeps its last value (at first the
    // default), and while an audio port is missing, or before activate, the connected outputs are silent.
    void run(std::uint32_t frames) QV3_NONBLOCKING;

  private:
    void followControls() QV3_NONBLOCKING;
    void silenceOutputs(std::uint32_t frames) QV3_NONBLOCKING;

    LimiterCore core_;
    PortMapping mapping_;
    const float* controls_[kParameterIdCount] = {};
    // The port values last handed to the core; NaN at first, so the first run hands over every connected one.
    float handedOver_[kParameterIdCount];
    float* latency_ = nullptr;
    const float* inputs_[kChannels] = {};
    float* outputs_[kChannels] = {};
    bool active_ = false;
};

void LimiterPlugin::connect(std::uint32_t port, void* data) QV3_NONBLOCKING {
    if (port < kLatencyPort) {
        controls_[port] = static_cast<const float*>(data);
    } else if (port == kLatencyPort) {
        latency_ = static_cast<float*>(data);
    } else if (port < audioOutputPort(kChannels, 0)) {
        inputs_[port - audioInputPort(0)] = static_cast<const float*>(data);
    } else if (port < portCount(kChannels)) {
        outputs_[port - audioOutputPort(kChannels, 0)] = static_cast<float*>(data);
    }
}

void LimiterPlugin::activate() {
    core_.reset();
    active_ = true;
}

void LimiterPlugin::run(std::uint32_t frames) QV3_NONBLOCKING {
    if (latency_) *latency_ = static_cast<float>(LimiterCore::latency());
    followControls();
    const bool connected = std::all_of(inputs_, inputs_ + kChannels, [](const float* p) { return p; }) &&
                           std::all_of(outputs_, outputs_ + kChannels, [](const float* p) { return p; });
    if (!active_ || !connected) {
        silenceOutputs(frames);
        return;
    }
    // The core counts frames in a signed 32-bit number; a larger run goes in parts.
    constexpr std::uint32_t kLargestPart = std::numeric_limits<std::int32_t>::max();
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t part = std::min(frames - done, kLargestPart);
        const float* inputs[kChannels];
        float* outputs[kChannels];
        for (int channel = 0; channel < kChannels; ++channel) {
            inputs[channel] = inputs_[channel] + done;
            outputs[channel] = outputs_[channel] + done;
        }
        core_.process(inputs, outputs, static_cast<std::int32_t>(part));
        done += part;
    }
}

void LimiterPlugin::followControls() QV3_NONBLOCKING {
    for (int index = 0; index < kParameterIdCount; ++index) {
        if (!controls_[index]) continue;
        const float portValue = *controls_[index];
        if (portValue == handedOver_[index]) continue;
        handedOver_[index] = portValue;
        const auto id = static_cast<ParameterId>(index);
        core_.setValue(id, mapping_.normalisedOf(id, portValue));
    }
}

void LimiterPlugin::silenceOutputs(std::uint32_t frames) QV3_NONBLOCKING {
    for (float* output : outputs_)
        if (output) std::fill_n(output, frames, 0.0f);
}

LimiterPlugin* pluginOf(LV2_Handle instance) { return static_cast<LimiterPlugin*>(instance); }

LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const*) {
    return new (std::nothrow) LimiterPlugin(sampleRate);
}

void connectPort(LV2_Handle instance, std::uint32_t port, void* data) QV3_NONBLOCKING {
    if (LimiterPlugin* plugin = pluginOf(instance)) plugin->connect(port, data);
}

void activate(LV2_Handle instance) {
    if (LimiterPlugin* plugin = pluginOf(instance)) plugin->activate();
}

void run(LV2_Handle instance, std::uint32_t frames) QV3_NONBLOCKING {
    if (LimiterPlugin* plugin = pluginOf(instance)) plugin->run(frames);
}

void deactivate(LV2_Handle instance) {
    if (LimiterPlugin* plugin = pluginOf(instance)) plugin->deactivate();
}

void cleanup(LV2_Handle instance) { delete pluginOf(instance); }

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
