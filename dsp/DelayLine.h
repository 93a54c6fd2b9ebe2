#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

// Fixed delay of `Delay` frames for every channel of a build, worked in blocks of up to `Capacity` frames.
// Each channel is one linear buffer: the last Delay inputs, then room for a block. A block's inputs are
// written after the kept ones, so the delayed signal for the block is simply the buffer's start, with no
// wrap-around in the loops; advance() then keeps the last Delay inputs for the next block.
// Same results as a ring of Delay + 1 slots read one slot ahead of the write. Audio thread only.
template <int Delay, int Channels, int Capacity> class DelayLine {
  public:
    static constexpr std::int32_t kCapacity = Capacity;

    void reset() {
        for (auto& line : lines)
            std::fill(line.begin(), line.begin() + Delay, 0.0);
    }

    // Where the block's inputs go (up to Capacity frames).
    double* blockInput(int channel) { return lines[static_cast<std::size_t>(channel)].data() + Delay; }
    // The block's outputs: input frame k comes out at frame k + Delay.
    const double* blockOutput(int channel) const { return lines[static_cast<std::size_t>(channel)].data(); }

    // Ends a block of `frames` inputs.
    void advance(std::int32_t frames) {
        for (auto& line : lines)
            std::copy(line.begin() + frames, line.begin() + frames + Delay, line.begin());
    }

    // Same as `count` inputs of silence.
    void pushSilence(std::int64_t count) {
        const std::int32_t shift = count < Delay ? static_cast<std::int32_t>(count) : Delay;
        for (auto& line : lines) {
            std::copy(line.begin() + shift, line.begin() + Delay, line.begin());
            std::fill(line.begin() + (Delay - shift), line.begin() + Delay, 0.0);
        }
    }

  private:
    std::array<std::array<double, Delay + Capacity>, Channels> lines{};
};
