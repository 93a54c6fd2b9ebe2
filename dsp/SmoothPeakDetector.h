#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

#include "dsp/HoldRelease.h"

// Envelope that approaches a rising input with a one-pole attack (99 % of a step after the attack time) and
// otherwise holds and releases like PeakHoldDetector. The attack is either fixed at construction or set
// through setAttackMs, which may be called from any thread while audio runs (relaxed atomics); the audio loop
// reads the coefficients once per block. setSampleRate runs while audio is stopped.
class SmoothPeakDetector {
  public:
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr double kAdjustableAttack = 0.0;

    // fixedAttackSeconds == kAdjustableAttack: the attack comes from setAttackMs (0 ms until then).
    SmoothPeakDetector(double releaseHalfLifeSeconds, double fixedAttackSeconds)
        : releaseHalfLife(releaseHalfLifeSeconds), fixedAttack(fixedAttackSeconds) {
        releaseCoefficientValue.store(std::pow(0.5, 1.0 / (kDefaultSampleRate * releaseHalfLife)),
                                      std::memory_order_relaxed);
        if (fixedAttack != kAdjustableAttack) applyFixedAttack(kDefaultSampleRate);
    }

    // Also clears the floor history; the envelope and the phase survive.
    void setSampleRate(double fs) {
        sampleRate.store(fs, std::memory_order_relaxed);
        releaseCoefficientValue.store(std::pow(0.5, 1.0 / (fs * releaseHalfLife)), std::memory_order_relaxed);
        floors.clear();
        if (fixedAttack != kAdjustableAttack) {
            applyFixedAttack(fs);
        } else {
            updateAttackCoefficient();
        }
    }

    void setAttackMs(double milliseconds) {
        attackMs.store(milliseconds, std::memory_order_relaxed);
        updateAttackCoefficient();
    }

    // The floor history survives: a release phase needs 39 pushes after the reset, which rewrite it.
    void reset() { phase = DetectorPhase{}; }

    // One push of a magnitude with its floor (see FloorHistory); the block loop keeps the phase in locals.
    static double advance(DetectorPhase& p, double magnitude, double floor, double attackCoefficientNow,
                          double releaseCoefficientNow) {
        const bool rising = magnitude >= p.env;
        const double attacked = magnitude + (p.env - magnitude) * attackCoefficientNow;
        const double held = holdOrRelease(p.env, floor, releaseCoefficientNow, p.holdCount);
        p.holdCount = rising ? 0 : p.holdCount;
        p.env = rising ? attacked : held;
        return p.env;
    }

    // Audio thread: takes the signed peak sample, returns the new envelope.
    double push(double x, double attackCoefficientNow, double releaseCoefficientNow) {
        const double magnitude = std::fabs(x);
        return advance(phase, magnitude, floors.exchange(magnitude), attackCoefficientNow,
                       releaseCoefficientNow);
    }
    double push(double x) { return push(x, attackCoefficient(), releaseCoefficient()); }

    // Block access for the limiter loop: the phase, and the floor history it must record every push in.
    DetectorPhase& blockPhase() { return phase; }
    FloorHistory& floorHistory() { return floors; }

    double attackCoefficient() const { return attackCoefficientValue.load(std::memory_order_relaxed); }
    double releaseCoefficient() const { return releaseCoefficientValue.load(std::memory_order_relaxed); }
    double currentAttackMs() const { return attackMs.load(std::memory_order_relaxed); }
    double currentSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    double envelope() const { return phase.env; }
    std::int32_t currentHoldCount() const { return phase.holdCount; }

  private:
    void applyFixedAttack(double fs) {
        attackMs.store(fixedAttack * 1000.0, std::memory_order_relaxed);
        attackCoefficientValue.store(std::pow(0.01, 1.0 / (fs * fixedAttack)), std::memory_order_relaxed);
    }

    // An attack of A ms reaches 99 % of a step after A x fs / 1000 samples.
    void updateAttackCoefficient() {
        const double samples =
            attackMs.load(std::memory_order_relaxed) * sampleRate.load(std::memory_order_relaxed) * 0.001;
        attackCoefficientValue.store(std::pow(0.01, 1.0 / samples), std::memory_order_relaxed);
    }

    const double releaseHalfLife;
    const double fixedAttack;
    std::atomic<double> sampleRate{kDefaultSampleRate};
    std::atomic<double> attackMs{0.0};
    std::atomic<double> attackCoefficientValue{0.0};
    std::atomic<double> releaseCoefficientValue{0.0};
    DetectorPhase phase;
    FloorHistory floors;
};
