#pragma once

#include <cfloat>
#include <cmath>

// Replaces zero and subnormal doubles (exponent field zero) by +0.0, so that no decaying value reaches the
// slow subnormal range and -0.0 never leaves the signal path.
inline double flushToZero(double value) {
    // A branch rather than a mask: the condition is almost never true, so it stays out of the data dependency
    // chains of the recursive filters.
    if (__builtin_expect(std::fabs(value) < DBL_MIN, 0)) return 0.0;
    return value;
}
