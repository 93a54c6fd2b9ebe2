#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

#include "dsp/HoldRelease.h"

// Envelope that jumps to every new peak, holds for 39 samples and then releases with a half-life.
// The release settings may be changed from any thread while audio runs (relaxed atomics); the audio loop
// reads releaseCoefficient() once per block and passes it to push. setSampleRate runs while audio is stopped.
class PeakHoldDetector {
  public:
    static constexpr double kDefaultSampleRate = 44100.0;

    explicit PeakHoldDetector(double releaseSecondsAtStart) : releaseSeconds(releaseSecondsAtStart) {
        updateReleaseCoefficient();
    }

    void setSampleRate(double fs) {
        sampleRate.store(fs, std::memory_order_relaxed);
        updateReleaseCoefficient();
    }

    // Half-life of the release in seconds.
    void setReleaseSeconds(double seconds) {
        releaseSeconds.store(seconds, std::memory_order_relaxed);
        updateReleaseCoefficient();
    }

    void reset() {
        env = 0.0;
        holdRelease.reset();
    }

    // Audio thread: takes the signed peak sample, returns the new envelope.
    double push(double x, double releaseCoefficientNow) {
        const double magnitude = std::fabs(x);
        if (magnitude >= env) {
            env = magnitude;
            holdRelease.restartHold();
            return env;
        }
        env = holdRelease.below(magnitude, env, releaseCoefficientNow);
        return env;
    }
    double push(double x) { return push(x, releaseCoefficient()); }

    double releaseCoefficient() const { return releaseCoefficientValue.load(std::memory_order_relaxed); }
    double currentReleaseSeconds() const { return releaseSeconds.load(std::memory_order_relaxed); }
    double currentSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    double envelope() const { return env; }
    std::int32_t currentHoldCount() const { return holdRelease.currentHoldCount(); }

  private:
    // A half-life of T seconds halves the envelope every T x fs samples.
    void updateReleaseCoefficient() {
        const double samples =
            releaseSeconds.load(std::memory_order_relaxed) * sampleRate.load(std::memory_order_relaxed);
        releaseCoefficientValue.store(std::pow(0.5, 1.0 / samples), std::memory_order_relaxed);
    }

    std::atomic<double> sampleRate{kDefaultSampleRate};
    std::atomic<double> releaseSeconds;
    std::atomic<double> releaseCoefficientValue{0.0};
    double env = 0.0;
    HoldRelease holdRelease;
};
