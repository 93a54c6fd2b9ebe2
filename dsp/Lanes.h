#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Two doubles at once in the compiler's generic vectors: SSE2 on x86-64, plain scalar code where the target
// has no vector unit. Used where the compiler does not vectorise a block loop well by itself: reductions
// (it keeps the order of comparisons for NaN) and chains of selects. Each lane is computed with the same
// IEEE operations as the scalar code, so the results are the same.
using Pair = double __attribute__((vector_size(16)));
using PairBits = long long __attribute__((vector_size(16)));

using FloatPair = float __attribute__((vector_size(8)));
using FloatQuad = float __attribute__((vector_size(16)));
using QuadBits = int __attribute__((vector_size(16)));
using DoubleQuad = double __attribute__((vector_size(32)));

// maximum = the larger of maximum and value in each lane, minimum likewise; the operand order of the max
// and min instructions (value when larger, else the old one), so NaN-free lanes give the plain result.
#if defined(__SSE2__)
#define QV3_MAX(maximum, value) ((maximum) = qv3Max((maximum), (value)))
#define QV3_MIN(minimum, value) ((minimum) = qv3Min((minimum), (value)))
inline Pair qv3Max(Pair maximum, Pair value) { return _mm_max_pd(value, maximum); }
inline Pair qv3Min(Pair minimum, Pair value) { return _mm_min_pd(value, minimum); }
inline FloatQuad qv3Max(FloatQuad maximum, FloatQuad value) { return _mm_max_ps(value, maximum); }
#else
#define QV3_MAX(maximum, value) ((maximum) = (maximum) < (value) ? (value) : (maximum))
#define QV3_MIN(minimum, value) ((minimum) = (value) < (minimum) ? (value) : (minimum))
#endif

// Unaligned loads and stores. Macros rather than functions: on x86 without SSE the compiler warns wherever
// such a vector crosses a function boundary by value, even inline.
#define QV3_LOAD(vector, address) std::memcpy(&(vector), (address), sizeof(vector))
#define QV3_STORE(address, vector) std::memcpy((address), &(vector), sizeof(vector))

// The meters take the largest magnitude (or the smallest gain) of a block. The blocks hold no NaN, and a
// maximum or minimum is exact in any order, so the two-lane extremes equal the plain loops. A largest
// magnitude is the larger of the maximum and of minus the minimum, which needs no magnitudes per element.

// x = input with non-finite samples replaced by 0.0, widened to double; returns the largest |x| (0.0 for an
// empty block). Four frames at a time in single precision (the magnitudes of floats order like their
// doubles), widened on the way out.
inline double finiteInputs(const float* input, double* x, std::int32_t count) {
    const FloatQuad largestFinite = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    const QuadBits magnitudeMask = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    FloatQuad largest = {0.0f, 0.0f, 0.0f, 0.0f};
    std::int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        FloatQuad f;
        QV3_LOAD(f, input + k);
        const QuadBits magnitude = reinterpret_cast<QuadBits>(f) & magnitudeMask;
        // NaN fails the comparison too.
        const QuadBits finite = reinterpret_cast<FloatQuad>(magnitude) <= largestFinite;
        f = reinterpret_cast<FloatQuad>(reinterpret_cast<QuadBits>(f) & finite);
        const FloatQuad kept = reinterpret_cast<FloatQuad>(magnitude & finite);
        QV3_MAX(largest, kept);
        const DoubleQuad v = __builtin_convertvector(f, DoubleQuad);
        QV3_STORE(x + k, v);
    }
    float result = largest[0];
    for (int lane = 1; lane < 4; ++lane)
        result = result < largest[lane] ? largest[lane] : result;
    double widest = static_cast<double>(result);
    for (; k < count; ++k) {
        const double v = static_cast<double>(input[k]);
        x[k] = std::fabs(v) <= static_cast<double>(FLT_MAX) ? v : 0.0;
        widest = widest < std::fabs(x[k]) ? std::fabs(x[k]) : widest;
    }
    return widest;
}

// Target gains from envelopes, in place: clamp / envelope where the envelope reaches clamp, else 1.0.
inline void targetGains(double* values, std::int32_t count, double clamp) {
    const Pair level = {clamp, clamp};
    const Pair one = {1.0, 1.0};
    std::int32_t k = 0;
    for (; k + 2 <= count; k += 2) {
        Pair envelope;
        QV3_LOAD(envelope, values + k);
        // A zero envelope divides to infinity here and is not selected.
        const Pair target = envelope >= level ? level / envelope : one;
        QV3_STORE(values + k, target);
    }
    for (; k < count; ++k)
        values[k] = values[k] >= clamp ? clamp / values[k] : 1.0;
}

// Gains above 1.0 become 1.0, in place; returns the smallest gain (1.0 at most).
inline double limitGains(double* gains, std::int32_t count) {
    const Pair one = {1.0, 1.0};
    Pair smallest = one;
    std::int32_t k = 0;
    for (; k + 2 <= count; k += 2) {
        Pair g;
        QV3_LOAD(g, gains + k);
        g = g >= one ? one : g;
        QV3_STORE(gains + k, g);
        smallest = g < smallest ? g : smallest;
    }
    double result = smallest[1] < smallest[0] ? smallest[1] : smallest[0];
    for (; k < count; ++k) {
        gains[k] = gains[k] >= 1.0 ? 1.0 : gains[k];
        result = gains[k] < result ? gains[k] : result;
    }
    return result;
}

enum class OutputMode { Replace, Accumulate, MetersOnly };

// The output stage of one channel: limited = clamp(flushToZero(delayed x gain)) x ceiling, written to `out`
// as floats (Replace), added to it (Accumulate, the sum rounded to float) or only measured (MetersOnly).
// UnitGain: every gain is 1.0, and `gains` is not read (delayed x 1.0 is delayed). Returns the largest
// |limited|.
template <OutputMode Mode, bool UnitGain>
inline double limitToOutput(const double* delayed, const double* gains, float* out, std::int32_t count,
                            double clamp, double ceilingGain) {
    const Pair high = {clamp, clamp};
    const Pair low = {-clamp, -clamp};
    const Pair ceiling = {ceilingGain, ceilingGain};
    const Pair zero = {0.0, 0.0};
    const Pair smallestNormal = {DBL_MIN, DBL_MIN};
    const PairBits magnitudeMask = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    Pair largest = zero;
    Pair smallest = zero;
    std::int32_t k = 0;
    for (; k + 2 <= count; k += 2) {
        Pair o;
        QV3_LOAD(o, delayed + k);
        if (!UnitGain) {
            Pair g;
            QV3_LOAD(g, gains + k);
            o = o * g;
        }
        const Pair magnitude = reinterpret_cast<Pair>(reinterpret_cast<PairBits>(o) & magnitudeMask);
        o = magnitude < smallestNormal ? zero : o;
        // The clamp, written in the operand order of the max and min instructions; o is never NaN (finite
        // samples, gains and makeup), so this equals "below -clamp, above +clamp".
        QV3_MAX(o, low);
        QV3_MIN(o, high);
        o = o * ceiling;
        QV3_MAX(largest, o);
        QV3_MIN(smallest, o);
        if (Mode == OutputMode::Replace) {
            const FloatPair f = __builtin_convertvector(o, FloatPair);
            QV3_STORE(out + k, f);
        } else if (Mode == OutputMode::Accumulate) {
            FloatPair f;
            QV3_LOAD(f, out + k);
            f = __builtin_convertvector(__builtin_convertvector(f, Pair) + o, FloatPair);
            QV3_STORE(out + k, f);
        }
    }
    double high1 = largest[0] < largest[1] ? largest[1] : largest[0];
    double low1 = smallest[1] < smallest[0] ? smallest[1] : smallest[0];
    for (; k < count; ++k) {
        double o = UnitGain ? delayed[k] : delayed[k] * gains[k];
        o = std::fabs(o) < DBL_MIN ? 0.0 : o;
        o = -clamp < o ? o : -clamp;
        o = o < clamp ? o : clamp;
        o = o * ceilingGain;
        high1 = high1 < o ? o : high1;
        low1 = o < low1 ? o : low1;
        if (Mode == OutputMode::Replace) {
            out[k] = static_cast<float>(o);
        } else if (Mode == OutputMode::Accumulate) {
            out[k] = static_cast<float>(static_cast<double>(out[k]) + o);
        }
    }
    return high1 < -low1 ? -low1 : high1;
}

#undef QV3_LOAD
#undef QV3_STORE
#undef QV3_MAX
#undef QV3_MIN
