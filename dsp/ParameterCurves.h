// The curves from normalised parameter values (0.0 to 1.0) to what the signal path works with: gains, release
// and attack times. The effect's texts show the same curves, so both take them from here.
//
// Pure functions; any thread.
#pragma once

#include "dsp/Flush.h"

#include <algorithm>
#include <cmath>

// The scales as single-precision values, as the texts have always computed with them; the arithmetic on them
// runs in double precision.
constexpr double kMakeupRangeDb = static_cast<double>(48.0f);
constexpr double kMakeupDeadBandDb = static_cast<double>(0.1f);
constexpr double kCeilingRangeDb = static_cast<double>(6.0f);
constexpr double kCeilingDeadBandDb = static_cast<double>(0.01f);

// The makeup gain is capped at +96 dB (a normalised value of 2.0): far beyond the +48 dB the control offers,
// yet small enough that no finite float sample times it overflows a double.
constexpr double kMaxMakeupGain = 63095.73444801943;

// Makeup in dB: 0 to +48; inside the +-0.1 dB dead band it counts as 0 dB.
inline double makeupDecibels(float v) { return kMakeupRangeDb * static_cast<double>(v); }
inline bool inMakeupDeadBand(double decibels) {
    return decibels > -kMakeupDeadBandDb && decibels < kMakeupDeadBandDb;
}

// Ceiling in dB: -6 to 0; above -0.01 dB it counts as 0 dB.
inline double ceilingDecibels(float v) { return kCeilingRangeDb * static_cast<double>(v) - kCeilingRangeDb; }
inline bool inCeilingDeadBand(double decibels) { return decibels > -kCeilingDeadBandDb; }

// Linear gains; zero and subnormal gains become exactly zero so they never slow the audio loop.
inline double makeupGainFor(float v) {
    const double decibels = makeupDecibels(v);
    if (inMakeupDeadBand(decibels)) return 1.0;
    return std::min(flushToZero(std::pow(10.0, 0.05 * decibels)), kMaxMakeupGain);
}

inline double ceilingGainFor(float v) {
    const double decibels = ceilingDecibels(v);
    if (inCeilingDeadBand(decibels)) return 1.0;
    return flushToZero(std::pow(10.0, 0.05 * decibels));
}

// Manual release time in milliseconds for cube = v^3 of the normalised value v: 0.01 ms at 0, 1000 ms at 1.
// Constant is the precision of the two constants: the detector takes them as written (double), the texts in
// single precision, where 999.99 + 0.01 stays just below 1000, so the top of the range reads "999".
template <class Constant> double manualReleaseMs(double cube) {
    return cube * static_cast<double>(Constant(999.99)) + static_cast<double>(Constant(0.01));
}

static_assert(static_cast<float>(999.99) == 999.99f && static_cast<float>(0.01) == 0.01f,
              "the texts' constants are the single-precision values of the detector's");

// The normalised value whose single-precision release time is `milliseconds`, bounded to 0..1.
inline float manualReleaseValueForMs(double milliseconds) {
    const double cube = (milliseconds - static_cast<double>(0.01f)) / static_cast<double>(999.99f);
    return static_cast<float>(std::cbrt(std::min(std::max(cube, 0.0), 1.0)));
}

// Manual release half-life in seconds for the normalised "Rel" value v. A host may store values beyond 0..1,
// but the detectors keep to that range: below about -0.0215 the curve would give a negative half-life, a
// release coefficient above 1 and an envelope that runs away until the gain is 0. The cube is bounded rather
// than the result, so every value in range keeps its exact half-life.
inline double manualReleaseSeconds(float v) {
    const double cube = std::min(std::max(std::pow(static_cast<double>(v), 3.0), 0.0), 1.0);
    return manualReleaseMs<double>(cube) * 0.001;
}

// Auto release attack time in milliseconds for the normalised "Rel" value v: 50 ms at 0, 1 ms at 1, and
// within that range for any v (unbounded, the square would give more than 50 ms below 0 and above 2).
inline double autoReleaseAttackMs(float v) {
    const double square = std::min(std::pow(1.0 - static_cast<double>(v), 2.0), 1.0);
    return square * 49.0 + 1.0;
}
