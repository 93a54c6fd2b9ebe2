#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

// Hold and release phases shared by both detector kinds: after a new peak the envelope stays flat for 39
// pushes below it, then decays per sample, but never below the magnitude pushed 38 pushes earlier (the
// floor). Audio thread only.

constexpr std::int32_t kHoldLength = 39;
// Age of the floor: a release push reads the magnitude pushed this many pushes before it.
constexpr std::int32_t kFloorAge = kHoldLength - 1;

// The magnitudes of the last kFloorAge pushes, oldest first. A release phase only starts after 39 pushes
// below the envelope, which rewrite all of them, so storing every push (not only those below the envelope)
// and clearing on reset give the same floors as a ring written only in the hold and release phases.
// Each magnitude is kept twice, kFloorAge slots apart, so the floors of the next kFloorAge pushes are always
// one contiguous run that a block loop can read without wrapping.
class FloorHistory {
  public:
    void clear() {
        slots.fill(0.0);
        next = 0;
    }

    // Floors of the next kFloorAge pushes, in push order.
    const double* upcomingFloors() const { return slots.data() + next; }

    // Floor of the next push; then records its magnitude.
    double exchange(double magnitude) {
        const double floor = slots[static_cast<std::size_t>(next)];
        record(magnitude);
        return floor;
    }

    // Records `count` pushed magnitudes, oldest first.
    void recordRun(const double* magnitudes, std::int32_t count) {
        if (count >= kFloorAge) {
            const double* last = magnitudes + (count - kFloorAge);
            std::copy(last, last + kFloorAge, slots.begin());
            std::copy(last, last + kFloorAge, slots.begin() + kFloorAge);
            next = 0;
            return;
        }
        for (std::int32_t k = 0; k < count; ++k)
            record(magnitudes[k]);
    }

  private:
    void record(double magnitude) {
        slots[static_cast<std::size_t>(next)] = magnitude;
        slots[static_cast<std::size_t>(next + kFloorAge)] = magnitude;
        next = next + 1 == kFloorAge ? 0 : next + 1;
    }

    std::array<double, 2 * kFloorAge> slots{};
    std::int32_t next = 0;
};

// Envelope after a push below it: flat during the hold, then decay raised to the floor. Advances the hold
// count. Written with selects rather than branches so that it compiles to straight-line code inside the
// detectors' block loop, where the phase changes unpredictably under heavy limiting.
inline double holdOrRelease(double envelope, double floor, double releaseCoefficient,
                            std::int32_t& holdCount) {
    // Same as "decay, then raise to the floor when at or below it".
    const double released = std::max(floor, envelope * releaseCoefficient);
    const double result = holdCount >= kHoldLength ? released : envelope;
    holdCount = std::min(holdCount + 1, kHoldLength);
    return result;
}

// Envelope and hold count of one detector, kept in locals by the block loop.
struct DetectorPhase {
    double env = 0.0;
    std::int32_t holdCount = 0;
};
