// The texts shown for the parameters' normalised values, by the hosts and the editor. Each writes at most
// kParameterTextSize bytes including the terminator, whatever the value; in range no text exceeds 6
// characters.
#pragma once

#include "core/ParameterLayout.h"

void formatMakeup(float value, char* text);        // dB, "0.0" inside the +-0.1 dB dead band
void formatCeiling(float value, char* text);       // dB, "0.00" above -0.01 dB
void formatReleaseSwitch(float value, char* text); // "auto" / "manual"
void formatReleaseTime(float value, char* text);   // manual release in ms
void formatReleaseAuto(float value, char* text);   // auto release depth: "min", " 40 %", "max"
void formatClipSwitch(float value, char* text);    // "soft", "2", "3", "4", "hard"
void formatMonitor(float value, char* text);       // "on" / "bypass"
