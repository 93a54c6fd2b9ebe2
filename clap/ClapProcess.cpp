// Audio ports, latency, parameters and the audio block: the host's events become the core's values at their
// frames, through the core's block splitter.
#include "clap/ClapPlugin.h"

#include "core/BlockSplitter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
ParameterId parameterOf(clap_id id) { return static_cast<ParameterId>(id); }

std::uint32_t CLAP_ABI portCountEntry(const clap_plugin_t*, bool) { return 1; }
bool CLAP_ABI portInfoEntry(const clap_plugin_t*, std::uint32_t index, bool isInput,
                            clap_audio_port_info_t* info) {
    if (index != 0 || !info) return false;
    *info = {};
    info->id = 0;
    std::snprintf(info->name, sizeof info->name, "%s", isInput ? "Main in" : "Main out");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = LimiterCore::kChannels;
    info->port_type = LimiterCore::kChannels == 2 ? CLAP_PORT_STEREO : CLAP_PORT_MONO;
    info->in_place_pair = 0; // the output may be the input's buffer
    return true;
}

std::uint32_t CLAP_ABI latencyEntry(const clap_plugin_t*) { return LimiterCore::latency(); }

std::uint32_t CLAP_ABI paramCountEntry(const clap_plugin_t*) { return ClapPlugin::parameterCount(); }
bool CLAP_ABI paramInfoEntry(const clap_plugin_t*, std::uint32_t index, clap_param_info_t* info) {
    return info && ClapPlugin::describeParameter(index, *info);
}
bool CLAP_ABI paramValueEntry(const clap_plugin_t* plugin, clap_id id, double* value) {
    return value && ClapPlugin::of(plugin).parameterValue(id, *value);
}
bool CLAP_ABI valueToTextEntry(const clap_plugin_t*, clap_id id, double value, char* text,
                               std::uint32_t size) {
    return text && size > 0 && ClapPlugin::valueToText(id, value, text, size);
}
bool CLAP_ABI textToValueEntry(const clap_plugin_t*, clap_id id, const char* text, double* value) {
    return text && value && ClapPlugin::textToValue(id, text, *value);
}
void CLAP_ABI flushEntry(const clap_plugin_t* plugin, const clap_input_events_t* in,
                         const clap_output_events_t* out) QV3_NONBLOCKING {
    ClapPlugin::of(plugin).flushParameters(in, out);
}

// The host's buffers, if they are what the ports declare: 32-bit channels, one per port channel.
bool buffersFit(const clap_process_t& process) {
    if (process.audio_inputs_count < 1 || process.audio_outputs_count < 1 || !process.audio_inputs ||
        !process.audio_outputs)
        return false;
    const clap_audio_buffer_t* buffers[] = {process.audio_inputs, process.audio_outputs};
    for (const clap_audio_buffer_t* buffer : buffers) {
        if (buffer->channel_count < LimiterCore::kChannels || !buffer->data32) return false;
        for (int channel = 0; channel < LimiterCore::kChannels; ++channel)
            if (!buffer->data32[channel]) return false;
    }
    return true;
}
} // namespace

const clap_plugin_audio_ports_t kClapAudioPorts = {portCountEntry, portInfoEntry};
const clap_plugin_latency_t kClapLatency = {latencyEntry};
const clap_plugin_params_t kClapParams = {paramCountEntry,  paramInfoEntry,   paramValueEntry,
                                          valueToTextEntry, textToValueEntry, flushEntry};

bool normalisedFromClap(clap_id id, double clapValue, float& normalised) {
    if (!isParameterId(id) || !std::isfinite(clapValue)) return false;
    const int stepCount = parameterInfo(parameterOf(id)).stepCount;
    if (stepCount == 0) {
        normalised = static_cast<float>(std::clamp(clapValue, 0.0, 1.0));
    } else {
        const double step = std::clamp(std::round(clapValue), 0.0, static_cast<double>(stepCount));
        normalised = valueOfStep(parameterOf(id), static_cast<int>(step));
    }
    return true;
}

double clapFromNormalised(ParameterId id, float normalised) {
    if (parameterInfo(id).stepCount != 0) return stepOfValue(id, normalised);
    return std::clamp(static_cast<double>(normalised), 0.0, 1.0);
}

bool ClapPlugin::describeParameter(std::uint32_t index, clap_param_info_t& info) {
    if (!isParameterId(index)) return false;
    const ParameterInfo& parameter = parameterInfo(parameterOf(index));
    info = {};
    info.id = index;
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (parameter.stepCount != 0) info.flags |= CLAP_PARAM_IS_STEPPED;
    std::snprintf(info.name, sizeof info.name, "%s", parameter.name);
    info.min_value = 0.0;
    info.max_value = parameter.stepCount != 0 ? parameter.stepCount : 1.0;
    info.default_value = clapFromNormalised(parameter.id, parameter.defaultValue);
    return true;
}

bool ClapPlugin::parameterValue(clap_id id, double& value) const {
    if (!isParameterId(id)) return false;
    value = clapFromNormalised(parameterOf(id), core_.value(parameterOf(id)));
    return true;
}

bool ClapPlugin::valueToText(clap_id id, double value, char* text, std::uint32_t size) {
    float normalised = 0.0f;
    if (!normalisedFromClap(id, value, normalised)) return false;
    char shown[kParameterTextSize];
    formatParameter(parameterOf(id), normalised, shown);
    std::snprintf(text, size, "%s", shown);
    return true;
}

bool ClapPlugin::textToValue(clap_id id, const char* text, double& value) {
    float normalised = 0.0f;
    if (!isParameterId(id) || !parseParameter(parameterOf(id), text, normalised)) return false;
    value = clapFromNormalised(parameterOf(id), normalised);
    return true;
}

template <typename Apply>
void ClapPlugin::forEachParameterChange(const clap_input_events_t* in, Apply apply) QV3_NONBLOCKING {
    if (!in || !in->size || !in->get) return;
    // The host's event list: CLAP has the plug-in read it on the audio thread, so the host keeps it
    // real-time safe.
    QV3_UNCHECKED_CALLS_BEGIN
    const std::uint32_t count = in->size(in);
    QV3_UNCHECKED_CALLS_END
    for (std::uint32_t index = 0; index < count; ++index) {
        QV3_UNCHECKED_CALLS_BEGIN
        const clap_event_header_t* header = in->get(in, index);
        QV3_UNCHECKED_CALLS_END
        if (!header || header->space_id != CLAP_CORE_EVENT_SPACE_ID ||
            header->type != CLAP_EVENT_PARAM_VALUE || header->size < sizeof(clap_event_param_value_t))
            continue;
        const auto& event = *reinterpret_cast<const clap_event_param_value_t*>(header);
        float normalised = 0.0f;
        if (normalisedFromClap(event.param_id, event.value, normalised))
            apply(header->time, parameterOf(event.param_id), normalised);
    }
}

void ClapPlugin::flushParameters(const clap_input_events_t* in,
                                 const clap_output_events_t* out) QV3_NONBLOCKING {
    forEachParameterChange(in, [this](std::uint32_t, ParameterId id, float value) QV3_NONBLOCKING {
        core_.setValue(id, value);
        showInEditor(id);
    });
    edits_.sendTo(out);
}

void ClapPlugin::showInEditor(ParameterId id) QV3_NONBLOCKING {
    // Off the user-interface thread the editor only raises its refresh flag.
    QV3_UNCHECKED_CALLS_BEGIN
    if (editor_) editor_->parameterChanged(id);
    QV3_UNCHECKED_CALLS_END
}

clap_process_status ClapPlugin::process(const clap_process_t& process) QV3_NONBLOCKING {
    if (!buffersFit(process)) {
        flushParameters(process.in_events, process.out_events);
        return process.frames_count == 0 ? CLAP_PROCESS_CONTINUE : CLAP_PROCESS_ERROR;
    }
    BlockSplitter block(core_, process.audio_inputs->data32, process.audio_outputs->data32,
                        process.frames_count);
    forEachParameterChange(process.in_events,
                           [this, &block](std::uint32_t frame, ParameterId id, float value) QV3_NONBLOCKING {
                               block.change(frame, id, value);
                               showInEditor(id);
                           });
    block.finish();
    edits_.sendTo(process.out_events);
    return CLAP_PROCESS_CONTINUE;
}
