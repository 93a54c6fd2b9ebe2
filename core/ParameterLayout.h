// The effect's parameters and meters, declared once: every format, the editor and the qv3 command take ids,
// names, defaults, steps, texts and meter slots from here.
//
// Values are normalised floats, 0.0 to 1.0 (hosts may store values beyond that range; the mappings bound what
// they must). Every function here is pure and may be called from any thread.
#pragma once

#include "dsp/Nonblocking.h"

#include <cstddef>
#include <cstdint>

// Stable ids: formats publish them as they are, so an id never changes its meaning. The release has one id
// per mode; only the VST 2.x layer shows a single "Rel" that follows the release switch.
enum class ParameterId : std::uint32_t {
    kMakeup = 0,
    kCeiling = 1,
    kReleaseSwitch = 2,
    kAutoRelease = 3,
    kManualRelease = 4,
    kClipSwitch = 5,
    kMonitor = 6,
};
constexpr int kParameterIdCount = 7;

struct ParameterInfo {
    ParameterId id;
    const char* name;   // "Makeup", "Ceiling", "RelSW", "Rel auto", "Rel manual", "lt_ClipSW", "Monitor"
    float defaultValue; // the "Default" program's value
    int stepCount;      // 0 for a continuous value; otherwise the number of texts it shows less one
};

// True for the ids above; formats check a host's id with it before converting.
bool isParameterId(std::uint32_t id) QV3_NONBLOCKING;
const ParameterInfo& parameterInfo(ParameterId id) QV3_NONBLOCKING;

// Stepped parameters (RelSW, lt_ClipSW, Monitor): the normalised value of step 0..stepCount, as the VST 2.x
// build and its editor use them, and the step whose text a normalised value shows.
float valueOfStep(ParameterId id, int step) QV3_NONBLOCKING;
int stepOfValue(ParameterId id, float value) QV3_NONBLOCKING;

// At most kParameterTextSize bytes including the terminator, whatever the value.
constexpr std::size_t kParameterTextSize = 8;
void formatParameter(ParameterId id, float value, char* text);
// Reads what formatParameter shows ("-0.30", " 40 %", "min", "manual", "hard") and plain numbers in the
// parameter's unit (dB, ms, percent) or step texts; leading and trailing spaces are ignored. Numbers beyond
// the range are clamped into it. False, with `value` untouched, for text that is none of these.
bool parseParameter(ParameterId id, const char* text, float& value);

// Meter slots as the signal path publishes them: stereo in L, in R, gain, out L, out R; mono in, gain, out.
// Levels are linear magnitudes, the gain a linear factor (1.0 = no reduction); all capped at 1.0.
constexpr int kStereoMeterCount = 5;
constexpr int kMonoMeterCount = 3;
constexpr int gainMeterSlot(int channels) { return channels == 2 ? 2 : 1; }

constexpr std::int32_t kLatencySamples = 39;
