// The limiter effect without its editor: parameter state and mappings, the program bank, the meter-value
// store, and the signal path that the record's process entries drive.
//
// Threads: process/processReplacing on the audio thread; setParameter from the audio thread or any other;
// setProgram from any thread; everything else on the host's user-interface thread.
//
// One source of truth per parameter: the current program's slot in the bank is the live value. setParameter
// is one relaxed store into that slot, setProgram one relaxed store of the current program's index, so any
// interleaving of them leaves the values as some order of the calls would. Nothing derived is stored beside
// them: the gains and the detector coefficients are derived where they are used. At the start of each block
// the audio thread compares the current program's values with those it last derived the signal path's
// settings from and derives again what changed; it never waits for anything.
#pragma once

#include "dsp/LimiterPath.h"
#include "shell/BuildConfig.h"
#include "shell/EffectExt.h"
#include "shell/LimiterProgram.h"

#include <atomic>
#include <cstdint>

constexpr int kParameterCount = 6;
enum ParameterIndex : std::int32_t {
    kMakeupParameter = 0,
    kCeilingParameter = 1,
    kReleaseSwitchParameter = 2,
    kReleaseParameter = 3,
    kClipSwitchParameter = 4,
    kMonitorParameter = 5,
};
constexpr std::int32_t kFirstMeterIndex = 6;
constexpr std::int32_t kLatencySamples = 39;

// Linear gains derived from the normalised makeup and ceiling values.
double makeupGainFor(float value);
double ceilingGainFor(float value);

class LimiterCore : public EffectExt, private MeterPublisher {
  public:
    explicit LimiterCore(audioMasterCallback host);

    void setMeterValue(std::int32_t index, float value) override;
    double getMeterValue(std::int32_t index) override;
    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    void process(float** inputs, float** outputs, std::int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override;
    void setProgram(std::int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    // Value texts and names; an unknown index gets the empty text, so the host's buffer is always terminated.
    // Labels are empty for every index, the base's answer.
    void getParamDisplay(std::int32_t index, char* text) override;
    void getParamName(std::int32_t index, char* text) override;
    void setSampleRate(float sampleRate) override;
    void suspend() override;
    void resume() override;

    bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) override;
    std::int32_t getPlugCategory() override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    std::int32_t getVendorVersion() override;
    VstIntPtr vendorSpecific(std::int32_t index, VstIntPtr value, void* ptr, float opt) override;

    void loadFactoryPrograms();
    // Clears the running state of the signal path; parameters and programs stay.
    void resetState();

    // The gains that correspond to the stored makeup and ceiling values (the signal path applies them from
    // its next block on).
    double makeupGain() const { return makeupGainFor(currentProgram().makeup); }
    double ceilingGain() const { return ceilingGainFor(currentProgram().ceiling); }
    const LimiterProgram& program(std::int32_t index) const { return programs_[index]; }
    const LimiterPath<kChannelCount>& signalPath() const { return path_; }

  private:
    // The values the signal path's settings were last derived from.
    struct PathValues {
        float makeup;
        float ceiling;
        float relSwitch;
        float manualRelease;
        float autoRelease;
        float clipSwitch;
        float monitor;
    };

    void publishMeter(std::int32_t index, float value) override;
    static bool isMeterIndex(std::int32_t index) {
        return index >= kFirstMeterIndex && index < kFirstMeterIndex + kMeterCount;
    }
    LimiterProgram& currentProgram() { return programs_[currentProgram_.load(std::memory_order_relaxed)]; }
    const LimiterProgram& currentProgram() const {
        return programs_[currentProgram_.load(std::memory_order_relaxed)];
    }
    static PathValues valuesOf(const LimiterProgram& program);
    // Audio thread, at the start of a block: derives the signal path's settings again where the current
    // program's values differ from those they were derived from. One comparison when nothing changed.
    void followStoredValues();
    // Derives the settings from `values`: all of them, or those whose value differs from pathValues_.
    void deriveSettings(const PathValues& values, bool all);
    // Tells the editor, if there is one, of a value it has not been told of through setParameter.
    void showParameter(std::int32_t index, float value);

    LimiterProgram programs_[kProgramCount];
    LimiterPath<kChannelCount> path_;
    // Written only where the signal path's settings are (the audio thread, or construction).
    PathValues pathValues_{};
};
