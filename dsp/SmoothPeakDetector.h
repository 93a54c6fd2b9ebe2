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

    // Also clears the floor ring; the envelope and the phase survive.
    void setSampleRate(double fs) {
        sampleRate.store(fs, std::memory_order_relaxed);
        releaseCoefficientValue.store(std::pow(0.5, 1.0 / (fs * releaseHalfLife)), std::memory_order_relaxed);
        holdRelease.clearRing();
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

    void reset() {
        env = 0.0;
        holdRelease.reset();
    }

    // Audio thread: takes the signed peak sample, returns the new envelope.
    double push(double x, double attackCoefficientNow, double releaseCoefficientNow) {
        const double magnitude = std::fabs(x);
        if (magnitude >= env) {
            holdRelease.restartHold();
            env = magnitude + (env - magnitude) * attackCoefficientNow;
            return env;
        }
        env = holdRelease.below(magnitude, env, releaseCoefficientNow);
        return env;
    }
    double push(double x) { return push(x, attackCoefficient(), releaseCoefficient()); }

    double attackCoefficient() const { return attackCoefficientValue.load(std::memory_order_relaxed); }
    double releaseCoefficient() const { return releaseCoefficientValue.load(std::memory_order_relaxed); }
    double currentAttackMs() const { return attackMs.load(std::memory_order_relaxed); }
    double currentSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    double envelope() const { return env; }
    std::int32_t currentHoldCount() const { return holdRelease.currentHoldCount(); }

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
    double env = 0.0;
    HoldRelease holdRelease;
};
