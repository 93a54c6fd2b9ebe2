#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>

// Two doubles at once in the compiler's generic vectors: SSE2 on x86-64, plain scalar code where the target
// has no vector unit. Used where the compiler does not vectorise a block loop well by itself: reductions
// (it keeps the order of comparisons for NaN) and chains of selects. Each lane is computed with the same
// IEEE operations as the scalar code, so the results are the same.
using Pair = double __attribute__((vector_size(16)));
using PairBits = long long __attribute__((vector_size(16)));

// Unaligned loads and stores. Macros rather than functions: on x86 without SSE the compiler warns wherever
// such a vector crosses a function boundary by value, even inline.
#define QV3_LOAD_PAIR(pair, address) std::memcpy(&(pair), (address), sizeof(Pair))
#define QV3_STORE_PAIR(address, pair) std::memcpy((address), &(pair), sizeof(Pair))

// The meters take the largest and smallest values of a block. The blocks hold no NaN, and a maximum or
// minimum is exact in any order, so these equal the plain loops.

// Largest |value| of values[0..count), 0.0 for an empty block: the larger of the maximum and of minus the
// minimum, which needs no magnitudes per element.
inline double largestMagnitude(const double* values, std::int32_t count) {
    Pair largest = {0.0, 0.0};
    Pair smallest = {0.0, 0.0};
    std::int32_t k = 0;
    for (; k + 2 <= count; k += 2) {
        Pair v;
        QV3_LOAD_PAIR(v, values + k);
        largest = largest < v ? v : largest;
        smallest = v < smallest ? v : smallest;
    }
    double high = largest[0] < largest[1] ? largest[1] : largest[0];
    double low = smallest[1] < smallest[0] ? smallest[1] : smallest[0];
    for (; k < count; ++k) {
        high = high < values[k] ? values[k] : high;
        low = values[k] < low ? values[k] : low;
    }
    return high < -low ? -low : high;
}

// Smallest of values[0..count) and `start`.
inline double smallestValue(const double* values, std::int32_t count, double start) {
    Pair smallest = {start, start};
    std::int32_t k = 0;
    for (; k + 2 <= count; k += 2) {
        Pair v;
        QV3_LOAD_PAIR(v, values + k);
        smallest = v < smallest ? v : smallest;
    }
    double result = smallest[1] < smallest[0] ? smallest[1] : smallest[0];
    for (; k < count; ++k)
        result = values[k] < result ? values[k] : result;
    return result;
}

// limited = clamp(flushToZero(delayed x gains)) x ceiling for a block, two frames at a time. An odd count
// computes one frame more, so every array must have room for count rounded up to even; that frame is never
// used.
inline void limitBlock(const double* delayed, const double* gains, double* limited, std::int32_t count,
                       double clamp, double ceilingGain) {
    const Pair high = {clamp, clamp};
    const Pair low = {-clamp, -clamp};
    const Pair ceiling = {ceilingGain, ceilingGain};
    const Pair zero = {0.0, 0.0};
    for (std::int32_t k = 0; k < count; k += 2) {
        Pair d;
        Pair g;
        QV3_LOAD_PAIR(d, delayed + k);
        QV3_LOAD_PAIR(g, gains + k);
        Pair o = d * g;
        // flushToZero on both lanes.
        const Pair magnitude = reinterpret_cast<Pair>(reinterpret_cast<PairBits>(o) & 0x7fffffffffffffffLL);
        o = magnitude < DBL_MIN ? zero : o;
        // The clamp, written in the operand order of the max and min instructions; o is never NaN (finite
        // samples, gains and makeup), so this equals "below -clamp, above +clamp".
        o = low < o ? o : low;
        o = o < high ? o : high;
        o = o * ceiling;
        QV3_STORE_PAIR(limited + k, o);
    }
}

#undef QV3_LOAD_PAIR
#undef QV3_STORE_PAIR
