#pragma once

// Plain per-sample models of the gain smoothing window and of the whole signal path, written step by step
// from the design with no short cuts: a shifted history and a 40-term sum, literal ring indices, per-sample
// gate and meter steps. The optimised classes are checked against them.

#include <array>
#include <cstdint>
#include <vector>

#include "TestSupport.h"
#include "dsp/Flush.h"
#include "dsp/GainSmoother.h"
#include "dsp/PeakHoldDetector.h"
#include "dsp/SmoothPeakDetector.h"

class ReferenceSmoother {
  public:
    void reset() {
        history.fill(1.0);
        lastGain = 1.0;
        falling = false;
        unityRun = 0;
    }

    double smoothGain(double x, const RampTable& w) {
        if (x >= 1.0) {
            ++unityRun;
        } else {
            unityRun = 0;
        }
        if (unityRun > 40) return 1.0;
        double y = 0.0;
        if (x <= lastGain) {
            if (!falling) {
                history.fill(lastGain);
                falling = true;
            }
            y = w[39] * x;
            for (int j = 1; j < 40; ++j)
                y += w[static_cast<std::size_t>(39 - j)] * history[static_cast<std::size_t>(j - 1)];
        } else {
            if (falling) {
                history.fill(lastGain);
                falling = false;
            }
            y = w[0] * x;
            for (int j = 1; j < 40; ++j)
                y += w[static_cast<std::size_t>(j)] * history[static_cast<std::size_t>(j - 1)];
        }
        y = flushToZero(y);
        for (int k = 38; k >= 1; --k)
            history[static_cast<std::size_t>(k)] = history[static_cast<std::size_t>(k - 1)];
        history[0] = x;
        lastGain = y;
        return y;
    }

    std::array<double, 39> history{};
    double lastGain = 1.0;
    bool falling = false;
    std::int64_t unityRun = 0;
};

template <int Channels> class ReferenceLimiter {
  public:
    static constexpr int kMeters = 2 * Channels + 1;

    struct Publication {
        std::int32_t index;
        float value;
        std::int64_t frame;
    };

    explicit ReferenceLimiter(const ParameterSet& p) : tables(buildRampTables()) {
        smoother.reset();
        for (int m = 0; m < kMeters; ++m) {
            published[m] = m == Channels ? 1.0 : 0.0;
            running[m] = published[m];
        }
        if (Channels == 2) {
            const std::int32_t starts[] = {1, 2, 6, 11, 12};
            for (int m = 0; m < kMeters; ++m)
                counter[m] = starts[m];
        } else {
            const std::int32_t starts[] = {1, 6, 11};
            for (int m = 0; m < kMeters; ++m)
                counter[m] = starts[m];
        }
        manual.setReleaseSeconds(manualReleaseSeconds(p.manualRelease));
        autoSlow.setAttackMs(autoReleaseAttackMs(p.autoRelease));
        makeup = makeupGainFor(p.makeup);
        ceiling = ceilingGainFor(p.ceiling);
        relSwitch = p.relSwitch;
        clipSwitch = p.clipSwitch;
        monitor = p.monitor;
    }

    // Returns the output frame, or nothing for an idle sample (processReplacing writes 0.0 then).
    bool step(const std::array<float, Channels>& input, std::array<double, Channels>& output) {
        std::array<double, Channels> x{};
        bool quiet = true;
        for (int c = 0; c < Channels; ++c) {
            double v = static_cast<double>(input[static_cast<std::size_t>(c)]);
            if (!std::isfinite(v)) v = 0.0;
            x[static_cast<std::size_t>(c)] = v;
            quiet = quiet && -0.00001 < v && v < 0.00001;
        }
        bool full;
        if (quiet) {
            ++quietCount;
            if (quietCount > 40) {
                quietCount = 50;
                gateOpen = false;
                full = false;
            } else {
                full = gateOpen;
            }
        } else {
            quietCount = 0;
            gateOpen = true;
            full = true;
        }
        ++frame;
        if (!full) {
            meterStep(nullptr);
            if (!idleResetDone) {
                smoother.reset();
                autoFast.reset();
                autoSlow.reset();
                manual.reset();
                manualFloor.reset();
                dcState.fill(0.0);
                idleResetDone = true;
            }
            if (dryWrite >= 39) dryWrite = 0;
            for (int c = 0; c < Channels; ++c)
                dry[static_cast<std::size_t>(dryWrite)][static_cast<std::size_t>(c)] = 0.0;
            ++dryWrite;
            if (lookWrite >= 40) lookWrite = 0;
            for (int c = 0; c < Channels; ++c)
                look[static_cast<std::size_t>(lookWrite)][static_cast<std::size_t>(c)] = 0.0;
            ++lookWrite;
            return false;
        }
        idleResetDone = false;
        std::array<double, Channels> d{}, p{}, dryOut{}, a{}, f{};
        for (std::size_t c = 0; c < Channels; ++c) {
            d[c] = flushToZero(x[c] - dcState[c]);
            dcState[c] = flushToZero(dcState[c] + d[c] * (1.0 / 44100.0));
        }
        if (dryWrite >= 39) dryWrite = 0;
        for (std::size_t c = 0; c < Channels; ++c)
            dry[static_cast<std::size_t>(dryWrite)][c] = x[c];
        std::int32_t dryRead = dryWrite + 1;
        if (dryRead == 39) dryRead = 0;
        for (std::size_t c = 0; c < Channels; ++c)
            dryOut[c] = dry[static_cast<std::size_t>(dryRead)][c];
        ++dryWrite;
        for (std::size_t c = 0; c < Channels; ++c)
            p[c] = d[c] * makeup;
        double peak = p[0];
        if (Channels == 2 && std::fabs(p[0]) < std::fabs(p[Channels - 1])) peak = p[Channels - 1];
        double env;
        if (relSwitch > 0.5f) {
            const double e1 = manual.push(peak);
            const double e2 = manualFloor.push(peak);
            env = e2 >= e1 ? e2 : e1;
        } else {
            const double e1 = autoFast.push(peak);
            const double e2 = autoSlow.push(peak);
            env = e1 < e2 ? e2 : e1;
        }
        if (lookWrite >= 40) lookWrite = 0;
        for (std::size_t c = 0; c < Channels; ++c)
            look[static_cast<std::size_t>(lookWrite)][c] = p[c];
        std::int32_t lookRead = lookWrite + 1;
        if (lookRead == 40) lookRead = 0;
        for (std::size_t c = 0; c < Channels; ++c)
            a[c] = look[static_cast<std::size_t>(lookRead)][c];
        const double target = env < 0.999999 ? 1.0 : 0.999999 / env;
        double g = smoother.smoothGain(target, tables[static_cast<std::size_t>(rampTableIndex(clipSwitch))]);
        if (g >= 1.0) g = 1.0;
        ++lookWrite;
        double measurements[kMeters];
        for (std::size_t c = 0; c < Channels; ++c) {
            double o = flushToZero(a[c] * g);
            if (o < -0.999999) o = -0.999999;
            if (o > 0.999999) o = 0.999999;
            f[c] = o * ceiling;
            measurements[c] = std::fabs(x[c]);
            measurements[Channels + 1 + c] = std::fabs(f[c]);
        }
        measurements[Channels] = g;
        meterStep(measurements);
        output = monitor >= 0.5f ? dryOut : f;
        return true;
    }

    std::vector<Publication> publications;

  private:
    void meterStep(const double* measurements) {
        for (int m = 0; m < kMeters; ++m) {
            if (counter[m] < 4410) {
                ++counter[m];
                if (measurements == nullptr) continue;
                const double v = measurements[m];
                if (m == Channels) {
                    if (v < running[m]) running[m] = v > 1.0 ? 1.0 : v;
                } else if (v > running[m]) {
                    running[m] = v > 1.0 ? 1.0 : v;
                }
            } else {
                published[m] = running[m];
                publications.push_back({m, static_cast<float>(running[m]), frame - 1});
                running[m] = m == Channels ? 1.0 : 0.0;
                counter[m] = 0;
            }
        }
    }

    RampTables tables;
    ReferenceSmoother smoother;
    PeakHoldDetector autoFast{0.0005};
    SmoothPeakDetector autoSlow{0.5, SmoothPeakDetector::kAdjustableAttack};
    PeakHoldDetector manual{0.0};
    SmoothPeakDetector manualFloor{0.05, 0.05};
    double makeup = 1.0;
    double ceiling = 1.0;
    float relSwitch = 0.0f;
    float clipSwitch = 0.0f;
    float monitor = 0.0f;
    std::array<double, Channels> dcState{};
    std::array<std::array<double, Channels>, 39> dry{};
    std::array<std::array<double, Channels>, 40> look{};
    std::int32_t dryWrite = 0;
    std::int32_t lookWrite = 0;
    std::int32_t quietCount = 0;
    bool gateOpen = false;
    bool idleResetDone = false;
    std::int64_t frame = 0;
    double published[kMeters]{};
    double running[kMeters]{};
    std::int32_t counter[kMeters]{};
};
