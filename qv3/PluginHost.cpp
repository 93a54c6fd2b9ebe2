#include "PluginHost.h"

#include "core/ParameterLayout.h"
#include "vst2/MeterQuery.h"
#include "vst2/VstInterface.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace {
// The VST version this host claims; plug-ins refuse to start when the answer is 0.
constexpr VstIntPtr kHostVstVersion = 2400;

VstIntPtr QV3_VSTCALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kHostVstVersion : 0;
}

using PluginMain = AEffect*(QV3_VSTCALL*)(audioMasterCallback);

// Hosts hand every text query a generous buffer: the VST 2.x limits are often exceeded by plug-ins.
constexpr std::size_t kTextBufferSize = 256;
} // namespace

PluginHost::PluginHost(const std::filesystem::path& path) : path_(path), library_(path) {
    auto entry = reinterpret_cast<PluginMain>(library_.symbol("main"));
    if (!entry) throw std::runtime_error("plug-in " + path.string() + " does not export main");
    effect_ = entry(hostCallback);
    if (!effect_)
        throw std::runtime_error("plug-in " + path.string() + " refused to start: main returned null");
    if (effect_->magic != kEffectMagic) {
        effect_ = nullptr;
        throw std::runtime_error("plug-in " + path.string() + " returned no VST 2.x effect record");
    }
    dispatch(effOpen);
}

PluginHost::~PluginHost() {
    if (!effect_) return;
    stop();
    dispatch(effClose);
}

std::intptr_t PluginHost::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                   float opt) const {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::effectName() const { return text(effGetEffectName); }
std::string PluginHost::vendor() const { return text(effGetVendorString); }
std::string PluginHost::product() const { return text(effGetProductString); }
std::int32_t PluginHost::vendorVersion() const {
    return static_cast<std::int32_t>(dispatch(effGetVendorVersion));
}
std::int32_t PluginHost::vstVersion() const { return static_cast<std::int32_t>(dispatch(effGetVstVersion)); }
std::int32_t PluginHost::uniqueId() const { return effect_->uniqueID; }
std::int32_t PluginHost::version() const { return effect_->version; }
std::int32_t PluginHost::inputCount() const { return effect_->numInputs; }
std::int32_t PluginHost::outputCount() const { return effect_->numOutputs; }
std::int32_t PluginHost::latency() const { return effect_->initialDelay; }
std::int32_t PluginHost::flags() const { return effect_->flags; }
bool PluginHost::canProcessReplacing() const { return (effect_->flags & effFlagsCanReplacing) != 0; }

std::string PluginHost::flagNames() const {
    constexpr std::pair<std::int32_t, const char*> kNames[] = {
        {effFlagsHasEditor, "editor"},
        {effFlagsHasClip, "clip"},
        {effFlagsHasVu, "vu"},
        {effFlagsCanMono, "can mono"},
        {effFlagsCanReplacing, "replacing"},
        {effFlagsProgramChunks, "chunks"},
        {effFlagsIsSynth, "synth"},
        {effFlagsNoSoundInStop, "no sound in stop"},
    };
    std::string names;
    for (const auto& [flag, name] : kNames) {
        if (!(effect_->flags & flag)) continue;
        names += names.empty() ? "" : ", ";
        names += name;
    }
    return names;
}

std::int32_t PluginHost::parameterCount() const { return effect_->numParams; }
std::string PluginHost::parameterName(std::int32_t index) const { return text(effGetParamName, index); }
std::string PluginHost::parameterLabel(std::int32_t index) const { return text(effGetParamLabel, index); }
std::string PluginHost::parameterDisplay(std::int32_t index) const { return text(effGetParamDisplay, index); }
float PluginHost::parameter(std::int32_t index) const { return effect_->getParameter(effect_, index); }
void PluginHost::setParameter(std::int32_t index, float value) const {
    effect_->setParameter(effect_, index, value);
}

std::int32_t PluginHost::programCount() const { return effect_->numPrograms; }
std::int32_t PluginHost::currentProgram() const { return static_cast<std::int32_t>(dispatch(effGetProgram)); }
void PluginHost::selectProgram(std::int32_t index) const { dispatch(effSetProgram, 0, index); }

void PluginHost::process(float** inputs, float** outputs, std::int32_t frames) const {
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

std::string PluginHost::text(std::int32_t opcode, std::int32_t index) const {
    char buffer[kTextBufferSize] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kTextBufferSize - 1] = '\0';
    return buffer;
}

std::string PluginHost::programName(std::int32_t index) const {
    char buffer[kTextBufferSize] = {};
    dispatch(effGetProgramNameIndexed, index, 0, buffer);
    buffer[kTextBufferSize - 1] = '\0';
    return buffer;
}

void PluginHost::start(double sampleRate, std::int32_t blockSize) {
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    dispatch(effSetBlockSize, 0, blockSize);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    running_ = true;
}

void PluginHost::stop() {
    if (!running_) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    running_ = false;
}

std::optional<double> PluginHost::gainMeter() const {
    const VstIntPtr gainMeterIndex = kFirstMeterIndex + gainMeterSlot(effect_->numInputs);
    double value = 0.0;
    if (dispatch(effVendorSpecific, kMeterValueQuery, gainMeterIndex, &value) != 1) return std::nullopt;
    return value;
}
