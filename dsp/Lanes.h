#pragma once

#include <cstdint>
#include <cstring>

#include <cfloat>

// Two doubles at once in the compiler's generic vectors: SSE2 on x86-64, plain scalar code where the target
// has no vector unit. Used where the compiler does not vectorise a block loop well by itself: reductions
// (it keeps the order of comparisons for NaN) and chains of selects. Each lane is computed with the same
// IEEE operations as the scalar code, so the results are the same.
using Pair = double __attribute__((vector_size(16)));
using PairBits = long long __attribute__((vector_size(16)));

inline Pair loadPair(const double* values) {
    Pair pair;
    std::memcpy(&pair, values, sizeof pair);
    return pair;
}

inline void storePair(double* values, Pair pair) { std::memcpy(values, &pair, sizeof pair); }

inline Pair splatPair(double value) { return Pair{value, value}; }

// flushToZero for both lanes.
inline Pair flushPairToZero(Pair pair) {
    const Pair magnitude = reinterpret_cast<Pair>(reinterpret_cast<PairBits>(pair) & 0x7fffffffffffffffLL);
    return magnitude < DBL_MIN ? splatPair(0.0) : pair;
}

// The meters take the largest and smallest values of a block. The blocks hold no NaN, and a maximum or
// minimum is exact in any order, so these equal the plain loops.

// Largest |value| of values[0..count), 0.0 for an empty block: the larger of the maximum and of minus the
// minimum, which needs no magnitudes per element.
inline double largestMagnitude(const double* values, std::int32_t count) {
    Pair largest = {0.0, 0.0};
    Pair smallest = {0.0, 0.0};
    std::int32_t k = 0;
    for (; k + 2 <= count; k += 2) {
        const Pair v = loadPair(values + k);
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
        const Pair v = loadPair(values + k);
        smallest = v < smallest ? v : smallest;
    }
    double result = smallest[1] < smallest[0] ? smallest[1] : smallest[0];
    for (; k < count; ++k)
        result = values[k] < result ? values[k] : result;
    return result;
}
