#include "TruePeakMeter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {
constexpr int kOversampling = 4;
constexpr double kPassbandEnd = 0.995; // of the input's Nyquist frequency
constexpr std::size_t kBlockFrames = 4096;
} // namespace

TruePeakMeter::TruePeakMeter(int channels, int sampleRate)
    : channels_(channels), oversampled_(static_cast<std::size_t>(channels) * kBlockFrames * kOversampling),
      beforeLast_(static_cast<std::size_t>(channels), 0.0), last_(static_cast<std::size_t>(channels), 0.0) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
    quality.passband_end = kPassbandEnd;
    soxr_error_t error = nullptr;
    resampler_ = soxr_create(sampleRate, static_cast<double>(sampleRate) * kOversampling,
                             static_cast<unsigned>(channels), &error, &io, &quality, nullptr);
    if (error || !resampler_)
        throw std::runtime_error("libsoxr cannot oversample " + std::to_string(channels) + " channels at " +
                                 std::to_string(sampleRate) + " Hz: " + (error ? error : "no resampler"));
}

TruePeakMeter::~TruePeakMeter() { soxr_delete(resampler_); }

void TruePeakMeter::add(const float* interleaved, std::int64_t frames) {
    if (!resampler_) throw std::logic_error("true peak measured before the stream ended");
    for (std::int64_t done = 0; done < frames;) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::int64_t>(frames - done, kBlockFrames));
        drain(interleaved + done * channels_, count);
        done += static_cast<std::int64_t>(count);
    }
}

// Feeds `frames` (none with a null pointer: the end of the stream) and measures all the output they give.
void TruePeakMeter::drain(const float* interleaved, std::size_t frames) const {
    const std::size_t capacity = oversampled_.size() / static_cast<std::size_t>(channels_);
    for (;;) {
        std::size_t used = 0;
        std::size_t made = 0;
        soxr_error_t error =
            soxr_process(resampler_, interleaved, frames, &used, oversampled_.data(), capacity, &made);
        if (error) throw std::runtime_error(std::string("libsoxr failed: ") + error);
        measure(oversampled_.data(), made);
        if (interleaved) {
            interleaved += used * static_cast<std::size_t>(channels_);
            frames -= used;
            if (frames == 0 && made < capacity) return;
        } else if (made == 0) {
            return;
        }
    }
}

void TruePeakMeter::measure(const float* interleaved, std::size_t frames) const {
    const std::size_t stride = static_cast<std::size_t>(channels_);
    for (std::size_t channel = 0; channel < stride; ++channel) {
        double a = beforeLast_[channel];
        double b = last_[channel];
        double peak = peak_;
        double recent = recentPeak_;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const double next = std::fabs(static_cast<double>(interleaved[frame * stride + channel]));
            double found = next;
            // The vertex through three magnitudes around a maximum b lies at most b / 4 above it (the
            // neighbours are at least 0), so only maxima near the recent peak (which is never above the
            // whole one) need the parabola.
            if (b * 1.25 > recent && b >= a && b >= next) {
                const double curvature = a - 2.0 * b + next;
                if (curvature < 0.0) found = std::max(found, b - (a - next) * (a - next) / (8.0 * curvature));
            }
            peak = std::max(peak, found);
            recent = std::max(recent, found);
            a = b;
            b = next;
        }
        beforeLast_[channel] = a;
        last_[channel] = b;
        peak_ = peak;
        recentPeak_ = recent;
    }
}

double TruePeakMeter::takeRecentPeak() {
    const double recent = recentPeak_;
    recentPeak_ = 0.0;
    return recent;
}

double TruePeakMeter::peak() const {
    if (resampler_) {
        drain(nullptr, 0);
        soxr_delete(resampler_);
        resampler_ = nullptr;
        oversampled_ = {};
    }
    return peak_;
}
