#pragma once

#include <algorithm>
#include <array>
#include <cfloat>
#include <cstdint>

#include "dsp/Flush.h"

// The gain smoothing window: a 40-tap weighted moving average over the current target gain and the 39 before
// it, with linear-ramp weights whose direction follows the gain (newest weighs most while falling, least
// while rising) and whose steepness the shape switch selects ("soft", "2", "3", "4", "hard").

constexpr int kRampTableCount = 5;
constexpr int kRampLength = 40;
using RampTable = std::array<double, kRampLength>;
using RampTables = std::array<RampTable, kRampTableCount>;

// Entry k of table p is F_p((k + 1) x 0.025) - F_p(k x 0.025) with F_p(u) = u x (a_p u + b_p); every table
// sums to 1. The last shape is the flat average (F(u) = u).
inline RampTables buildRampTables() {
    constexpr double kCurvature[kRampTableCount] = {0.4, 0.3, 0.2, 0.1, 0.0};
    constexpr double kSlope[kRampTableCount] = {0.6, 0.7, 0.8, 0.9, 1.0};
    RampTables tables{};
    for (int p = 0; p < kRampTableCount; ++p) {
        const auto shape = [&](int k) {
            const double u = static_cast<double>(k) * 0.025;
            return u * (kCurvature[p] * u + kSlope[p]);
        };
        for (int k = 0; k < kRampLength; ++k)
            tables[p][static_cast<std::size_t>(k)] = shape(k + 1) - shape(k);
    }
    return tables;
}

// Table index for the stored shape switch value (thresholds are single-precision constants).
inline int rampTableIndex(float clipSwitch) {
    if (clipSwitch < 0.2f) return 0;
    if (clipSwitch < 0.4f) return 1;
    if (clipSwitch < 0.6f) return 2;
    if (clipSwitch < 0.8f) return 3;
    return 4;
}

// Every ramp is linear, w[k] = base + step x k (to within an ulp of the table entries), so the window sum
// needs only the plain sum and the age-weighted sum of the history:
//   falling: sum_j w[39 - j] h_j = (base + 39 step) S - step A,   rising: sum_j w[j] h_j = base S + step A,
// with S = sum_j h_j and A = sum_j j h_j over j = 0..39 (h_0 the current input). Both sums are kept as
// running sums and recomputed from the history every 39 calls and whenever they shrink sharply, so their
// rounding error stays within a few ulps of the window's values; the result matches the plain 40-term sum to
// about 1e-15. The arithmetic uses only plain double additions and multiplications (no FMA), so the result is
// the same on every x86 processor.
class GainSmoother {
  public:
    static constexpr std::int32_t kHistoryLength = kRampLength - 1;
    static constexpr std::int32_t kUnityRunLimit = 40;

    GainSmoother() : GainSmoother(buildRampTables()) {}

    explicit GainSmoother(const RampTables& tables) {
        for (std::size_t p = 0; p < ramps.size(); ++p) {
            // Slope from the end weights; the base keeps the sum of the ramp equal to the sum of the table.
            double sum = 0.0;
            for (double w : tables[p])
                sum += w;
            ramps[p].step = (tables[p][kRampLength - 1] - tables[p][0]) / (kRampLength - 1);
            ramps[p].base = sum / kRampLength - 0.5 * (kRampLength - 1) * ramps[p].step;
            ramps[p].fallingBase = ramps[p].base + (kRampLength - 1) * ramps[p].step;
        }
        reset();
    }

    void reset() {
        history.fill(1.0);
        running = Running{};
        recomputeSums(running);
    }

    // Audio thread: one call per processed sample with the target gain x (at most 1.0) and the ramp table
    // index.
    double smoothGain(double x, int table) {
        double y;
        run<false, true>(&x, &y, 1, table);
        return y;
    }

    // smoothGain for `count` targets in a row, into `gains`, each gain above 1.0 made 1.0; returns the
    // smallest gain (1.0 at most).
    //
    // The flush of subnormal gains would sit in the loop on every frame, yet a limiter's gains stay far above
    // DBL_MIN, so the run goes without it and is redone with it only when some gain came out below DBL_MIN
    // (the smallest gain tells): until then the flush changes no value and the two runs agree.
    double smoothLimitRun(const double* targets, double* gains, std::int32_t count, int table) {
        const std::array<double, kHistoryLength> savedHistory = history;
        const Running savedRunning = running;
        const double smallest = run<true, false>(targets, gains, count, table);
        if (smallest >= DBL_MIN) return smallest;
        history = savedHistory;
        running = savedRunning;
        return run<true, true>(targets, gains, count, table);
    }

    // True when inputs of 1.0 are returned as 1.0 without touching the state (the unity run is past the
    // limit and stays there).
    bool passesUnity() const { return running.unityRun > kUnityRunLimit; }

    // Entry j - 1 is the input j calls ago (newest first).
    std::array<double, kHistoryLength> orderedHistory() const {
        std::array<double, kHistoryLength> ordered{};
        for (std::int32_t j = 1; j <= kHistoryLength; ++j)
            ordered[static_cast<std::size_t>(j - 1)] = ageSlot(j, running.nextSlot);
        return ordered;
    }
    double currentLastGain() const { return running.lastGain; }
    bool isFalling() const { return running.falling; }
    std::int32_t currentUnityRun() const { return running.unityRun; }

  private:
    struct Ramp {
        double base = 0.0;
        double step = 0.0;
        double fallingBase = 0.0;
    };

    // Everything but the history itself changes on every call.
    struct Running {
        std::int32_t nextSlot = 0;
        double historySum = 0.0;
        double agedSum = 0.0;
        double sumsPeak = 0.0;
        double lastGain = 1.0;
        bool falling = false;
        std::int32_t unityRun = 0;
    };

    // The running sums are recomputed once they fall below this fraction of their largest value since the
    // last recomputation, before cancellation can cost more than a few bits.
    static constexpr double kShrinkLimit = 1.0 / 16.0;

    // The running state is kept in locals for the loop (stores into `gains` could otherwise alias it).
    // Targets below 1.0 go through a loop specialised for their direction; a target of 1.0 takes its step
    // alone, as the unity run counts it.
    template <bool Limit, bool Flush>
    double run(const double* targets, double* gains, std::int32_t count, int table) {
        const Ramp ramp = ramps[static_cast<std::size_t>(table)];
        Running r = running;
        double smallest = 1.0;
        std::int32_t k = 0;
        while (k < count) {
            const double x = targets[k];
            std::int32_t end = count;
            if (x < 1.0) {
                r.unityRun = 0;
            } else {
                // Saturates: a run only has to be known to be longer than the limit.
                r.unityRun = std::min(r.unityRun + 1, kUnityRunLimit + 1);
                if (r.unityRun > kUnityRunLimit) {
                    emit<Limit>(gains, k, 1.0, smallest);
                    ++k;
                    continue;
                }
                end = k + 1;
            }
            const bool falling = x <= r.lastGain;
            if (falling != r.falling) {
                // A change of direction restarts the window from the last output.
                refill(r, r.lastGain);
                r.falling = falling;
            }
            k = falling ? directionRun<true, Limit, Flush>(r, ramp, targets, gains, k, end, smallest)
                        : directionRun<false, Limit, Flush>(r, ramp, targets, gains, k, end, smallest);
        }
        running = r;
        return smallest;
    }

    template <bool Limit> static void emit(double* gains, std::int32_t k, double y, double& smallest) {
        // y is never NaN, so this is "1.0 from 1.0 on" as a single minimum.
        if (Limit) y = y < 1.0 ? y : 1.0;
        gains[k] = y;
        smallest = y < smallest ? y : smallest;
    }

    // The filter steps for targets from `first` up to `count`, all in one direction, up to the slot wrap;
    // leaves at a later target of 1.0 or of the other direction and after a recomputation. The direction of
    // the first target is already r.falling. Returns the index of the first target not taken.
    template <bool Falling, bool Limit, bool Flush>
    std::int32_t directionRun(Running& r, const Ramp& ramp, const double* targets, double* gains,
                              std::int32_t first, std::int32_t count, double& smallest) {
        const std::int32_t end = std::min(count, first + (kHistoryLength - r.nextSlot));
        // history[base + k] is the slot target k replaces.
        const std::int32_t base = r.nextSlot - first;
        double historySum = r.historySum;
        double agedSum = r.agedSum;
        double sumsPeak = r.sumsPeak;
        double lastGain = r.lastGain;
        std::int32_t k = first;
        double x = targets[k];
        for (;;) {
            const double windowSum = x + historySum;
            const double sum = Falling ? ramp.fallingBase * windowSum - ramp.step * agedSum
                                       : ramp.base * windowSum + ramp.step * agedSum;
            const double y = Flush ? flushToZero(sum) : sum;
            // Shift: x becomes age 1, everything else ages by one and the oldest entry leaves. Each sum takes
            // one addition per step, which keeps their dependency chains short.
            double& slot = history[static_cast<std::size_t>(base + k)];
            const double oldest = slot;
            slot = x;
            const double change = x - oldest;
            agedSum = agedSum + (historySum + change - kHistoryLength * oldest);
            historySum = historySum + change;
            sumsPeak = std::max(sumsPeak, historySum);
            lastGain = y;
            emit<Limit>(gains, k, y, smallest);
            ++k;
            if (k == end || historySum < sumsPeak * kShrinkLimit) break;
            x = targets[k];
            if (x >= 1.0 || (x <= lastGain) != Falling) break;
        }
        r.historySum = historySum;
        r.agedSum = agedSum;
        r.sumsPeak = sumsPeak;
        r.lastGain = lastGain;
        r.nextSlot = base + k;
        if (r.nextSlot == kHistoryLength) {
            r.nextSlot = 0;
            recomputeSums(r);
        } else if (r.historySum < r.sumsPeak * kShrinkLimit) {
            recomputeSums(r);
        }
        return k;
    }

    double ageSlot(std::int32_t age, std::int32_t nextSlot) const {
        std::int32_t slot = nextSlot - age;
        if (slot < 0) slot += kHistoryLength;
        return history[static_cast<std::size_t>(slot)];
    }

    // Three partial sums each, so that the additions of neighbouring ages do not wait on each other (this
    // runs every 39 calls); only the rounding depends on the order.
    void recomputeSums(Running& r) const {
        static_assert(kHistoryLength % 3 == 0, "ages in threes");
        double sum[3] = {0.0, 0.0, 0.0};
        double aged[3] = {0.0, 0.0, 0.0};
        for (std::int32_t age = 1; age <= kHistoryLength; age += 3) {
            for (std::int32_t lane = 0; lane < 3; ++lane) {
                const double h = ageSlot(age + lane, r.nextSlot);
                sum[lane] += h;
                aged[lane] += (age + lane) * h;
            }
        }
        r.historySum = sum[0] + sum[1] + sum[2];
        r.agedSum = aged[0] + aged[1] + aged[2];
        r.sumsPeak = r.historySum;
    }

    // A history of 39 equal values v: the sums are 39 v and (1 + 2 + ... + 39) v.
    void refill(Running& r, double v) {
        history.fill(v);
        r.historySum = kHistoryLength * v;
        r.agedSum = (kHistoryLength * (kHistoryLength + 1) / 2) * v;
        r.sumsPeak = r.historySum;
    }

    std::array<Ramp, kRampTableCount> ramps{};
    std::array<double, kHistoryLength> history{};
    Running running;
};
