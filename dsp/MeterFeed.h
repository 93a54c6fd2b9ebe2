#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

// One meter: collects the peak (or, for the gain meter, the minimum) of its measurements and publishes it
// once per meter period. `published` is read from the user-interface thread, hence atomic.
struct MeterChannel {
    enum class Kind { Peak, Minimum };

    Kind kind = Kind::Peak;
    std::atomic<double> published{0.0};
    double running = 0.0;
    std::int32_t counter = 0;

    double restValue() const { return kind == Kind::Peak ? 0.0 : 1.0; }

    // Collected values are capped at 1.0.
    void measure(double value) {
        if (kind == Kind::Peak) {
            running = std::max(running, std::min(value, 1.0));
        } else {
            running = std::min(running, std::min(value, 1.0));
        }
    }
};

// The meters of one build, stepped once per sample in index order. A meter whose counter has reached the
// period publishes instead of measuring. Between publications only the collected values change, so the
// counters are brought up to date lazily: `quietSamples` samples may pass before the next meter is due. Audio
// thread only, except where noted.
template <int Count> class MeterFeed {
  public:
    static constexpr std::int32_t kDefaultPeriod = 4410;
    static constexpr std::int32_t kMinimumPeriod = 2200;

    struct Start {
        MeterChannel::Kind kind;
        std::int32_t counter;
    };

    explicit MeterFeed(const std::array<Start, Count>& starts) {
        for (int m = 0; m < Count; ++m)
            meters[m].kind = starts[static_cast<std::size_t>(m)].kind;
        reset(starts);
    }

    void reset(const std::array<Start, Count>& starts) {
        for (int m = 0; m < Count; ++m) {
            MeterChannel& meter = meters[m];
            meter.published.store(meter.restValue(), std::memory_order_relaxed);
            meter.running = meter.restValue();
            meter.counter = starts[static_cast<std::size_t>(m)].counter;
        }
        pendingSamples = 0;
        updateQuietSamples();
    }

    // While audio is stopped (host discipline).
    void setPeriod(std::int32_t samples) {
        syncCounters();
        period = samples;
        updateQuietSamples();
    }
    std::int32_t currentPeriod() const { return period; }

    // Full step: measurements in meter order. publish(meterNumber, runningValue) is called for each due
    // meter.
    template <typename Publish> void step(const double (&measurements)[Count], Publish&& publish) {
        if (quietSamples > 0) {
            --quietSamples;
            ++pendingSamples;
            for (int m = 0; m < Count; ++m)
                meters[m].measure(measurements[m]);
            return;
        }
        syncCounters();
        for (int m = 0; m < Count; ++m) {
            MeterChannel& meter = meters[m];
            if (meter.counter < period) {
                ++meter.counter;
                meter.measure(measurements[m]);
            } else {
                publishMeter(m, publish);
            }
        }
        updateQuietSamples();
    }

    // Frames on which every meter only counts and measures before one of them is due.
    std::int32_t framesBeforeDue() const { return quietSamples; }

    // `frames` full steps at once, given the extremes of their measurements (the largest value of each peak
    // meter, the smallest gain): the collected values are the same as after stepping frame by frame. Either
    // frames <= framesBeforeDue(), or a single frame.
    template <typename Publish>
    void stepRun(const double (&extremes)[Count], std::int32_t frames, Publish&& publish) {
        if (frames > quietSamples) {
            step(extremes, publish);
            return;
        }
        quietSamples -= frames;
        pendingSamples += frames;
        for (int m = 0; m < Count; ++m)
            meters[m].measure(extremes[m]);
    }

    // `samples` idle steps: counters advance and due meters publish, nothing is measured.
    template <typename Publish> void advanceIdle(std::int64_t samples, Publish&& publish) {
        while (samples > 0) {
            if (quietSamples > 0) {
                const std::int64_t skipped = std::min<std::int64_t>(quietSamples, samples);
                quietSamples -= static_cast<std::int32_t>(skipped);
                pendingSamples += static_cast<std::int32_t>(skipped);
                samples -= skipped;
                continue;
            }
            syncCounters();
            for (int m = 0; m < Count; ++m) {
                MeterChannel& meter = meters[m];
                if (meter.counter < period) {
                    ++meter.counter;
                } else {
                    publishMeter(m, publish);
                }
            }
            updateQuietSamples();
            --samples;
        }
    }

    // Any thread.
    double published(int meter) const { return meters[meter].published.load(std::memory_order_relaxed); }
    void storePublished(int meter, double value) {
        meters[meter].published.store(value, std::memory_order_relaxed);
    }

    double running(int meter) const { return meters[meter].running; }
    std::int32_t counter(int meter) const { return meters[meter].counter + pendingSamples; }

  private:
    template <typename Publish> void publishMeter(int m, Publish& publish) {
        MeterChannel& meter = meters[m];
        const double value = meter.running;
        meter.published.store(value, std::memory_order_relaxed);
        publish(m, value);
        meter.running = meter.restValue();
        meter.counter = 0;
    }

    void syncCounters() {
        for (int m = 0; m < Count; ++m)
            meters[m].counter += pendingSamples;
        pendingSamples = 0;
    }

    // Samples on which every meter only counts (and measures) before one of them is due.
    void updateQuietSamples() {
        std::int32_t quiet = period;
        for (int m = 0; m < Count; ++m)
            quiet = std::min(quiet, std::max(period - meters[m].counter, 0));
        quietSamples = quiet;
    }

    std::array<MeterChannel, Count> meters{};
    std::int32_t period = kDefaultPeriod;
    std::int32_t pendingSamples = 0;
    std::int32_t quietSamples = 0;
};
