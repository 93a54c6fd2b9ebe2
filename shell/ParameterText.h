// The texts the host and the editor show for the parameters' normalised values. Each writes at most
// kParameterTextSize bytes including the terminator, whatever the value; in range no text exceeds 6
// characters.
#pragma once

#include <cstddef>

constexpr std::size_t kParameterTextSize = 8;

// The scale constants are single-precision values; the arithmetic on them runs in double precision.
constexpr double kMakeupRangeDb = static_cast<double>(48.0f);
constexpr double kMakeupDeadBandDb = static_cast<double>(0.1f);
constexpr double kCeilingRangeDb = static_cast<double>(6.0f);
constexpr double kCeilingDeadBandDb = static_cast<double>(0.01f);
constexpr double kReleaseSpanMs = static_cast<double>(999.99f);
constexpr double kShortestReleaseMs = static_cast<double>(0.01f);

void formatMakeup(float value, char* text);        // dB, "0.0" inside the +-0.1 dB dead band
void formatCeiling(float value, char* text);       // dB, "0.00" above -0.01 dB
void formatReleaseSwitch(float value, char* text); // "auto" / "manual"
void formatReleaseTime(float value, char* text);   // manual release in ms
void formatReleaseAuto(float value, char* text);   // auto release depth: "min", " 40 %", "max"
void formatClipSwitch(float value, char* text);    // "soft", "2", "3", "4", "hard"
void formatMonitor(float value, char* text);       // "on" / "bypass"
