#include "PlotData.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {
ebur128_state* shortTermMeter(int channels, int sampleRate) {
    ebur128_state* state =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_S);
    if (!state)
        throw std::runtime_error("libebur128 cannot measure " + std::to_string(channels) + " channels at " +
                                 std::to_string(sampleRate) + " Hz");
    return state;
}

// NaN, for no reading, gives way to any reading.
float louder(float a, float b) { return std::fmax(a, b); }

PlotColumn merged(const PlotColumn& a, const PlotColumn& b) {
    PlotColumn column;
    column.inputLow = std::min(a.inputLow, b.inputLow);
    column.inputHigh = std::max(a.inputHigh, b.inputHigh);
    column.outputLow = std::min(a.outputLow, b.outputLow);
    column.outputHigh = std::max(a.outputHigh, b.outputHigh);
    column.lowestGain = std::min(a.lowestGain, b.lowestGain);
    column.inputShortTerm = louder(a.inputShortTerm, b.inputShortTerm);
    column.outputShortTerm = louder(a.outputShortTerm, b.outputShortTerm);
    column.outputTruePeak = std::max(a.outputTruePeak, b.outputTruePeak);
    return column;
}
} // namespace

double PlotData::deepestReductionDb() const {
    float lowest = 1.0f;
    for (const PlotColumn& column : columns)
        lowest = std::min(lowest, column.lowestGain);
    return lowest > 0.0f ? 0.0 - 20.0 * std::log10(static_cast<double>(lowest)) : HUGE_VAL; // never -0
}

PlotCollector::PlotCollector(int channels, int sampleRate, bool withOutput)
    : channels_(channels),
      framesPerReading_(std::max(1, sampleRate / 4)), input_{nullptr, 0, &PlotColumn::inputLow,
                                                             &PlotColumn::inputHigh,
                                                             &PlotColumn::inputShortTerm},
      output_{nullptr, 0, &PlotColumn::outputLow, &PlotColumn::outputHigh, &PlotColumn::outputShortTerm},
      columns_(kColumns), sampleRate_(sampleRate) {
    input_.loudness = shortTermMeter(channels, sampleRate);
    if (!withOutput) return;
    try {
        output_.loudness = shortTermMeter(channels, sampleRate);
        outputTruePeak_ = std::make_unique<TruePeakMeter>(channels, sampleRate);
    } catch (...) {
        ebur128_destroy(&input_.loudness);
        if (output_.loudness) ebur128_destroy(&output_.loudness);
        throw;
    }
}

PlotCollector::~PlotCollector() {
    ebur128_destroy(&input_.loudness);
    if (output_.loudness) ebur128_destroy(&output_.loudness);
}

void PlotCollector::addInput(const float* interleaved, std::int64_t frames) {
    add(input_, interleaved, frames);
}

void PlotCollector::addOutput(const float* interleaved, std::int64_t frames) {
    add(output_, interleaved, frames);
}

void PlotCollector::addGain(double gain) {
    hasGain_ = true;
    PlotColumn& column = columnAt(std::max<std::int64_t>(0, output_.position - 1));
    column.lowestGain = std::min(column.lowestGain, static_cast<float>(gain));
}

// Column by column, and no further than the next short-term reading, so that each piece lands in one column.
void PlotCollector::add(Stream& stream, const float* interleaved, std::int64_t frames) {
    while (frames > 0) {
        PlotColumn& column = columnAt(stream.position);
        const std::int64_t toColumnEnd = framesPerColumn_ - stream.position % framesPerColumn_;
        const std::int64_t toReading = framesPerReading_ - stream.position % framesPerReading_;
        const std::int64_t piece = std::min({frames, toColumnEnd, toReading});
        const std::size_t samples = static_cast<std::size_t>(piece * channels_);
        const auto [low, high] = std::minmax_element(interleaved, interleaved + samples);
        column.*stream.low = std::min(column.*stream.low, *low);
        column.*stream.high = std::max(column.*stream.high, *high);
        ebur128_add_frames_float(stream.loudness, interleaved, static_cast<std::size_t>(piece));
        if (&stream == &output_) {
            outputTruePeak_->add(interleaved, piece);
            column.outputTruePeak =
                std::max(column.outputTruePeak, static_cast<float>(outputTruePeak_->takeRecentPeak()));
        }
        stream.position += piece;
        if (piece == toReading) {
            double lufs = -HUGE_VAL;
            if (ebur128_loudness_shortterm(stream.loudness, &lufs) == EBUR128_SUCCESS)
                column.*stream.shortTerm = louder(column.*stream.shortTerm, static_cast<float>(lufs));
        }
        interleaved += samples;
        frames -= piece;
    }
}

PlotColumn& PlotCollector::columnAt(std::int64_t frame) {
    while (frame / framesPerColumn_ >= static_cast<std::int64_t>(kColumns)) {
        for (std::size_t index = 0; index < kColumns / 2; ++index)
            columns_[index] = merged(columns_[2 * index], columns_[2 * index + 1]);
        std::fill(columns_.begin() + kColumns / 2, columns_.end(), PlotColumn());
        framesPerColumn_ *= 2;
        used_ = (used_ + 1) / 2;
    }
    const std::size_t index = static_cast<std::size_t>(frame / framesPerColumn_);
    used_ = std::max(used_, index + 1);
    return columns_[index];
}

PlotData PlotCollector::finish(std::optional<double> targetLufs, double overDbtp) {
    if (outputTruePeak_ && output_.position > 0) {
        outputTruePeak_->peak(); // the oversampler's tail belongs to the last column
        PlotColumn& last = columnAt(output_.position - 1);
        last.outputTruePeak =
            std::max(last.outputTruePeak, static_cast<float>(outputTruePeak_->takeRecentPeak()));
    }
    PlotData data;
    data.sampleRate = sampleRate_;
    data.frames = std::max(input_.position, output_.position);
    data.framesPerColumn = framesPerColumn_;
    data.columns.assign(columns_.begin(), columns_.begin() + static_cast<std::ptrdiff_t>(used_));
    data.hasOutput = output_.loudness != nullptr;
    data.hasGain = hasGain_;
    data.targetLufs = targetLufs;
    data.overDbtp = overDbtp;
    return data;
}
