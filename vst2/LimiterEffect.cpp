#include "vst2/LimiterEffect.h"

#include "core/TextCopy.h"
#include "vst2/MeterQuery.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::int32_t kUniqueId =
    kStereoBuild ? fourCharCode('o', 'v', '0', '8') : fourCharCode('o', 'v', '0', '9');

// The ids of the indexes other than "Rel", which follows the release switch.
constexpr ParameterId kIndexIds[kVstParameterCount] = {ParameterId::kMakeup,        ParameterId::kCeiling,
                                                       ParameterId::kReleaseSwitch, ParameterId::kAutoRelease,
                                                       ParameterId::kClipSwitch,    ParameterId::kMonitor};

constexpr const char* kReleaseName = "Rel";

ParameterId releaseIdFor(float relSwitch) {
    return relSwitch > 0.5f ? ParameterId::kManualRelease : ParameterId::kAutoRelease;
}

std::int32_t indexOf(ParameterId id) {
    switch (id) {
    case ParameterId::kAutoRelease:
    case ParameterId::kManualRelease:
        return kVstReleaseIndex;
    default:
        for (std::int32_t index = 0; index < kVstParameterCount; ++index)
            if (kIndexIds[index] == id) return index;
        return -1;
    }
}

} // namespace

LimiterEffect::LimiterEffect(audioMasterCallback host) : EffectExt(host, kProgramCount, kVstParameterCount) {
    setInitialDelay(LimiterCore::latency());
    setChannelCounts(kChannelCount, kChannelCount);
    setUniqueId(kUniqueId);
    setFlag(effFlagsCanMono);
    setFlag(effFlagsCanReplacing);
    std::unique_ptr<PluginEditor> editor;
    editorFailed_ = !makeEditor(*this, editor);
    if (editor) registerEditor(std::move(editor));
}

// The editor goes first: whatever it still tells the effect on its way out finds the effect whole.
LimiterEffect::~LimiterEffect() { editor_.reset(); }

bool LimiterEffect::idOfIndex(std::int32_t index, ParameterId& id) const {
    if (index < 0 || index >= kVstParameterCount) return false;
    id =
        index == kVstReleaseIndex ? releaseIdFor(core_.value(ParameterId::kReleaseSwitch)) : kIndexIds[index];
    return true;
}

void LimiterEffect::showParameter(ParameterId id) {
    if (editor_) editor_->parameterChanged(id);
}

void LimiterEffect::setParameter(std::int32_t index, float value) {
    if (!std::isfinite(value)) return;
    ParameterId id;
    if (!idOfIndex(index, id)) return;
    core_.setValue(id, value);
    if (id == ParameterId::kReleaseSwitch) {
        // The newly selected mode's release value applies again; it is stored already, so the editor only
        // hears of it (before it hears of the switch).
        showParameter(releaseIdFor(value));
    }
    showParameter(id);
}

float LimiterEffect::getParameter(std::int32_t index) {
    ParameterId id;
    return idOfIndex(index, id) ? core_.value(id) : 0.0f;
}

void LimiterEffect::process(float** inputs, float** outputs, std::int32_t frames) {
    core_.processAccumulating(inputs, outputs, frames);
}

void LimiterEffect::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    core_.process(inputs, outputs, frames);
}

std::int32_t LimiterEffect::getProgram() { return core_.currentProgram(); }

void LimiterEffect::setProgram(std::int32_t program) {
    core_.selectProgram(program);
    // The editor hears of the values as if each were applied in turn: the release value (for the switch,
    // then again for itself), makeup, ceiling, monitor and shape.
    const ParameterId release = releaseIdFor(core_.value(ParameterId::kReleaseSwitch));
    for (ParameterId id : {release, ParameterId::kReleaseSwitch, release, ParameterId::kMakeup,
                           ParameterId::kCeiling, ParameterId::kMonitor, ParameterId::kClipSwitch})
        showParameter(id);
}

void LimiterEffect::setProgramName(char* name) { core_.renameProgram(name); }

void LimiterEffect::getProgramName(char* name) { core_.programName(core_.currentProgram(), name); }

void LimiterEffect::getParamDisplay(std::int32_t index, char* text) {
    ParameterId id;
    if (idOfIndex(index, id))
        formatParameter(id, core_.value(id), text);
    else
        text[0] = '\0';
}

void LimiterEffect::getParamName(std::int32_t index, char* text) {
    ParameterId id;
    if (!idOfIndex(index, id))
        text[0] = '\0';
    else
        std::strcpy(text, index == kVstReleaseIndex ? kReleaseName : parameterInfo(id).name);
}

void LimiterEffect::setSampleRate(float sampleRate) {
    EffectExt::setSampleRate(sampleRate);
    core_.setSampleRate(static_cast<double>(sampleRate));
}

void LimiterEffect::suspend() { core_.reset(); }

void LimiterEffect::resume() { core_.reset(); }

bool LimiterEffect::getProgramNameIndexed(std::int32_t, std::int32_t index, char* text) {
    if (index < 0 || index >= kProgramCount) return false;
    core_.programName(index, text);
    return true;
}

std::int32_t LimiterEffect::getPlugCategory() { return kPlugCategEffect; }

bool LimiterEffect::getEffectName(char* name) {
    std::strcpy(name, kEffectName);
    return true;
}

bool LimiterEffect::getVendorString(char* text) {
    std::strcpy(text, kVendorName);
    return true;
}

bool LimiterEffect::getProductString(char* text) {
    std::strcpy(text, kEffectName);
    return true;
}

std::int32_t LimiterEffect::getVendorVersion() { return kVendorVersion; }

VstIntPtr LimiterEffect::vendorSpecific(std::int32_t index, VstIntPtr value, void* ptr, float) {
    // The range is checked on the full pointer-sized value, so no wider number aliases a meter index.
    if (index != kMeterValueQuery || !ptr || value < kFirstMeterIndex ||
        value >= kFirstMeterIndex + kMeterCount)
        return 0;
    *static_cast<double*>(ptr) = core_.meterValue(static_cast<int>(value - kFirstMeterIndex));
    return 1;
}

float LimiterEffect::value(ParameterId id) { return core_.value(id); }

void LimiterEffect::beginEdit(ParameterId id) { EffectBase::beginEdit(indexOf(id)); }

void LimiterEffect::performEdit(ParameterId id, float value) { automateParameter(indexOf(id), value); }

void LimiterEffect::endEdit(ParameterId id) { EffectBase::endEdit(indexOf(id)); }

double LimiterEffect::meterValue(int slot) { return core_.meterValue(slot); }

void LimiterEffect::dragIdle() { masterIdle(); }
