#pragma once

#include <array>
#include <cstdint>

// Fixed delay line for all channels of a build, one slot per frame. Each push stores a frame and returns the
// frame Length - 1 pushes old (the ring is read one slot ahead of the write). Audio thread only.
template <int Length, int Channels> class DelayRing {
  public:
    using Frame = std::array<double, Channels>;

    void reset() {
        for (Frame& frame : slots)
            frame.fill(0.0);
        writeSlot = 0;
    }

    const Frame& push(const Frame& frame) {
        slots[static_cast<std::size_t>(writeSlot)] = frame;
        writeSlot = writeSlot + 1 == Length ? 0 : writeSlot + 1;
        return slots[static_cast<std::size_t>(writeSlot)];
    }

    // Same as `count` pushes of silence; only the last Length of them leave a trace.
    void pushSilence(std::int64_t count) {
        const std::int64_t written = count < Length ? count : Length;
        for (std::int64_t k = 0; k < written; ++k) {
            slots[static_cast<std::size_t>((writeSlot + k) % Length)].fill(0.0);
        }
        writeSlot = static_cast<std::int32_t>((writeSlot + count) % Length);
    }

  private:
    std::array<Frame, Length> slots{};
    std::int32_t writeSlot = 0;
};
