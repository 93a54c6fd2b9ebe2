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
        phase = DetectorPhase{};
        floors.clear();
    }

    // One push of a magnitude with its floor (see FloorHistory); the block loop keeps the phase in locals.
    static double advance(DetectorPhase& p, double magnitude, double floor, double releaseCoefficientNow) {
        const bool rising = magnitude >= p.env;
        const double held = holdOrRelease(p.env, floor, releaseCoefficientNow, p.holdCount);
        p.holdCount = rising ? 0 : p.holdCount;
        p.env = rising ? magnitude : held;
        return p.env;
    }

    // Audio thread: takes the signed peak sample, returns the new envelope.
    double push(double x, double releaseCoefficientNow) {
        const double magnitude = std::fabs(x);
        return advance(phase, magnitude, floors.exchange(magnitude), releaseCoefficientNow);
    }
    double push(double x) { return push(x, releaseCoefficient()); }

    // Block access for the limiter loop: the phase, and the floor history it must record every push in.
    DetectorPhase& blockPhase() { return phase; }
    FloorHistory& floorHistory() { return floors; }

    double releaseCoefficient() const { return releaseCoefficientValue.load(std::memory_order_relaxed); }
    double currentReleaseSeconds() const { return releaseSeconds.load(std::memory_order_relaxed); }
    double currentSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    double envelope() const { return phase.env; }
    std::int32_t currentHoldCount() const { return phase.holdCount; }

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
    DetectorPhase phase;
    FloorHistory floors;
};
