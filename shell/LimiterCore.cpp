#include "shell/LimiterCore.h"

#include "shell/MeterQuery.h"
#include "shell/ParameterText.h"
#include "shell/PlainEditor.h"
#include "shell/TextCopy.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr std::int32_t kVendorVersion = 1000;
// The makeup gain is capped at +96 dB (a normalised value of 2.0): far beyond the +48 dB the control offers,
// yet small enough that no finite float sample times it overflows a double.
constexpr double kMaxMakeupGain = 63095.73444801943;

const char* const kParameterNames[kParameterCount] = {"Makeup", "Ceiling",   "RelSW",
                                                      "Rel",    "lt_ClipSW", "Monitor"};

// Zero and subnormal gains become exactly zero so they never slow the audio loop.
double flushed(double value) { return std::fpclassify(value) == FP_SUBNORMAL ? 0.0 : value; }

} // namespace

double makeupGainFor(float value) {
    double decibels = kMakeupRangeDb * static_cast<double>(value);
    if (decibels > -kMakeupDeadBandDb && decibels < kMakeupDeadBandDb) return 1.0;
    return std::min(flushed(std::pow(10.0, 0.05 * decibels)), kMaxMakeupGain);
}

double ceilingGainFor(float value) {
    double decibels = kCeilingRangeDb * static_cast<double>(value) - kCeilingRangeDb;
    if (decibels > -kCeilingDeadBandDb) return 1.0;
    return flushed(std::pow(10.0, 0.05 * decibels));
}

LimiterCore::LimiterCore(audioMasterCallback host)
    : EffectExt(host, kProgramCount, kParameterCount), programs_{}, path_(*this) {
    setInitialDelay(kLatencySamples);
    setChannelCounts(kChannelCount, kChannelCount);
    setUniqueId(kUniqueId);
    setFlag(effFlagsCanMono);
    setFlag(effFlagsCanReplacing);
    loadFactoryPrograms();
    setProgram(0);
    deriveSettings(valuesOf(currentProgram()), true);
}

void LimiterCore::loadFactoryPrograms() {
    std::copy(kFactoryPrograms, kFactoryPrograms + kProgramCount, programs_);
}

void LimiterCore::resetState() { path_.reset(); }

void LimiterCore::setMeterValue(std::int32_t index, float value) {
    if (!isMeterIndex(index)) return;
    path_.storeMeterValue(index, value);
    if (editor_) editor_->requestMeterRefresh(index - (kFirstMeterIndex - 1));
}

double LimiterCore::getMeterValue(std::int32_t index) { return path_.meterValue(index); }

void LimiterCore::publishMeter(std::int32_t index, float value) { setMeterValue(index, value); }

void LimiterCore::showParameter(std::int32_t index, float value) {
    if (editor_) editor_->parameterChanged(index, value);
}

void LimiterCore::setParameter(std::int32_t index, float value) {
    // A NaN or infinite value would turn the derived gains, and so every output sample, into NaN.
    if (!std::isfinite(value)) return;
    // The one store below is the whole change; the signal path derives its settings from it.
    LimiterProgram& current = currentProgram();
    switch (index) {
    case kMakeupParameter:
        current.makeup = value;
        break;
    case kCeilingParameter:
        current.ceiling = value;
        break;
    case kReleaseSwitchParameter:
        current.relSwitch = value;
        // The newly selected mode's release value applies again; it is stored already, so the editor only
        // hears of it (before it hears of the switch).
        showParameter(kReleaseParameter, value > 0.5f ? current.manualRelease : current.autoRelease);
        break;
    case kReleaseParameter:
        if (current.relSwitch > 0.5f)
            current.manualRelease = value;
        else
            current.autoRelease = value;
        break;
    case kClipSwitchParameter:
        current.clipSwitch = value;
        break;
    case kMonitorParameter:
        current.monitor = value;
        break;
    default:
        break;
    }
}

float LimiterCore::getParameter(std::int32_t index) {
    const LimiterProgram& current = currentProgram();
    switch (index) {
    case kMakeupParameter:
        return current.makeup;
    case kCeilingParameter:
        return current.ceiling;
    case kReleaseSwitchParameter:
        return current.relSwitch;
    case kReleaseParameter:
        return current.relSwitch > 0.5f ? current.manualRelease : current.autoRelease;
    case kClipSwitchParameter:
        return current.clipSwitch;
    case kMonitorParameter:
        return current.monitor;
    default:
        return 0.0f;
    }
}

LimiterCore::PathValues LimiterCore::valuesOf(const LimiterProgram& p) {
    return {p.makeup, p.ceiling, p.relSwitch, p.manualRelease, p.autoRelease, p.clipSwitch, p.monitor};
}

void LimiterCore::followStoredValues() {
    const PathValues values = valuesOf(currentProgram());
    if (std::memcmp(&values, &pathValues_, sizeof values) != 0) deriveSettings(values, false);
}

void LimiterCore::deriveSettings(const PathValues& values, bool all) {
    // Compared bit for bit: a value is derived again exactly when it is not the one derived from before.
    const auto changed = [&](const float& value, const float& before) {
        return all || std::memcmp(&value, &before, sizeof value) != 0;
    };
    const PathValues& before = pathValues_;
    if (changed(values.makeup, before.makeup)) path_.setMakeupGain(makeupGainFor(values.makeup));
    if (changed(values.ceiling, before.ceiling)) path_.setCeilingGain(ceilingGainFor(values.ceiling));
    if (changed(values.relSwitch, before.relSwitch)) path_.setReleaseSwitch(values.relSwitch);
    if (changed(values.manualRelease, before.manualRelease)) path_.applyManualRelease(values.manualRelease);
    if (changed(values.autoRelease, before.autoRelease)) path_.applyAutoRelease(values.autoRelease);
    if (changed(values.clipSwitch, before.clipSwitch)) path_.setClipSwitch(values.clipSwitch);
    if (changed(values.monitor, before.monitor)) path_.setMonitor(values.monitor);
    pathValues_ = values;
}

void LimiterCore::process(float** inputs, float** outputs, std::int32_t frames) {
    followStoredValues();
    path_.processAccumulating(inputs, outputs, frames);
}

void LimiterCore::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    followStoredValues();
    path_.processReplacing(inputs, outputs, frames);
}

void LimiterCore::setProgram(std::int32_t program) {
    if (program < 0 || program >= kProgramCount) return;
    // The selected program's slot is the live state from here on: nothing is copied or written, so a
    // parameter change racing the selection lands in one program or the other, whole.
    currentProgram_.store(program, std::memory_order_relaxed);
    // The editor hears of the values as if each were applied in turn: the release value (for the switch,
    // then again for itself), makeup, ceiling, monitor and shape.
    const LimiterProgram& selected = programs_[program];
    const float release = selected.relSwitch > 0.5f ? selected.manualRelease : selected.autoRelease;
    showParameter(kReleaseParameter, release);
    showParameter(kReleaseSwitchParameter, selected.relSwitch);
    showParameter(kReleaseParameter, release);
    showParameter(kMakeupParameter, selected.makeup);
    showParameter(kCeilingParameter, selected.ceiling);
    showParameter(kMonitorParameter, selected.monitor);
    showParameter(kClipSwitchParameter, selected.clipSwitch);
}

void LimiterCore::setProgramName(char* name) { copyText(currentProgram().name, name, kProgramNameSize); }

void LimiterCore::getProgramName(char* name) { copyText(name, currentProgram().name, kProgramNameSize); }

void LimiterCore::getParamDisplay(std::int32_t index, char* text) {
    const LimiterProgram& current = currentProgram();
    switch (index) {
    case kMakeupParameter:
        formatMakeup(current.makeup, text);
        break;
    case kCeilingParameter:
        formatCeiling(current.ceiling, text);
        break;
    case kReleaseSwitchParameter:
        formatReleaseSwitch(current.relSwitch, text);
        break;
    case kReleaseParameter:
        if (current.relSwitch > 0.5f)
            formatReleaseTime(current.manualRelease, text);
        else
            formatReleaseAuto(current.autoRelease, text);
        break;
    case kClipSwitchParameter:
        formatClipSwitch(current.clipSwitch, text);
        break;
    case kMonitorParameter:
        formatMonitor(current.monitor, text);
        break;
    default:
        text[0] = '\0';
        break;
    }
}

void LimiterCore::getParamName(std::int32_t index, char* text) {
    if (index >= 0 && index < kParameterCount)
        std::strcpy(text, kParameterNames[index]);
    else
        text[0] = '\0';
}

void LimiterCore::setSampleRate(float sampleRate) {
    EffectExt::setSampleRate(sampleRate);
    path_.setSampleRate(sampleRate);
}

void LimiterCore::suspend() { resetState(); }

void LimiterCore::resume() { resetState(); }

bool LimiterCore::getProgramNameIndexed(std::int32_t, std::int32_t index, char* text) {
    if (index < 0 || index >= kProgramCount) return false;
    copyText(text, programs_[index].name, kProgramNameSize);
    return true;
}

std::int32_t LimiterCore::getPlugCategory() { return kPlugCategEffect; }

bool LimiterCore::getEffectName(char* name) {
    std::strcpy(name, kEffectName);
    return true;
}

bool LimiterCore::getVendorString(char* text) {
    std::strcpy(text, kVendorName);
    return true;
}

bool LimiterCore::getProductString(char* text) {
    std::strcpy(text, kEffectName);
    return true;
}

std::int32_t LimiterCore::getVendorVersion() { return kVendorVersion; }

VstIntPtr LimiterCore::vendorSpecific(std::int32_t index, VstIntPtr value, void* ptr, float) {
    // The range is checked on the full pointer-sized value, so no wider number aliases a meter index.
    if (index != kMeterValueQuery || !ptr || value < kFirstMeterIndex ||
        value >= kFirstMeterIndex + kMeterCount)
        return 0;
    *static_cast<double*>(ptr) = getMeterValue(static_cast<std::int32_t>(value));
    return 1;
}
