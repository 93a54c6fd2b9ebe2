#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "dsp/DcBlocker.h"
#include "dsp/DelayLine.h"
#include "dsp/Flush.h"
#include "dsp/GainSmoother.h"
#include "dsp/Lanes.h"
#include "dsp/MeterFeed.h"
#include "dsp/PeakHoldDetector.h"
#include "dsp/SmoothPeakDetector.h"

// Receives meter publications; called on the audio thread, about ten times a second per meter.
class MeterPublisher {
  public:
    virtual void publishMeter(std::int32_t index, float value) = 0;

  protected:
    ~MeterPublisher() = default;
};

// Manual release half-life in seconds for the normalised "Rel" value v: 0.01 ms at 0, 1 s at 1.
inline double manualReleaseSeconds(float v) {
    return (std::pow(static_cast<double>(v), 3.0) * 999.99 + 0.01) * 0.001;
}

// Auto release attack time in milliseconds for the normalised "Rel" value v: 50 ms at 0, 1 ms at 1.
inline double autoReleaseAttackMs(float v) {
    return std::pow(1.0 - static_cast<double>(v), 2.0) * 49.0 + 1.0;
}

// The look-ahead peak limiter for one build: 2 channels with one shared gain (stereo link), or 1 channel.
//
// Per processed sample: silence gate, DC blocker, dry ring (raw input, 38 samples), makeup gain, stereo link,
// the detector pair chosen by the release switch, 39-sample look-ahead ring, target gain, gain smoothing,
// clamp to kOutputClamp, ceiling gain, meters, and the processed or the dry signal as output.
//
// Threads: processReplacing, processAccumulating run on the audio thread. The parameter setters (set*,
// apply*) may run on any thread at any time; the loop reads their values once per block. setSampleRate and
// reset run while audio is stopped (the host does not process while it changes the rate, suspends or
// resumes). meterValue and storeMeterValue may run on any thread. Nothing here allocates, locks or calls the
// system after construction.
template <int Channels> class LimiterPath {
    static_assert(Channels == 1 || Channels == 2, "stereo or mono");

  public:
    static constexpr int kChannels = Channels;
    static constexpr std::int32_t kLatency = 39;
    static constexpr std::int32_t kFirstMeterIndex = 6;
    static constexpr std::int32_t kMeterCount = Channels == 2 ? 5 : 3;
    static constexpr std::int32_t kGainMeterIndex = Channels == 2 ? 8 : 7;

    static constexpr double kOutputClamp = 0.999999;
    static constexpr double kQuietLevel = 0.00001;
    // Quiet samples after a loud one that are still processed in full (they flush the look-ahead ring).
    static constexpr std::int32_t kQuietSamplesProcessed = 40;
    static constexpr std::int32_t kQuietCountIdle = 50;
    // Frames worked stage by stage at once; the scratch arrays for them are members, sized once.
    static constexpr std::int32_t kBlockFrames = 256;
    static_assert(kBlockFrames % 2 == 0, "limitBlock works frames in pairs");
    // Keeps makeup x input finite for every float input (|d| < 2 x FLT_MAX): far above the +48 dB of the
    // parameter, and an infinite gain would turn a zero sample into NaN.
    static constexpr double kMaxMakeupGain = 1e100;

    explicit LimiterPath(MeterPublisher& meterPublisher)
        : publisher(meterPublisher), meters(constructionMeterStarts()) {}

    void setMakeupGain(double gain) {
        makeupGain.store(boundedGain(gain, kMaxMakeupGain), std::memory_order_relaxed);
    }
    void setCeilingGain(double gain) { ceilingGain.store(boundedGain(gain, 1.0), std::memory_order_relaxed); }
    void setReleaseSwitch(float value) { releaseSwitch.store(value, std::memory_order_relaxed); }
    void setClipSwitch(float value) { clipSwitch.store(value, std::memory_order_relaxed); }
    void setMonitor(float value) { monitor.store(value, std::memory_order_relaxed); }
    void applyManualRelease(float v) { manualDetector.setReleaseSeconds(manualReleaseSeconds(v)); }
    void applyAutoRelease(float v) { autoSlowDetector.setAttackMs(autoReleaseAttackMs(v)); }

    // Rates that are not finite or below 1 Hz are ignored: no host runs at them, and below 0.5 Hz the DC
    // blocker's coefficient 1 / fs would make it unstable.
    void setSampleRate(float fs) {
        if (!(fs >= 1.0f) || !(fs <= FLT_MAX)) return;
        const float periodSamples = fs * 0.1f;
        std::int32_t period = MeterFeed<kMeterCount>::kMinimumPeriod;
        if (static_cast<double>(periodSamples) >= std::numeric_limits<std::int32_t>::max()) {
            period = std::numeric_limits<std::int32_t>::max();
        } else if (periodSamples >= static_cast<float>(period)) {
            period = static_cast<std::int32_t>(periodSamples);
        }
        meters.setPeriod(period);
        for (DcBlocker& blocker : dcBlockers)
            blocker.setSampleRate(static_cast<double>(fs));
        autoFastDetector.setSampleRate(static_cast<double>(fs));
        autoSlowDetector.setSampleRate(static_cast<double>(fs));
        manualDetector.setSampleRate(static_cast<double>(fs));
        manualFloorDetector.setSampleRate(static_cast<double>(fs));
    }

    void reset() {
        meters.reset(resetMeterStarts());
        quietCount = 0;
        gateOpen = false;
        dryLine.reset();
        lookaheadLine.reset();
        smoother.reset();
        for (DcBlocker& blocker : dcBlockers)
            blocker.reset();
        resetDetectors();
        idleResetDone = false;
    }

    // frames <= 0 or null channel arrays (or channel pointers): nothing happens. Outputs may be the inputs.
    void processReplacing(const float* const* inputs, float* const* outputs, std::int32_t frames) {
        process<false>(inputs, outputs, frames);
    }
    void processAccumulating(const float* const* inputs, float* const* outputs, std::int32_t frames) {
        process<true>(inputs, outputs, frames);
    }

    double meterValue(std::int32_t index) const {
        return isMeterIndex(index) ? meters.published(index - kFirstMeterIndex) : 0.0;
    }
    void storeMeterValue(std::int32_t index, float value) {
        if (isMeterIndex(index)) meters.storePublished(index - kFirstMeterIndex, static_cast<double>(value));
    }
    std::int32_t meterPeriod() const { return meters.currentPeriod(); }

    double currentMakeupGain() const { return makeupGain.load(std::memory_order_relaxed); }
    double currentCeilingGain() const { return ceilingGain.load(std::memory_order_relaxed); }
    const PeakHoldDetector& autoFast() const { return autoFastDetector; }
    const SmoothPeakDetector& autoSlow() const { return autoSlowDetector; }
    const PeakHoldDetector& manual() const { return manualDetector; }
    const SmoothPeakDetector& manualFloor() const { return manualFloorDetector; }
    const DcBlocker& dcBlocker(int channel) const { return dcBlockers[static_cast<std::size_t>(channel)]; }

  private:
    using MeterStarts = std::array<typename MeterFeed<kMeterCount>::Start, kMeterCount>;

    // Parameter values as read once per block.
    struct Settings {
        double makeup;
        double ceiling;
        bool manualPair;
        bool bypass;
        int rampTable;
        double autoFastRelease;
        double autoSlowAttack;
        double autoSlowRelease;
        double manualRelease;
        double manualFloorAttack;
        double manualFloorRelease;
    };

    static MeterStarts constructionMeterStarts() {
        using Kind = MeterChannel::Kind;
        if constexpr (Channels == 2) {
            return {
                {{Kind::Peak, 1}, {Kind::Peak, 2}, {Kind::Minimum, 6}, {Kind::Peak, 11}, {Kind::Peak, 12}}};
        } else {
            return {{{Kind::Peak, 1}, {Kind::Minimum, 6}, {Kind::Peak, 11}}};
        }
    }

    static MeterStarts resetMeterStarts() {
        MeterStarts starts = constructionMeterStarts();
        if constexpr (Channels == 2) starts[1].counter = 1;
        return starts;
    }

    static bool isMeterIndex(std::int32_t index) {
        return index >= kFirstMeterIndex && index < kFirstMeterIndex + kMeterCount;
    }

    // NaN becomes silence; the rest is kept within [0, maximum].
    static double boundedGain(double gain, double maximum) {
        if (std::isnan(gain)) return 0.0;
        return std::min(std::max(gain, 0.0), maximum);
    }

    // Non-finite samples are treated as 0.0 before anything sees them: one NaN would otherwise poison the
    // DC blocker and every later output until the next silence.
    static double finiteSample(float sample) {
        const double x = static_cast<double>(sample);
        return std::fabs(x) <= static_cast<double>(FLT_MAX) ? x : 0.0;
    }

    // Loud means at least kQuietLevel in magnitude (both bounds of the quiet range are strict); non-finite
    // samples count as the 0.0 they are replaced by. On the float's bit pattern: magnitudes from the smallest
    // float >= kQuietLevel (kLoudBits) up to FLT_MAX (kLargestFiniteBits) are loud, which the silence scan
    // can test with integer compares.
    static constexpr std::uint32_t kLoudBits = 0x3727c5adu;
    static constexpr std::uint32_t kLargestFiniteBits = 0x7f7fffffu;

    static std::uint32_t magnitudeBits(float sample) {
        std::uint32_t bits;
        std::memcpy(&bits, &sample, sizeof bits);
        return bits & 0x7fffffffu;
    }

    // Unsigned wrap-around: bits - kLoudBits stays within the range exactly for loud magnitudes.
    static bool isLoud(float sample) {
        return magnitudeBits(sample) - kLoudBits <= kLargestFiniteBits - kLoudBits;
    }

    static bool anyLoud(const float* samples, std::int32_t count) {
        std::uint32_t loud = 0;
        for (std::int32_t k = 0; k < count; ++k)
            loud |= static_cast<std::uint32_t>(isLoud(samples[k]));
        return loud != 0;
    }

    Settings readSettings() const {
        Settings s{};
        s.makeup = makeupGain.load(std::memory_order_relaxed);
        s.ceiling = ceilingGain.load(std::memory_order_relaxed);
        s.manualPair = releaseSwitch.load(std::memory_order_relaxed) > 0.5f;
        s.bypass = monitor.load(std::memory_order_relaxed) >= 0.5f;
        s.rampTable = rampTableIndex(clipSwitch.load(std::memory_order_relaxed));
        s.autoFastRelease = autoFastDetector.releaseCoefficient();
        s.autoSlowAttack = autoSlowDetector.attackCoefficient();
        s.autoSlowRelease = autoSlowDetector.releaseCoefficient();
        s.manualRelease = manualDetector.releaseCoefficient();
        s.manualFloorAttack = manualFloorDetector.attackCoefficient();
        s.manualFloorRelease = manualFloorDetector.releaseCoefficient();
        return s;
    }

    template <bool Accumulate>
    void process(const float* const* inputs, float* const* outputs, std::int32_t frames) {
        if (frames <= 0 || inputs == nullptr || outputs == nullptr) return;
        std::array<const float*, Channels> in{};
        std::array<float*, Channels> out{};
        for (int c = 0; c < Channels; ++c) {
            in[static_cast<std::size_t>(c)] = inputs[c];
            out[static_cast<std::size_t>(c)] = outputs[c];
            if (inputs[c] == nullptr || outputs[c] == nullptr) return;
        }
        const Settings settings = readSettings();
        std::int32_t i = 0;
        while (i < frames) {
            if (!gateOpen) {
                const std::int32_t quiet = quietFrames(in, i, frames);
                if (quiet > 0) {
                    quietCount = quietCount + static_cast<std::int64_t>(quiet) > kQuietSamplesProcessed
                                     ? kQuietCountIdle
                                     : quietCount + quiet;
                    idleSteps(quiet);
                    if (!Accumulate) {
                        for (float* channel : out)
                            std::fill(channel + i, channel + i + quiet, 0.0f);
                    }
                    i += quiet;
                    continue;
                }
                gateOpen = true;
            }
            // A block ends where the host's block ends, where a meter is due (that frame goes alone) or
            // where the gate closes.
            const std::int32_t beforeDue = meters.framesBeforeDue();
            const std::int32_t block =
                beforeDue > 0 ? std::min({frames - i, kBlockFrames, beforeDue}) : std::int32_t{1};
            const std::int32_t full = framesWhileOpen(in, i, block);
            if (full > 0) fullSteps<Accumulate>(settings, in, out, i, full);
            i += full;
            if (!gateOpen) {
                idleSteps(1);
                if (!Accumulate) {
                    for (float* channel : out)
                        channel[i] = 0.0f;
                }
                ++i;
            }
        }
    }

    // Number of frames from `first` on in which every channel is quiet.
    std::int32_t quietFrames(const std::array<const float*, Channels>& in, std::int32_t first,
                             std::int32_t frames) const {
        // Whole chunks first, one channel at a time: plain loops without early exit, which the compiler
        // vectorises.
        constexpr std::int32_t kChunk = 64;
        std::int32_t i = first;
        while (frames - i >= kChunk) {
            bool loud = false;
            for (const float* channel : in)
                loud = loud || anyLoud(channel + i, kChunk);
            if (loud) break;
            i += kChunk;
        }
        for (; i < frames; ++i) {
            bool loud = false;
            for (const float* channel : in)
                loud = loud || isLoud(channel[i]);
            if (loud) break;
        }
        return i - first;
    }

    // Runs the gate over up to `count` frames from `first` while it is open (the first frame is loud or
    // within the quiet frames still processed); returns the number of frames that take a full step. When
    // the gate closes, the frame after them is the first idle one.
    std::int32_t framesWhileOpen(const std::array<const float*, Channels>& in, std::int32_t first,
                                 std::int32_t count) {
        // Programme material is loud on almost every frame: one pass without early exit settles that.
        std::uint32_t allLoud = 1;
        for (std::int32_t k = 0; k < count; ++k) {
            std::uint32_t loud = 0;
            for (const float* channel : in)
                loud |= static_cast<std::uint32_t>(isLoud(channel[first + k]));
            allLoud &= loud;
        }
        if (allLoud != 0) {
            quietCount = 0;
            return count;
        }
        for (std::int32_t k = 0; k < count; ++k) {
            bool loud = false;
            for (const float* channel : in)
                loud = loud || isLoud(channel[first + k]);
            if (loud) {
                quietCount = 0;
            } else if (++quietCount > kQuietSamplesProcessed) {
                quietCount = kQuietCountIdle;
                gateOpen = false;
                return k;
            }
        }
        return count;
    }

    // Full steps for `count` frames (at most kBlockFrames, and no meter due within them unless count is 1),
    // stage by stage over the block: inputs, the recursive filters, the gain smoothing, then the outputs.
    template <bool Accumulate>
    void fullSteps(const Settings& s, const std::array<const float*, Channels>& in,
                   const std::array<float*, Channels>& out, std::int32_t first, std::int32_t count) {
        idleResetDone = false;
        double extremes[kMeterCount];

        // The sanitised inputs go straight into the dry line, which also keeps them for the bypass.
        for (int c = 0; c < Channels; ++c) {
            const float* source = in[static_cast<std::size_t>(c)] + first;
            double* x = dryLine.blockInput(c);
            for (std::int32_t k = 0; k < count; ++k)
                x[k] = finiteSample(source[k]);
            extremes[c] = largestMagnitude(x, count);
        }

        envelopeTargets(s, count);

        smoother.smoothRun(targets.data(), gains.data(), count, s.rampTable);
        double* g = gains.data();
        for (std::int32_t k = 0; k < count; ++k)
            g[k] = g[k] >= 1.0 ? 1.0 : g[k];
        extremes[Channels] = smallestValue(g, count, 1.0);

        double* limited = scratch.data();
        for (int c = 0; c < Channels; ++c) {
            limitBlock(lookaheadLine.blockOutput(c), g, limited, count, kOutputClamp, s.ceiling);
            extremes[Channels + 1 + c] = largestMagnitude(limited, count);
            const double* y = s.bypass ? dryLine.blockOutput(c) : limited;
            float* target = out[static_cast<std::size_t>(c)] + first;
            if (Accumulate) {
                for (std::int32_t k = 0; k < count; ++k)
                    target[k] = static_cast<float>(static_cast<double>(target[k]) + y[k]);
            } else {
                for (std::int32_t k = 0; k < count; ++k)
                    target[k] = static_cast<float>(y[k]);
            }
        }

        meters.stepRun(extremes, count, [this](int meter, double value) { publish(meter, value); });
        dryLine.advance(count);
        lookaheadLine.advance(count);
    }

    // DC blockers, makeup, look-ahead input, stereo link, the selected detector pair and the target gain for
    // the block's inputs (already in the dry line). One loop, so that the recursions of the filters and of
    // the two detectors overlap; their state stays in locals.
    void envelopeTargets(const Settings& s, std::int32_t count) {
        PeakHoldDetector& holder = s.manualPair ? manualDetector : autoFastDetector;
        SmoothPeakDetector& follower = s.manualPair ? manualFloorDetector : autoSlowDetector;
        const double holderRelease = s.manualPair ? s.manualRelease : s.autoFastRelease;
        const double followerAttack = s.manualPair ? s.manualFloorAttack : s.autoSlowAttack;
        const double followerRelease = s.manualPair ? s.manualFloorRelease : s.autoSlowRelease;
        const double makeup = s.makeup;

        std::array<DcBlocker, Channels> dc = dcBlockers;
        DetectorPhase holderPhase = holder.blockPhase();
        DetectorPhase followerPhase = follower.blockPhase();
        std::array<const double*, Channels> x{};
        std::array<double*, Channels> gained{};
        for (int c = 0; c < Channels; ++c) {
            x[static_cast<std::size_t>(c)] = dryLine.blockInput(c);
            gained[static_cast<std::size_t>(c)] = lookaheadLine.blockInput(c);
        }
        double* peak = peaks.data();
        double* target = targets.data();

        const auto frame = [&](std::int32_t k, double holderFloor, double followerFloor) {
            // Stereo link: the detectors see the larger magnitude of the channels.
            double magnitude = 0.0;
            for (std::size_t c = 0; c < Channels; ++c) {
                const double p = dc[c].process(x[c][k]) * makeup;
                gained[c][k] = p;
                magnitude = std::max(magnitude, std::fabs(p));
            }
            peak[k] = magnitude;
            const double e1 = PeakHoldDetector::advance(holderPhase, magnitude, holderFloor, holderRelease);
            const double e2 = SmoothPeakDetector::advance(followerPhase, magnitude, followerFloor,
                                                          followerAttack, followerRelease);
            const double env = std::max(e1, e2);
            // Exactly the gain that brings the envelope down to the clamp level.
            target[k] = env >= kOutputClamp ? kOutputClamp / env : 1.0;
        };
        // The floors of the first kFloorAge frames come from each detector's history, the later ones from
        // this block's own magnitudes.
        const double* holderFloors = holder.floorHistory().upcomingFloors();
        const double* followerFloors = follower.floorHistory().upcomingFloors();
        const std::int32_t early = std::min(count, kFloorAge);
        for (std::int32_t k = 0; k < early; ++k)
            frame(k, holderFloors[k], followerFloors[k]);
        for (std::int32_t k = kFloorAge; k < count; ++k)
            frame(k, peak[k - kFloorAge], peak[k - kFloorAge]);

        dcBlockers = dc;
        holder.blockPhase() = holderPhase;
        follower.blockPhase() = followerPhase;
        holder.floorHistory().recordRun(peak, count);
        follower.floorHistory().recordRun(peak, count);
    }

    void idleSteps(std::int64_t count) {
        meters.advanceIdle(count, [this](int meter, double value) { publish(meter, value); });
        if (!idleResetDone) {
            smoother.reset();
            resetDetectors();
            for (DcBlocker& blocker : dcBlockers)
                blocker.reset();
            idleResetDone = true;
        }
        dryLine.pushSilence(count);
        lookaheadLine.pushSilence(count);
    }

    void publish(int meter, double value) {
        publisher.publishMeter(kFirstMeterIndex + meter, static_cast<float>(value));
    }

    void resetDetectors() {
        autoFastDetector.reset();
        autoSlowDetector.reset();
        manualDetector.reset();
        manualFloorDetector.reset();
    }

    MeterPublisher& publisher;

    std::atomic<double> makeupGain{1.0};
    std::atomic<double> ceilingGain{1.0};
    std::atomic<float> releaseSwitch{0.0f};
    std::atomic<float> clipSwitch{0.0f};
    std::atomic<float> monitor{0.0f};

    std::array<DcBlocker, Channels> dcBlockers{};
    // The bypass signal leaves the dry line one frame earlier than the processed signal.
    DelayLine<kLatency - 1, Channels, kBlockFrames> dryLine;
    DelayLine<kLatency, Channels, kBlockFrames> lookaheadLine;
    PeakHoldDetector autoFastDetector{0.0005};
    SmoothPeakDetector autoSlowDetector{0.5, SmoothPeakDetector::kAdjustableAttack};
    PeakHoldDetector manualDetector{0.0};
    SmoothPeakDetector manualFloorDetector{0.05, 0.05};
    GainSmoother smoother;
    MeterFeed<kMeterCount> meters;
    // Per-frame values of the current block.
    std::array<double, kBlockFrames> peaks{};
    std::array<double, kBlockFrames> targets{};
    std::array<double, kBlockFrames> gains{};
    std::array<double, kBlockFrames> scratch{};

    std::int32_t quietCount = 0;
    bool gateOpen = false;
    bool idleResetDone = false;
};
