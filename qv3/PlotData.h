// What the picture of a file shows, gathered while qv3 reads and renders it: per column of the time axis, the
// envelopes of input and output, the lowest gain the plug-in's reduction meter read, the short-term loudness
// (3 s) of input and output and the output's true peak.
//
// Memory does not grow with the file: the columns are few and fixed in number, and when the stream runs past
// the last one, neighbours merge in pairs and each column covers twice the time from then on.
#pragma once

#include "TruePeakMeter.h"

#include <ebur128.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

struct PlotColumn {
    // Smallest and largest sample of any channel; low > high while the column has no samples of the stream.
    float inputLow = std::numeric_limits<float>::max();
    float inputHigh = std::numeric_limits<float>::lowest();
    float outputLow = std::numeric_limits<float>::max();
    float outputHigh = std::numeric_limits<float>::lowest();
    float lowestGain = 1.0f; // linear, of the reduction meter's readings in the column
    // LUFS, the loudest 3 s window ending in the column; NaN when no window ends there.
    float inputShortTerm = std::numeric_limits<float>::quiet_NaN();
    float outputShortTerm = std::numeric_limits<float>::quiet_NaN();
    float outputTruePeak = 0.0f; // linear
};

struct PlotData {
    int sampleRate = 0;
    std::int64_t frames = 0; // the longer of input and output
    std::int64_t framesPerColumn = 1;
    std::vector<PlotColumn> columns;
    bool hasOutput = false;
    bool hasGain = false;             // the plug-in published its reduction meter
    std::optional<double> targetLufs; // drawn as a line in the loudness lane
    double overDbtp = 0.0;            // output true peaks above this are marked as overs

    double seconds() const { return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0; }
    // The deepest gain reduction of the trace, in dB (positive), as the reduction lane draws it.
    double deepestReductionDb() const;
};

// Fed by one thread at a time, from the passes that read and render a file.
class PlotCollector {
  public:
    static constexpr std::size_t kColumns = 2048;

    // Throws std::runtime_error when libebur128 or libsoxr cannot measure this layout.
    PlotCollector(int channels, int sampleRate, bool withOutput);
    ~PlotCollector();
    PlotCollector(const PlotCollector&) = delete;
    PlotCollector& operator=(const PlotCollector&) = delete;

    void addInput(const float* interleaved, std::int64_t frames);
    void addOutput(const float* interleaved, std::int64_t frames);
    // A reading of the plug-in's reduction meter after a block, placed where the output has got to.
    void addGain(double gain);

    PlotData finish(std::optional<double> targetLufs, double overDbtp);

  private:
    struct Stream {
        ebur128_state* loudness = nullptr;
        std::int64_t position = 0;
        float PlotColumn::*low;
        float PlotColumn::*high;
        float PlotColumn::*shortTerm;
    };

    void add(Stream& stream, const float* interleaved, std::int64_t frames);
    PlotColumn& columnAt(std::int64_t frame);

    int channels_;
    std::int64_t framesPerReading_; // short-term loudness is read every 250 ms
    Stream input_;
    Stream output_;
    std::unique_ptr<TruePeakMeter> outputTruePeak_;
    std::vector<PlotColumn> columns_;
    std::size_t used_ = 0;
    std::int64_t framesPerColumn_ = 1;
    int sampleRate_;
    bool hasGain_ = false;
};
