// The LV2 face of the effect: its URIs, its ports, and the exact mapping between the values hosts read and
// write on the control ports (dB, ms, percent, step numbers) and the core's normalised values.
//
// The plug-in maps with it at run time and the generator of the bundle's Turtle files writes ranges, defaults
// and presets with it, so every value the bundle publishes is read back by the function that produced it.
// Everything here is pure; any thread may call it.
#pragma once

#include "core/LimiterCore.h"
#include "core/ParameterLayout.h"

#include <cstdint>

// What hosts and saved sessions refer to: never changes.
constexpr const char* kStereoPluginUri = "urn:tarnwick:orvanta-qv3";
constexpr const char* kMonoPluginUri = "urn:tarnwick:orvanta-qv3mono";

// Port indexes: the seven controls at their ParameterId, the latency output, the audio inputs, the audio
// outputs.
constexpr std::uint32_t kLatencyPort = kParameterIdCount;
constexpr std::uint32_t kFirstAudioPort = kLatencyPort + 1;
constexpr std::uint32_t audioInputPort(int channel) {
    return kFirstAudioPort + static_cast<std::uint32_t>(channel);
}
constexpr std::uint32_t audioOutputPort(int channels, int channel) {
    return kFirstAudioPort + static_cast<std::uint32_t>(channels + channel);
}
constexpr std::uint32_t portCount(int channels) {
    return kFirstAudioPort + 2 * static_cast<std::uint32_t>(channels);
}

// What a control port's value is: a number in a unit, a step number with a label per step, or a switch
// (off at zero and below, on above it).
enum class PortKind { kDecibels, kMilliseconds, kPercent, kEnumeration, kToggle };

struct ControlPortInfo {
    const char* symbol;
    PortKind kind;
};
const ControlPortInfo& controlPortInfo(ParameterId id);

// The port value that stands for a normalised value: the number in the port's unit, rounded to float, or the
// step number whose text the value shows.
float portValueOf(ParameterId id, float normalised);
// The port's range: the port values of normalised 0 and 1 (the first and last step).
float portMinimum(ParameterId id) QV3_NONBLOCKING;
float portMaximum(ParameterId id) QV3_NONBLOCKING;

// From port values back to normalised values. A float in dB cannot name every normalised value: from 1 dB to
// 1.5 dB two neighbouring dB floats lie one and a half normalised steps apart, and some factory values fall
// between. So a port value that is exactly the port value of a factory program's value stands for that value;
// any other maps by the unit's arithmetic.
class PortMapping {
  public:
    // Reads the factory bank from a core that still holds it: selects each program in turn, then program 0.
    explicit PortMapping(LimiterCore& freshCore);

    // Bounded to the port's range; NaN stays NaN, which the core drops.
    float normalisedOf(ParameterId id, float portValue) const QV3_NONBLOCKING;

  private:
    float factoryNormalised_[LimiterCore::programCount()][kParameterIdCount];
    float factoryPort_[LimiterCore::programCount()][kParameterIdCount];
};
