#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "dsp/DcBlocker.h"
#include "dsp/DelayLine.h"
#include "dsp/Flush.h"
#include "dsp/GainSmoother.h"
#include "dsp/Lanes.h"
#include "dsp/MeterFeed.h"
#include "dsp/Nonblocking.h"
#include "dsp/ParameterCurves.h"
#include "dsp/PeakHoldDetector.h"
#include "dsp/SampleRate.h"
#include "dsp/SmoothPeakDetector.h"

// Receives meter publications; called on the audio thread, about ten times a second per meter. Slots: stereo
// in L, in R, gain, out L, out R; mono in, gain, out.
class MeterPublisher {
  public:
    virtual void publishMeter(std::int32_t slot, float value) QV3_NONBLOCKING = 0;

  protected:
    ~MeterPublisher() = default;
};

// The look-ahead peak limiter for one build: 2 channels with one shared gain (stereo link), or 1 channel.
//
// Per processed sample: silence gate, DC blocker, dry ring (raw input, 38 samples), makeup gain, stereo link,
// the detector pair chosen by the release switch, 39-sample look-ahead ring, target gain, gain smoothing,
// clamp to kOutputClamp, ceiling gain, meters, and the processed or the dry signal as output.
//
// Threads: processReplacing, processAccumulating run on the audio thread. The parameter setters (set*,
// apply*) may run while audio runs, from one thread at a time (the effect calls them on the audio thread,
// between blocks); the loop reads their values once per block. setSampleRate and reset run while audio is
// stopped (the host does not process while it changes the rate, suspends or resumes). meterValue and
// storeMeterValue may run on any thread. Nothing here allocates, locks or calls the system after
// construction.
template <int Channels> class LimiterPath {
    static_assert(Channels == 1 || Channels == 2, "stereo or mono");

  public:
    static constexpr int kChannels = Channels;
    static constexpr std::int32_t kLatency = 39;
    static constexpr std::int32_t kMeterCount = Channels == 2 ? 5 : 3;

    static constexpr double kOutputClamp = 0.999999;
    static constexpr double kQuietLevel = 0.00001;
    // Quiet samples after a loud one that are still processed in full (they flush the look-ahead ring).
    static constexpr std::int32_t kQuietSamplesProcessed = 40;
    static constexpr std::int32_t kQuietCountIdle = 50;
    // Frames worked stage by stage at once; the scratch arrays for them are members, sized once.
    static constexpr std::int32_t kBlockFrames = 256;
    static_assert(kBlockFrames % 2 == 0, "limitBlock works frames in pairs");
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

    // Rates that are not finite or below 1 Hz are ignored (isUsableSampleRate).
    void setSampleRate(float fs) {
        if (!isUsableSampleRate(fs)) return;
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
    void processReplacing(const float* const* inputs, float* const* outputs,
                          std::int32_t frames) QV3_NONBLOCKING {
        process<false>(inputs, outputs, frames);
    }
    void processAccumulating(const float* const* inputs, float* const* outputs,
                             std::int32_t frames) QV3_NONBLOCKING {
        process<true>(inputs, outputs, frames);
    }

    // Meter slots 0 to kMeterCount - 1; 0.0 for another slot, which is not stored either.
    double meterValue(std::int32_t slot) const { return isMeterSlot(slot) ? meters.published(slot) : 0.0; }
    void storeMeterValue(std::int32_t slot, float value) {
        if (isMeterSlot(slot)) meters.storePublished(slot, static_cast<double>(value));
    }
    std::int32_t meterPeriod() const { return meters.currentPeriod(); }

    double currentMakeupGain() const { return makeupGain.load(std::memory_order_relaxed); }
    double currentCeilingGain() const { return ceilingGain.load(std::memory_order_relaxed); }
    float currentReleaseSwitch() const { return releaseSwitch.load(std::memory_order_relaxed); }
    float currentClipSwitch() const { return clipSwitch.load(std::memory_order_relaxed); }
    float currentMonitor() const { return monitor.load(std::memory_order_relaxed); }
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

    static bool isMeterSlot(std::int32_t slot) { return slot >= 0 && slot < kMeterCount; }

    // NaN becomes silence; the rest is kept within [0, maximum].
    static double boundedGain(double gain, double maximum) {
        if (std::isnan(gain)) return 0.0;
        return std::min(std::max(gain, 0.0), maximum);
    }

    // Loud means at least kQuietLevel in magnitude (both bounds of the quiet range are strict); non-finite
    // samples count as the 0.0 they are replaced by. On the float's bit pattern: magnitudes from the smallest
    // float >= kQuietLevel (kLoudBits) up to FLT_MAX (kLargestFiniteBits) are loud, which the silence scan
    // can test with integer compares.
    static constexpr std::uint32_t kLoudBits = 0x3727c5adu;
    static constexpr std::uint32_t kLargestFiniteBits = 0x7f7fffffu;

    static float fromBits(std::uint32_t bits) {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

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
            i += fullSteps<Accumulate>(settings, in, out, i, block);
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

    // Runs the gate frame by frame over up to `count` frames from `first` while it is open (the first frame
    // is loud or within the quiet frames still processed); returns the number of frames that take a full
    // step. When the gate closes, the frame after them is the first idle one.
    std::int32_t framesWhileOpen(const std::array<const float*, Channels>& in, std::int32_t first,
                                 std::int32_t count) {
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

    // Full steps for up to `count` frames (at most kBlockFrames, and no meter due within them unless count
    // is 1) while the gate is open, stage by stage over the block: inputs, the recursive filters, the gain
    // smoothing, then the outputs. Returns the number of frames taken; fewer when the gate closes.
    template <bool Accumulate>
    std::int32_t fullSteps(const Settings& s, const std::array<const float*, Channels>& in,
                           const std::array<float*, Channels>& out, std::int32_t first, std::int32_t count) {
        double extremes[kMeterCount];

        // The sanitised inputs go straight into the dry line, which also keeps them for the bypass.
        // Non-finite samples are treated as 0.0 before anything sees them: one NaN would otherwise poison the
        // DC blocker and every later output until the next silence.
        bool loudThroughout = false;
        for (int c = 0; c < Channels; ++c) {
            const InputMeasure measure =
                finiteInputs(in[static_cast<std::size_t>(c)] + first, dryLine.blockInput(c), count,
                             loudMagnitude, wideVectors);
            extremes[c] = measure.largest;
            loudThroughout = loudThroughout || measure.everyLoud;
        }
        // Programme material keeps some channel loud on every frame, which keeps the gate open; otherwise the
        // gate goes frame by frame, and the frames after it closes are left to the idle steps.
        if (loudThroughout) {
            quietCount = 0;
        } else {
            const std::int32_t open = framesWhileOpen(in, first, count);
            if (open == 0) return 0;
            if (open < count) {
                count = open;
                for (int c = 0; c < Channels; ++c)
                    extremes[c] = largestMagnitude(dryLine.blockInput(c), count);
            }
        }
        idleResetDone = false;

        const bool unityTargets = envelopeTargets(s, count);

        // Targets of 1.0 into a smoother that already passes them through: every gain is 1.0, and the
        // smoother's state does not change.
        const bool unityGains = unityTargets && smoother.passesUnity();
        double* g = gains.data();
        if (unityGains) {
            extremes[Channels] = 1.0;
        } else {
            if (unityTargets) std::fill(targets.begin(), targets.begin() + count, 1.0);
            extremes[Channels] = smoother.smoothLimitRun(targets.data(), g, count, s.rampTable);
        }

        constexpr OutputMode mode = Accumulate ? OutputMode::Accumulate : OutputMode::Replace;
        for (int c = 0; c < Channels; ++c) {
            const double* delayed = lookaheadLine.blockOutput(c);
            float* target = out[static_cast<std::size_t>(c)] + first;
            // The output meters measure the limited signal in bypass too.
            double& largest = extremes[Channels + 1 + c];
            if (s.bypass) {
                largest = unityGains
                              ? outputStage<OutputMode::MetersOnly, true>(delayed, g, target, count, s)
                              : outputStage<OutputMode::MetersOnly, false>(delayed, g, target, count, s);
                writeDry<Accumulate>(dryLine.blockOutput(c), target, count);
            } else {
                largest = unityGains ? outputStage<mode, true>(delayed, g, target, count, s)
                                     : outputStage<mode, false>(delayed, g, target, count, s);
            }
        }

        meters.stepRun(extremes, count, [this](int meter, double value) { publish(meter, value); });
        dryLine.advance(count);
        lookaheadLine.advance(count);
        return count;
    }

    static double largestMagnitude(const double* x, std::int32_t count) {
        double largest = 0.0;
        for (std::int32_t k = 0; k < count; ++k)
            largest = std::max(largest, std::fabs(x[k]));
        return largest;
    }

    // One value per channel, so that both DC blockers run as one two-lane recursion in stereo. Each lane
    // takes the same IEEE operations as a scalar, so stereo fed twice the same channel equals mono.
    using ChannelLanes = std::conditional_t<Channels == 2, Pair, double>;

    // Passed by reference: on x86 without SSE a vector by value changes the calling convention.
    static void loadLanes(ChannelLanes& lanes, const std::array<const double*, Channels>& x, std::int32_t k) {
        if constexpr (Channels == 2) {
            lanes = Pair{x[0][k], x[1][k]};
        } else {
            lanes = x[0][k];
        }
    }

    static void storeLanes(const ChannelLanes& lanes, const std::array<double*, Channels>& y,
                           std::int32_t k) {
        if constexpr (Channels == 2) {
            y[0][k] = lanes[0];
            y[1][k] = lanes[1];
        } else {
            y[0][k] = lanes;
        }
    }

    static void magnitudeLanes(ChannelLanes& magnitude, const ChannelLanes& value) {
        if constexpr (Channels == 2) {
            magnitude = reinterpret_cast<Pair>(reinterpret_cast<PairBits>(value) & 0x7fffffffffffffffLL);
        } else {
            magnitude = std::fabs(value);
        }
    }

    static void flushLanes(ChannelLanes& value) {
        if constexpr (Channels == 2) {
            ChannelLanes magnitude;
            magnitudeLanes(magnitude, value);
            const Pair zero = {0.0, 0.0};
            value = magnitude < DBL_MIN ? zero : value;
        } else {
            value = flushToZero(value);
        }
    }

    // Distance of each lane's magnitude from DBL_MIN / 2, kept at its smallest: below DBL_MIN / 2 exactly
    // when some value was subnormal (nonzero, below DBL_MIN), while +0.0 and normal values stay at or above.
    // Plain arithmetic, so that the check stays cheap in the loop; the subtraction is exact in that range.
    static void noteSubnormal(ChannelLanes& closest, const ChannelLanes& value) {
        ChannelLanes distance;
        magnitudeLanes(distance, value);
        magnitudeLanes(distance, distance - 0.5 * DBL_MIN);
        closest = distance < closest ? distance : closest;
    }

    static void fillLanes(ChannelLanes& lanes, double value) {
        if constexpr (Channels == 2) {
            lanes = Pair{value, value};
        } else {
            lanes = value;
        }
    }

    static double largestLane(const ChannelLanes& lanes) {
        if constexpr (Channels == 2) {
            return lanes[0] < lanes[1] ? lanes[1] : lanes[0];
        } else {
            return lanes;
        }
    }

    template <OutputMode Mode, bool UnitGain>
    double outputStage(const double* delayed, const double* g, float* target, std::int32_t count,
                       const Settings& s) const {
        return limitToOutput<Mode, UnitGain>(delayed, g, target, count, kOutputClamp, s.ceiling, wideVectors);
    }

    template <bool Accumulate> static void writeDry(const double* dry, float* target, std::int32_t count) {
        if (Accumulate) {
            for (std::int32_t k = 0; k < count; ++k)
                target[k] = static_cast<float>(static_cast<double>(target[k]) + dry[k]);
        } else {
            for (std::int32_t k = 0; k < count; ++k)
                target[k] = static_cast<float>(dry[k]);
        }
    }

    // DC blockers, makeup, look-ahead input, stereo link, the selected detector pair and the envelope for the
    // block's inputs (already in the dry line); then the target gains. Returns true when every target of the
    // block is 1.0.
    //
    // The DC blockers' flushes sit on their loop-carried chains, yet almost never change a value, so the
    // block is first run without them and run again with them only when one would have. While the state is
    // normal or +0.0, the difference d = x - state can only be -0.0 (x = -0.0, state = +0.0), never
    // subnormal: x is a float, so a nonzero difference below DBL_MIN would need a state within DBL_MIN of a
    // float of at least 2^-149, and such doubles are 2^-201 apart. Adding +0.0 to x (off the chain) turns
    // that -0.0 into the +0.0 the flush would give; the state itself is checked for subnormal values.
    //
    // While the limiter reduces, the loop divides each envelope into its target gain too: the divider is
    // idle there, waiting on the recursions, and a separate division pass would cost more. While it does not,
    // most blocks need no division at all, so the loop stores the envelopes and a block that turns out to
    // reduce divides them afterwards. The previous block decides; both ways give the same targets.
    bool envelopeTargets(const Settings& s, std::int32_t count) {
        double highest = 0.0;
        if (reducing) {
            if (!envelopeRun<false, true>(s, count, highest)) envelopeRun<true, true>(s, count, highest);
            reducing = highest >= kOutputClamp;
            return !reducing;
        }
        if (!envelopeRun<false, false>(s, count, highest)) envelopeRun<true, false>(s, count, highest);
        reducing = highest >= kOutputClamp;
        if (reducing) targetGains(targets.data(), count, kOutputClamp, wideVectors);
        return !reducing;
    }

    // One loop, so that the recursions of the filters and of the two detectors overlap; their state stays in
    // locals and is kept only when the run is valid (with Flush, always). `highest` receives the largest
    // envelope; `targets` the envelopes, or with Divide their target gains.
    template <bool Flush, bool Divide>
    bool envelopeRun(const Settings& s, std::int32_t count, double& highest) {
        PeakHoldDetector& holder = s.manualPair ? manualDetector : autoFastDetector;
        SmoothPeakDetector& follower = s.manualPair ? manualFloorDetector : autoSlowDetector;
        const double holderRelease = s.manualPair ? s.manualRelease : s.autoFastRelease;
        const double followerAttack = s.manualPair ? s.manualFloorAttack : s.autoSlowAttack;
        const double followerRelease = s.manualPair ? s.manualFloorRelease : s.autoSlowRelease;

        ChannelLanes state;
        ChannelLanes coefficient;
        if constexpr (Channels == 2) {
            state = Pair{dcBlockers[0].currentState(), dcBlockers[1].currentState()};
            coefficient = Pair{dcBlockers[0].currentCoefficient(), dcBlockers[1].currentCoefficient()};
        } else {
            state = dcBlockers[0].currentState();
            coefficient = dcBlockers[0].currentCoefficient();
        }
        ChannelLanes makeup;
        fillLanes(makeup, s.makeup);
        // See noteSubnormal: the run is valid unless an unflushed state was subnormal.
        ChannelLanes closest;
        fillLanes(closest, DBL_MAX);

        DetectorPhase holderPhase = holder.blockPhase();
        DetectorPhase followerPhase = follower.blockPhase();
        std::array<const double*, Channels> x{};
        std::array<double*, Channels> gained{};
        for (int c = 0; c < Channels; ++c) {
            x[static_cast<std::size_t>(c)] = dryLine.blockInput(c);
            gained[static_cast<std::size_t>(c)] = lookaheadLine.blockInput(c);
        }
        double* peak = peaks.data();
        double* envelope = targets.data();
        double largest = 0.0;

        const auto frame = [&](std::int32_t k, double holderFloor, double followerFloor) {
            ChannelLanes d;
            loadLanes(d, x, k);
            if constexpr (Flush) {
                d = d - state;
                flushLanes(d);
                state = state + d * coefficient;
                flushLanes(state);
            } else {
                d = (d + 0.0) - state;
                state = state + d * coefficient;
                noteSubnormal(closest, state);
            }
            const ChannelLanes p = d * makeup;
            storeLanes(p, gained, k);
            // Stereo link: the detectors see the larger magnitude of the channels.
            ChannelLanes magnitudes;
            magnitudeLanes(magnitudes, p);
            const double magnitude = largestLane(magnitudes);
            peak[k] = magnitude;
            const double e1 = PeakHoldDetector::advance(holderPhase, magnitude, holderFloor, holderRelease);
            const double e2 = SmoothPeakDetector::advance(followerPhase, magnitude, followerFloor,
                                                          followerAttack, followerRelease);
            const double env = std::max(e1, e2);
            envelope[k] = Divide ? (env >= kOutputClamp ? kOutputClamp / env : 1.0) : env;
            largest = std::max(largest, env);
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

        if constexpr (!Flush) {
            ChannelLanes below;
            fillLanes(below, 0.5 * DBL_MIN);
            below = below - closest;
            if (largestLane(below) > 0.0) return false;
        }
        if constexpr (Channels == 2) {
            dcBlockers[0].setState(state[0]);
            dcBlockers[1].setState(state[1]);
        } else {
            dcBlockers[0].setState(state);
        }
        holder.blockPhase() = holderPhase;
        follower.blockPhase() = followerPhase;
        holder.floorHistory().recordRun(peak, count);
        follower.floorHistory().recordRun(peak, count);
        highest = largest;
        return true;
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

    void publish(int meter, double value) { publisher.publishMeter(meter, static_cast<float>(value)); }

    void resetDetectors() {
        autoFastDetector.reset();
        autoSlowDetector.reset();
        manualDetector.reset();
        manualFloorDetector.reset();
    }

    MeterPublisher& publisher;
    const bool wideVectors = hasWideVectors();
    const float loudMagnitude = fromBits(kLoudBits);

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

    std::int32_t quietCount = 0;
    bool gateOpen = false;
    bool idleResetDone = false;
    // Whether the last block's envelopes reached the clamp (see envelopeTargets).
    bool reducing = false;
};
