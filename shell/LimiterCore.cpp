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

constexpr auto relaxed = std::memory_order_relaxed;
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

void LimiterCore::setParameter(std::int32_t index, float value) {
    // A NaN or infinite value would turn the derived gains, and so every output sample, into NaN.
    if (!std::isfinite(value)) return;
    LimiterProgram& current = programs_[currentProgram_];
    switch (index) {
    case kMakeupParameter:
        current.makeup = value;
        makeup_.store(value, relaxed);
        makeupGain_.store(makeupGainFor(value), relaxed);
        path_.setMakeupGain(makeupGain());
        break;
    case kCeilingParameter:
        current.ceiling = value;
        ceiling_.store(value, relaxed);
        ceilingGain_.store(ceilingGainFor(value), relaxed);
        path_.setCeilingGain(ceilingGain());
        break;
    case kReleaseSwitchParameter:
        current.relSwitch = value;
        relSwitch_.store(value, relaxed);
        path_.setReleaseSwitch(value);
        // Re-applies the release value the newly selected mode last had (through the override, so an editor
        // hears of it).
        setParameter(kReleaseParameter,
                     value > 0.5f ? manualRelease_.load(relaxed) : autoRelease_.load(relaxed));
        break;
    case kReleaseParameter:
        if (relSwitch_.load(relaxed) > 0.5f)
            manualRelease_.store(value, relaxed);
        else
            autoRelease_.store(value, relaxed);
        path_.applyManualRelease(manualRelease_.load(relaxed));
        path_.applyAutoRelease(autoRelease_.load(relaxed));
        current.manualRelease = manualRelease_.load(relaxed);
        current.autoRelease = autoRelease_.load(relaxed);
        break;
    case kClipSwitchParameter:
        current.clipSwitch = value;
        clipSwitch_.store(value, relaxed);
        path_.setClipSwitch(value);
        break;
    case kMonitorParameter:
        current.monitor = value;
        monitor_.store(value, relaxed);
        path_.setMonitor(value);
        break;
    default:
        break;
    }
}

float LimiterCore::getParameter(std::int32_t index) {
    switch (index) {
    case kMakeupParameter:
        return makeup_.load(relaxed);
    case kCeilingParameter:
        return ceiling_.load(relaxed);
    case kReleaseSwitchParameter:
        return relSwitch_.load(relaxed);
    case kReleaseParameter:
        return relSwitch_.load(relaxed) > 0.5f ? manualRelease_.load(relaxed) : autoRelease_.load(relaxed);
    case kClipSwitchParameter:
        return clipSwitch_.load(relaxed);
    case kMonitorParameter:
        return monitor_.load(relaxed);
    default:
        return 0.0f;
    }
}

void LimiterCore::process(float** inputs, float** outputs, std::int32_t frames) {
    path_.processAccumulating(inputs, outputs, frames);
}

void LimiterCore::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    path_.processReplacing(inputs, outputs, frames);
}

void LimiterCore::setProgram(std::int32_t program) {
    if (program < 0 || program >= kProgramCount) return;
    currentProgram_ = program;
    const LimiterProgram& selected = programs_[program];
    manualRelease_.store(selected.manualRelease, relaxed);
    autoRelease_.store(selected.autoRelease, relaxed);
    // Each write below lands in the selected program itself and stores the value it already holds, so
    // selecting a program leaves it unchanged.
    setParameter(kReleaseSwitchParameter, selected.relSwitch);
    setParameter(kReleaseParameter,
                 selected.relSwitch > 0.5f ? manualRelease_.load(relaxed) : autoRelease_.load(relaxed));
    setParameter(kMakeupParameter, selected.makeup);
    setParameter(kCeilingParameter, selected.ceiling);
    setParameter(kMonitorParameter, selected.monitor);
    setParameter(kClipSwitchParameter, selected.clipSwitch);
}

void LimiterCore::setProgramName(char* name) {
    copyText(programs_[currentProgram_].name, name, kProgramNameSize);
}

void LimiterCore::getProgramName(char* name) {
    copyText(name, programs_[currentProgram_].name, kProgramNameSize);
}

void LimiterCore::getParamLabel(std::int32_t index, char* label) {
    if (index >= 0 && index < kParameterCount) label[0] = '\0';
}

void LimiterCore::getParamDisplay(std::int32_t index, char* text) {
    switch (index) {
    case kMakeupParameter:
        formatMakeup(makeup_.load(relaxed), text);
        break;
    case kCeilingParameter:
        formatCeiling(ceiling_.load(relaxed), text);
        break;
    case kReleaseSwitchParameter:
        formatReleaseSwitch(relSwitch_.load(relaxed), text);
        break;
    case kReleaseParameter:
        if (relSwitch_.load(relaxed) > 0.5f)
            formatReleaseTime(manualRelease_.load(relaxed), text);
        else
            formatReleaseAuto(autoRelease_.load(relaxed), text);
        break;
    case kClipSwitchParameter:
        formatClipSwitch(clipSwitch_.load(relaxed), text);
        break;
    case kMonitorParameter:
        formatMonitor(monitor_.load(relaxed), text);
        break;
    default:
        break;
    }
}

void LimiterCore::getParamName(std::int32_t index, char* text) {
    if (index >= 0 && index < kParameterCount) std::strcpy(text, kParameterNames[index]);
}

void LimiterCore::setSampleRate(float sampleRate) {
    if (!isUsableSampleRate(sampleRate)) return;
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
