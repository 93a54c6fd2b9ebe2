#include "LoudnessMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace {
constexpr double kSilence = -std::numeric_limits<double>::infinity();
} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate, Scope scope)
    : truePeak_(scope != Scope::Loudness ? std::make_unique<TruePeakMeter>(channels, sampleRate) : nullptr),
      state_(ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                          scope == Scope::Everything ? EBUR128_MODE_I | EBUR128_MODE_LRA : EBUR128_MODE_I)),
      channels_(channels) {
    if (!state_)
        throw std::runtime_error("libebur128 cannot measure " + std::to_string(channels) + " channels at " +
                                 std::to_string(sampleRate) + " Hz");
}

LoudnessMeter::~LoudnessMeter() { ebur128_destroy(&state_); }

void LoudnessMeter::add(const float* interleaved, std::int64_t frames) {
    addLoudness(interleaved, frames);
    addTruePeak(interleaved, frames);
}

void LoudnessMeter::addLoudness(const float* interleaved, std::int64_t frames) {
    const std::int64_t count = frames * channels_;
    for (std::int64_t i = 0; i < count; ++i)
        samplePeak_ = std::max(samplePeak_, static_cast<double>(std::fabs(interleaved[i])));
    ebur128_add_frames_float(state_, interleaved, static_cast<std::size_t>(frames));
}

void LoudnessMeter::addTruePeak(const float* interleaved, std::int64_t frames) {
    if (truePeak_) truePeak_->add(interleaved, frames);
}

double LoudnessMeter::truePeak() const { return truePeak_ ? truePeak_->peak() : 0.0; }

double LoudnessMeter::loudness() const {
    double lufs = kSilence;
    if (ebur128_loudness_global(state_, &lufs) != EBUR128_SUCCESS) return kSilence;
    return lufs;
}

double LoudnessMeter::loudnessRange() const {
    double range = 0.0;
    if (ebur128_loudness_range(state_, &range) != EBUR128_SUCCESS || !std::isfinite(range)) return 0.0;
    return range;
}

std::vector<ebur128_state*> LoudnessMeter::statesOf(const std::vector<const LoudnessMeter*>& meters) {
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* meter : meters)
        states.push_back(meter->state_);
    return states;
}

double LoudnessMeter::loudness(const std::vector<const LoudnessMeter*>& meters) {
    std::vector<ebur128_state*> states = statesOf(meters);
    double lufs = kSilence;
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS)
        return kSilence;
    return lufs;
}

double LoudnessMeter::loudnessRange(const std::vector<const LoudnessMeter*>& meters) {
    std::vector<ebur128_state*> states = statesOf(meters);
    double range = 0.0;
    if (states.empty() ||
        ebur128_loudness_range_multiple(states.data(), states.size(), &range) != EBUR128_SUCCESS ||
        !std::isfinite(range))
        return 0.0;
    return range;
}

double LoudnessMeter::samplePeak(const std::vector<const LoudnessMeter*>& meters) {
    double largest = 0.0;
    for (const LoudnessMeter* meter : meters)
        largest = std::max(largest, meter->samplePeak());
    return largest;
}

double LoudnessMeter::truePeak(const std::vector<const LoudnessMeter*>& meters) {
    double largest = 0.0;
    for (const LoudnessMeter* meter : meters)
        largest = std::max(largest, meter->truePeak());
    return largest;
}
