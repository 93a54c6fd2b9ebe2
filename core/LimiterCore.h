// The limiter effect without any plug-in format: the program bank (whose current slot holds the live
// parameter values), the signal path, meters, and a versioned state. Every format is a thin layer over it.
//
// Threads:
// - process and processAccumulating: the audio thread. They never allocate, lock or call the system.
// - value, setValue, selectProgram, meterValue: any thread; each is single relaxed loads or stores, so any
//   interleaving leaves the values as some order of the calls would.
// - setSampleRate and reset: while audio is stopped.
// - saveState, loadState, renameProgram, setListener: the host's main (user-interface) thread.
//
// One source of truth per parameter: the current program's slot. At the start of each block (and each
// sub-block a format splits off at an event) the audio thread derives the signal path's settings again where
// the stored values differ from those it last derived from.
#pragma once

#include "core/BuildConfig.h"
#include "core/LimiterProgram.h"
#include "core/ParameterLayout.h"
#include "dsp/LimiterPath.h"
#include "dsp/Nonblocking.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// Hears of values that changed without a setValue of its own: a program was selected or a state loaded. It
// may be called on any thread, the audio thread included, so an implementation only records the change.
class ValueListener {
  public:
    virtual void valueChanged(ParameterId id, float value) QV3_NONBLOCKING = 0;

  protected:
    ~ValueListener() = default;
};

class LimiterCore final : private MeterPublisher {
  public:
    static constexpr int kChannels = kChannelCount;

    // The factory bank, program 0 "Default", 44100 Hz.
    LimiterCore();
    LimiterCore(const LimiterCore&) = delete;
    LimiterCore& operator=(const LimiterCore&) = delete;

    // While stopped. Rates that are not finite or below 1 Hz are ignored.
    void setSampleRate(double sampleRate);
    // Clears the running state of the signal path (suspend, resume, activate, reset); values stay.
    void reset();
    static constexpr std::int32_t latency() { return kLatencySamples; }

    // Audio thread: any number of frames (0 does nothing), outputs may be the inputs. Callable on sub-blocks,
    // so a format can split a block where a parameter event falls.
    void process(const float* const* inputs, float* const* outputs, std::int32_t frames) QV3_NONBLOCKING;
    // Adds the processed signal to the outputs (the VST 2.x accumulating entry).
    void processAccumulating(const float* const* inputs, float* const* outputs,
                             std::int32_t frames) QV3_NONBLOCKING;

    float value(ParameterId id) const QV3_NONBLOCKING;
    // Stores into the current program; NaN and infinite values are dropped.
    void setValue(ParameterId id, float value) QV3_NONBLOCKING;

    static constexpr int programCount() { return kProgramCount; }
    int currentProgram() const;
    // Out-of-range indexes are ignored. Tells the listener of all seven values of the selected program.
    void selectProgram(int index) QV3_NONBLOCKING;
    // Copies the name of program `index` (at most kProgramNameSize bytes with the terminator); "" when out of
    // range.
    void programName(int index, char* name) const;
    // Renames the current program, keeping what fits.
    void renameProgram(const char* name);

    // The whole bank and the current program in this build's versioned layout (stereo and mono differ by a
    // variant field): "QV3S", version, variant (channel count), current program, then per program its seven
    // values in ParameterId order and its name field; numbers little-endian.
    std::vector<std::uint8_t> saveState() const;
    // False, and nothing changed, for a state that is truncated, corrupt (bad tag, non-finite value,
    // unterminated name, program out of range), of a newer version or of the other variant. On success
    // the listener hears the seven values of the restored current program.
    bool loadState(const void* data, std::size_t size);

    // Any thread: the latest published reading of a meter slot (ParameterLayout.h); 0.0 for another slot.
    double meterValue(int slot) const;
    static constexpr int meterCount() { return kMeterCount; }

    void setListener(ValueListener* listener);

    const LimiterProgram& program(int index) const { return programs_[index]; }
    const LimiterPath<kChannelCount>& signalPath() const { return path_; }

  private:
    // Implementation details are the core's own; formats use only what is above.
    void publishMeter(std::int32_t index, float value) QV3_NONBLOCKING override;

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

    LimiterProgram& currentSlot() { return programs_[currentProgram_.load(std::memory_order_relaxed)]; }
    const LimiterProgram& currentSlot() const {
        return programs_[currentProgram_.load(std::memory_order_relaxed)];
    }
    static PathValues valuesOf(const LimiterProgram& program);
    // Audio thread, at the start of a block: derives the signal path's settings again where the current
    // program's values differ from those they were derived from. One comparison when nothing changed.
    void followStoredValues() QV3_NONBLOCKING;
    // Derives the settings from `values`: all of them, or those whose value differs from pathValues_.
    void deriveSettings(const PathValues& values, bool all) QV3_NONBLOCKING;
    // Tells the listener, if any, of the seven values of the current program.
    void announceCurrentProgram() QV3_NONBLOCKING;

    LimiterProgram programs_[kProgramCount];
    LimiterPath<kChannelCount> path_;
    // Switched by program selection while other threads read it.
    std::atomic<int> currentProgram_{0};
    std::atomic<ValueListener*> listener_{nullptr};
    // Written only where the signal path's settings are (the audio thread, or construction).
    PathValues pathValues_{};
};
