// Sample-accurate parameter changes, for every format: the format walks its host's events of one block and
// hands each parameter change to a BlockSplitter, which processes the frames before the change through
// LimiterCore::process and then applies the change, so it takes effect at its own frame. The next sub-block
// starts there; finish() processes what is left.
//
// Hosts should send changes in time order and inside the block; a change dated before frames already
// processed takes effect at once, and one dated at or past the block's end after the block's last frame, so
// no order of events can make the splitter process a frame twice or outside the buffers.
//
// Threads: the audio thread, for one block. Nothing is allocated.
#pragma once

#include "core/LimiterCore.h"
#include "core/ParameterLayout.h"

#include <algorithm>
#include <cstdint>

class BlockSplitter {
  public:
    // The buffers as LimiterCore::process takes them; outputs may be the inputs.
    BlockSplitter(LimiterCore& core, const float* const* inputs, float* const* outputs, std::uint32_t frames)
        : core_(core), inputs_(inputs), outputs_(outputs),
          frames_(std::min<std::uint32_t>(frames, kMaxBlockFrames)) {}

    // `value` is normalised; LimiterCore::setValue drops what is not finite.
    void change(std::uint32_t frame, ParameterId id, float value) {
        processUntil(frame);
        core_.setValue(id, value);
    }

    void finish() { processUntil(frames_); }

  private:
    // LimiterCore::process counts frames in a signed 32-bit number.
    static constexpr std::uint32_t kMaxBlockFrames = 0x7FFFFFFF;

    void processUntil(std::uint32_t frame) {
        frame = std::min(frame, frames_);
        if (frame <= done_) return;
        const float* inputs[LimiterCore::kChannels];
        float* outputs[LimiterCore::kChannels];
        for (int channel = 0; channel < LimiterCore::kChannels; ++channel) {
            inputs[channel] = inputs_[channel] + done_;
            outputs[channel] = outputs_[channel] + done_;
        }
        core_.process(inputs, outputs, static_cast<std::int32_t>(frame - done_));
        done_ = frame;
    }

    LimiterCore& core_;
    const float* const* inputs_;
    float* const* outputs_;
    const std::uint32_t frames_;
    std::uint32_t done_ = 0;
};
