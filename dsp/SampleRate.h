#pragma once

#include <cfloat>

// The sample rates the signal path takes: finite and at least 1 Hz. No host runs below that, and below 0.5 Hz
// the DC blocker's coefficient 1 / fs would make it unstable. The formats ignore every other rate too.
inline bool isUsableSampleRate(float fs) { return fs >= 1.0f && fs <= FLT_MAX; }
