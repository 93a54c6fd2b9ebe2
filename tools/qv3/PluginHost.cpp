#include "PluginHost.h"

#include "vst2/MeterQuery.h"

#include <cstring>
#include <stdexcept>

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
    // Our meter slots start at 6 with the input peaks, one per input channel; the gain meter follows them.
    VstIntPtr gainMeterIndex = 6 + effect_->numInputs;
    double value = 0.0;
    if (dispatch(effVendorSpecific, kMeterValueQuery, gainMeterIndex, &value) != 1) return std::nullopt;
    return value;
}
