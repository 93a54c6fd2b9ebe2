#pragma once

#include "dsp/Flush.h"

// One-pole DC blocker: subtracts a running mean whose coefficient is 1 / sample rate.
// setSampleRate runs while audio is stopped (host discipline); process and reset on the audio thread.
class DcBlocker {
  public:
    static constexpr double kDefaultSampleRate = 44100.0;

    void setSampleRate(double fs) {
        sampleRate = fs;
        coefficient = 1.0 / fs;
    }

    void reset() { state = 0.0; }

    // Returns the input minus the state before this sample's update.
    double process(double x) {
        const double d = flushToZero(x - state);
        state = flushToZero(state + d * coefficient);
        return d;
    }

    // The limiter's block loop keeps the state in a local and stores it back.
    void setState(double value) { state = value; }

    double currentState() const { return state; }
    double currentCoefficient() const { return coefficient; }
    double currentSampleRate() const { return sampleRate; }

  private:
    double sampleRate = kDefaultSampleRate;
    double state = 0.0;
    double coefficient = 1.0 / kDefaultSampleRate;
};
