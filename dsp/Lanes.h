#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Processors with AVX2 take the block stages four doubles (eight floats) at a time. Chosen at run time, so
// that the libraries still run on any x86 processor; only the vector width changes, never the operations
// (AVX2 alone, without FMA, so no multiply and add are fused), so both widths give the same results. Only
// where the narrow code already rounds every operation to double in SSE registers: x87 code (32-bit x86
// without SSE2 math) keeps extended precision and would round differently.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2_MATH__)
#define QV3_WIDE_VECTORS 1
#include <immintrin.h>
#define QV3_WIDE __attribute__((target("avx2")))
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
using DoubleQuadBits = long long __attribute__((vector_size(32)));
using FloatOctet = float __attribute__((vector_size(32)));
using OctetBits = int __attribute__((vector_size(32)));
using DoubleOctet = double __attribute__((vector_size(64)));

// maximum = the larger of maximum and value in each lane, minimum likewise; the operand order of the max
// and min instructions (value when larger, else the old one), so NaN-free lanes give the plain result.
// References, not values: on x86 without SSE a vector by value changes the calling convention.
template <typename V> inline void raiseTo(V& maximum, const V& value) {
    maximum = maximum < value ? value : maximum;
}
template <typename V> inline void lowerTo(V& minimum, const V& value) {
    minimum = value < minimum ? value : minimum;
}
#if defined(__SSE2__)
template <> inline void raiseTo(Pair& maximum, const Pair& value) { maximum = _mm_max_pd(value, maximum); }
template <> inline void lowerTo(Pair& minimum, const Pair& value) { minimum = _mm_min_pd(value, minimum); }
template <> inline void raiseTo(FloatQuad& maximum, const FloatQuad& value) {
    maximum = _mm_max_ps(value, maximum);
}
#endif
#if defined(QV3_WIDE_VECTORS)
template <> QV3_WIDE inline void raiseTo(DoubleQuad& maximum, const DoubleQuad& value) {
    maximum = _mm256_max_pd(value, maximum);
}
template <> QV3_WIDE inline void lowerTo(DoubleQuad& minimum, const DoubleQuad& value) {
    minimum = _mm256_min_pd(value, minimum);
}
template <> QV3_WIDE inline void raiseTo(FloatOctet& maximum, const FloatOctet& value) {
    maximum = _mm256_max_ps(value, maximum);
}

// True when the processor and the system support AVX2.
inline bool hasWideVectors() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}
#else
inline bool hasWideVectors() { return false; }
#endif

// Unaligned loads and stores. Macros rather than functions: on x86 without SSE the compiler warns wherever
// such a vector crosses a function boundary by value, even inline.
#define QV3_LOAD(vector, address) std::memcpy(&(vector), (address), sizeof(vector))
#define QV3_STORE(address, vector) std::memcpy((address), &(vector), sizeof(vector))

// The meters take the largest magnitude (or the smallest gain) of a block. The blocks hold no NaN, and a
// maximum or minimum is exact in any order, so the two-lane extremes equal the plain loops. A largest
// magnitude is the larger of the maximum and of minus the minimum, which needs no magnitudes per element.

// What the input stage tells of a channel's block: its largest magnitude, and whether every sample is loud.
struct InputMeasure {
    double largest;
    bool everyLoud;
};

// x = input with non-finite samples replaced by 0.0, widened to double; measures the block: the largest |x|
// (0.0 for an empty block), and whether every |x| is at least `loud` (true for an empty block). The silence
// gate needs the latter, and the samples are at hand here. A vector of frames at a time in single precision
// (the magnitudes of floats order like their doubles), widened on the way out. Always inlined, so that it
// takes the vector width of its caller.
template <typename Floats, typename Bits, typename Doubles>
__attribute__((always_inline)) inline InputMeasure finiteInputsRun(const float* input, double* x,
                                                                   std::int32_t count, float loud) {
    constexpr std::int32_t kLanes = sizeof(Floats) / sizeof(float);
    const Floats largestFinite = Floats{} + FLT_MAX;
    const Floats loudLevel = Floats{} + loud;
    const Bits magnitudeMask = Bits{} + 0x7fffffff;
    Floats largest{};
    Bits everyLoud = Bits{} - 1;
    std::int32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        Floats f;
        QV3_LOAD(f, input + k);
        const Bits magnitude = reinterpret_cast<Bits>(f) & magnitudeMask;
        // NaN fails the comparison too.
        const Bits finite = reinterpret_cast<Floats>(magnitude) <= largestFinite;
        f = reinterpret_cast<Floats>(reinterpret_cast<Bits>(f) & finite);
        const Floats kept = reinterpret_cast<Floats>(magnitude & finite);
        raiseTo(largest, kept);
        everyLoud &= kept >= loudLevel;
        const Doubles v = __builtin_convertvector(f, Doubles);
        QV3_STORE(x + k, v);
    }
    float result = largest[0];
    for (std::int32_t lane = 1; lane < kLanes; ++lane)
        result = result < largest[lane] ? largest[lane] : result;
    InputMeasure measure{static_cast<double>(result), true};
    for (std::int32_t lane = 0; lane < kLanes; ++lane)
        measure.everyLoud = measure.everyLoud && everyLoud[lane] != 0;
    for (; k < count; ++k) {
        const double v = static_cast<double>(input[k]);
        x[k] = std::fabs(v) <= static_cast<double>(FLT_MAX) ? v : 0.0;
        measure.largest = measure.largest < std::fabs(x[k]) ? std::fabs(x[k]) : measure.largest;
        measure.everyLoud = measure.everyLoud && std::fabs(x[k]) >= static_cast<double>(loud);
    }
    return measure;
}

#if defined(QV3_WIDE_VECTORS)
QV3_WIDE inline InputMeasure finiteInputsWide(const float* input, double* x, std::int32_t count, float loud) {
    return finiteInputsRun<FloatOctet, OctetBits, DoubleOctet>(input, x, count, loud);
}
#endif

inline InputMeasure finiteInputs(const float* input, double* x, std::int32_t count, float loud, bool wide) {
#if defined(QV3_WIDE_VECTORS)
    if (wide) return finiteInputsWide(input, x, count, loud);
#endif
    static_cast<void>(wide);
    return finiteInputsRun<FloatQuad, QuadBits, DoubleQuad>(input, x, count, loud);
}

// Target gains from envelopes, in place: clamp / envelope where the envelope reaches clamp, else 1.0. Always
// inlined, so that it takes the vector width of its caller: the divider takes about as long for a vector of
// four as for one of two.
template <typename Doubles>
__attribute__((always_inline)) inline void targetGainsRun(double* values, std::int32_t count, double clamp) {
    constexpr std::int32_t kLanes = sizeof(Doubles) / sizeof(double);
    const Doubles level = Doubles{} + clamp;
    const Doubles one = Doubles{} + 1.0;
    std::int32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        Doubles envelope;
        QV3_LOAD(envelope, values + k);
        // A zero envelope divides to infinity here and is not selected.
        const Doubles target = envelope >= level ? level / envelope : one;
        QV3_STORE(values + k, target);
    }
    for (; k < count; ++k)
        values[k] = values[k] >= clamp ? clamp / values[k] : 1.0;
}

#if defined(QV3_WIDE_VECTORS)
QV3_WIDE inline void targetGainsWide(double* values, std::int32_t count, double clamp) {
    targetGainsRun<DoubleQuad>(values, count, clamp);
}
#endif

inline void targetGains(double* values, std::int32_t count, double clamp, bool wide) {
#if defined(QV3_WIDE_VECTORS)
    if (wide) return targetGainsWide(values, count, clamp);
#endif
    static_cast<void>(wide);
    targetGainsRun<Pair>(values, count, clamp);
}

enum class OutputMode { Replace, Accumulate, MetersOnly };

// The output stage of one channel: limited = clamp(flushToZero(delayed x gain)) x ceiling, written to `out`
// as floats (Replace), added to it (Accumulate, the sum rounded to float) or only measured (MetersOnly).
// UnitGain: every gain is 1.0, and `gains` is not read (delayed x 1.0 is delayed). Returns the largest
// |limited|. Always inlined, so that it takes the vector width of its caller.
template <OutputMode Mode, bool UnitGain, typename Doubles, typename Floats, typename Bits>
__attribute__((always_inline)) inline double limitRun(const double* delayed, const double* gains, float* out,
                                                      std::int32_t count, double clamp, double ceilingGain) {
    constexpr std::int32_t kLanes = sizeof(Doubles) / sizeof(double);
    const Doubles high = Doubles{} + clamp;
    const Doubles low = Doubles{} - clamp;
    const Doubles ceiling = Doubles{} + ceilingGain;
    const Doubles zero{};
    const Doubles smallestNormal = Doubles{} + DBL_MIN;
    const Bits magnitudeMask = Bits{} + 0x7fffffffffffffffLL;
    Doubles largest{};
    Doubles smallest{};
    std::int32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        Doubles o;
        QV3_LOAD(o, delayed + k);
        if (!UnitGain) {
            Doubles g;
            QV3_LOAD(g, gains + k);
            o = o * g;
        }
        const Doubles magnitude = reinterpret_cast<Doubles>(reinterpret_cast<Bits>(o) & magnitudeMask);
        o = magnitude < smallestNormal ? zero : o;
        // The clamp; o is never NaN (finite samples, gains and makeup), so this equals "below -clamp, above
        // +clamp".
        raiseTo(o, low);
        lowerTo(o, high);
        o = o * ceiling;
        raiseTo(largest, o);
        lowerTo(smallest, o);
        if (Mode == OutputMode::Replace) {
            const Floats f = __builtin_convertvector(o, Floats);
            QV3_STORE(out + k, f);
        } else if (Mode == OutputMode::Accumulate) {
            Floats f;
            QV3_LOAD(f, out + k);
            f = __builtin_convertvector(__builtin_convertvector(f, Doubles) + o, Floats);
            QV3_STORE(out + k, f);
        }
    }
    double highest = largest[0];
    double lowest = smallest[0];
    for (std::int32_t lane = 1; lane < kLanes; ++lane) {
        highest = highest < largest[lane] ? largest[lane] : highest;
        lowest = smallest[lane] < lowest ? smallest[lane] : lowest;
    }
    for (; k < count; ++k) {
        double o = UnitGain ? delayed[k] : delayed[k] * gains[k];
        o = std::fabs(o) < DBL_MIN ? 0.0 : o;
        o = -clamp < o ? o : -clamp;
        o = o < clamp ? o : clamp;
        o = o * ceilingGain;
        highest = highest < o ? o : highest;
        lowest = o < lowest ? o : lowest;
        if (Mode == OutputMode::Replace) {
            out[k] = static_cast<float>(o);
        } else if (Mode == OutputMode::Accumulate) {
            out[k] = static_cast<float>(static_cast<double>(out[k]) + o);
        }
    }
    return highest < -lowest ? -lowest : highest;
}

#if defined(QV3_WIDE_VECTORS)
template <OutputMode Mode, bool UnitGain>
QV3_WIDE inline double limitToOutputWide(const double* delayed, const double* gains, float* out,
                                         std::int32_t count, double clamp, double ceilingGain) {
    return limitRun<Mode, UnitGain, DoubleQuad, FloatQuad, DoubleQuadBits>(delayed, gains, out, count, clamp,
                                                                           ceilingGain);
}
#endif

template <OutputMode Mode, bool UnitGain>
inline double limitToOutput(const double* delayed, const double* gains, float* out, std::int32_t count,
                            double clamp, double ceilingGain, bool wide) {
#if defined(QV3_WIDE_VECTORS)
    if (wide) return limitToOutputWide<Mode, UnitGain>(delayed, gains, out, count, clamp, ceilingGain);
#endif
    static_cast<void>(wide);
    return limitRun<Mode, UnitGain, Pair, FloatPair, PairBits>(delayed, gains, out, count, clamp,
                                                               ceilingGain);
}

#undef QV3_LOAD
#undef QV3_STORE
