// Sample peak, true peak and integrated loudness of a stream, measured with libebur128.
#pragma once

#include <ebur128.h>

#include <cstdint>

class LevelMeter {
  public:
    // Throws std::runtime_error when libebur128 cannot measure this layout.
    LevelMeter(int channels, int sampleRate);
    ~LevelMeter();
    LevelMeter(const LevelMeter&) = delete;
    LevelMeter& operator=(const LevelMeter&) = delete;

    void add(const float* interleaved, std::int64_t frames);

    double samplePeak() const { return samplePeak_; } // linear, largest magnitude of any sample
    double truePeak() const;                          // linear, oversampled estimate over all channels
    double loudness() const;                          // LUFS, gated; -infinity for silence or under 0.4 s

  private:
    ebur128_state* state_;
    int channels_;
    double samplePeak_ = 0.0;
};
