// Sample peak, true peak, integrated loudness and loudness range of a stream: loudness and range measured
// with libebur128, true peak with TruePeakMeter.
#pragma once

#include "TruePeakMeter.h"

#include <ebur128.h>

#include <cstdint>
#include <memory>
#include <vector>

class LoudnessMeter {
  public:
    // What a meter measures: loudness alone is a fraction of the cost of everything, and the true peak most
    // of the rest.
    enum class Scope { Loudness, LoudnessAndTruePeak, Everything };

    // Throws std::runtime_error when libebur128 cannot measure this layout.
    LoudnessMeter(int channels, int sampleRate, Scope scope = Scope::Everything);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const float* interleaved, std::int64_t frames);
    // The two halves of add, for measuring one stream on two threads: each half by one thread at a time.
    void addLoudness(const float* interleaved, std::int64_t frames);
    void addTruePeak(const float* interleaved, std::int64_t frames);

    double samplePeak() const { return samplePeak_; } // linear, largest magnitude of any sample
    double truePeak() const;                          // linear, over all channels; ends the stream
    double loudness() const;                          // LUFS, gated; -infinity for silence or under 0.4 s
    double loudnessRange() const;                     // LU; 0 for material too short or too quiet

    // The same figures over several streams taken together, as one album: loudness and range over all their
    // blocks, the largest peaks of any.
    static double loudness(const std::vector<const LoudnessMeter*>& meters);
    static double loudnessRange(const std::vector<const LoudnessMeter*>& meters);
    static double samplePeak(const std::vector<const LoudnessMeter*>& meters);
    static double truePeak(const std::vector<const LoudnessMeter*>& meters);

  private:
    static std::vector<ebur128_state*> statesOf(const std::vector<const LoudnessMeter*>& meters);

    std::unique_ptr<TruePeakMeter> truePeak_; // only when measuring everything; made first, freed last
    ebur128_state* state_;
    int channels_;
    double samplePeak_ = 0.0;
};
