// The limiter effect without its editor: parameter state and mappings, the program bank, the meter-value
// store, and the signal path that the record's process entries drive.
//
// Threads: process/processReplacing on the audio thread; setParameter from the audio or the user-interface
// thread; everything else on the host's user-interface thread. Parameter values are single relaxed stores.
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

    double makeupGain() const { return makeupGain_.load(std::memory_order_relaxed); }
    double ceilingGain() const { return ceilingGain_.load(std::memory_order_relaxed); }
    const LimiterProgram& program(std::int32_t index) const { return programs_[index]; }
    const LimiterPath<kChannelCount>& signalPath() const { return path_; }

  private:
    void publishMeter(std::int32_t index, float value) override;
    static bool isMeterIndex(std::int32_t index) {
        return index >= kFirstMeterIndex && index < kFirstMeterIndex + kMeterCount;
    }

    LimiterProgram programs_[kProgramCount];
    LimiterPath<kChannelCount> path_;
    std::atomic<float> makeup_{0.0f};
    std::atomic<double> makeupGain_{1.0};
    std::atomic<float> ceiling_{0.0f};
    std::atomic<double> ceilingGain_{1.0};
    std::atomic<float> relSwitch_{0.0f};
    std::atomic<float> manualRelease_{0.0f};
    std::atomic<float> autoRelease_{0.0f};
    std::atomic<float> clipSwitch_{0.0f};
    std::atomic<float> monitor_{0.0f};
};
