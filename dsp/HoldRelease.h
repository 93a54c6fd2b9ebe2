#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

// Hold and release phases shared by both detector kinds: after a new peak the envelope stays flat for 39
// pushes below it, then decays per sample, but never below the magnitude pushed 38 pushes earlier (the
// floor). Audio thread only.
class HoldRelease {
  public:
    static constexpr std::int32_t kLength = 39;

    // A release phase only starts after 39 pushes have rewritten every slot, so clearing the ring here is
    // equivalent to keeping it (which is all the smooth detector's reset does).
    void reset() {
        holdCount = 0;
        clearRing();
    }

    // Zeroes the ring and its position but keeps the phase: a floor read after this is 0.0.
    void clearRing() {
        writeIndex = 0;
        ring.fill(0.0);
    }

    // Restarts the hold phase; called when the input reaches the envelope.
    void restartHold() { holdCount = 0; }

    // Handles an input magnitude below the envelope and returns the new envelope.
    double below(double magnitude, double envelope, double releaseCoefficient) {
        if (holdCount < kLength) {
            if (holdCount == 0) writeIndex = 0;
            ring[static_cast<std::size_t>(writeIndex)] = magnitude;
            ++writeIndex;
            ++holdCount;
            return envelope;
        }
        std::int32_t readIndex = writeIndex + 1;
        if (readIndex >= kLength) readIndex -= kLength;
        const double floor = ring[static_cast<std::size_t>(readIndex)];
        if (writeIndex >= kLength) writeIndex = 0;
        ring[static_cast<std::size_t>(writeIndex)] = magnitude;
        ++writeIndex;
        // Same as "decay, then raise to the floor when at or below it".
        return std::max(floor, envelope * releaseCoefficient);
    }

    std::int32_t currentHoldCount() const { return holdCount; }

  private:
    std::int32_t holdCount = 0;
    std::int32_t writeIndex = 0;
    std::array<double, kLength> ring{};
};
