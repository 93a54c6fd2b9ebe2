#include "TruePeakMeter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {
constexpr int kOversampling = 4;
constexpr double kPassbandEnd = 0.995; // of the input's Nyquist frequency
constexpr std::size_t kBlockFrames = 4096;

using Quad = float __attribute__((vector_size(16)));

// The larger of `largest` and what the three magnitudes a, b, next in a row reach: next, or where b is a
// local maximum, the vertex of the parabola through them. For floats or for Quads, lane by lane.
template <typename Values> Values peakAmong(Values largest, Values a, Values b, Values next) {
    const Values curvature = a - 2.0f * b + next;
    const auto maximum = (b >= a) & (b >= next) & (curvature < 0.0f);
    const Values divisor = 8.0f * (maximum ? curvature : Values{} - 1.0f);
    const Values found = maximum ? b - (a - next) * (a - next) / divisor : next;
    return largest < found ? found : largest;
}
} // namespace

TruePeakMeter::TruePeakMeter(int channels, int sampleRate)
    : channels_(channels), oversampled_(static_cast<std::size_t>(channels) * kBlockFrames * kOversampling),
      magnitudes_(static_cast<std::size_t>(channels) * (kBlockFrames * kOversampling + 2), 0.0f) {
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
    // Magnitudes after the last two frames of the block before, so that every value has its channel's two
    // predecessors `stride` and twice `stride` before it, and the scan below needs no branch per channel.
    const std::size_t stride = static_cast<std::size_t>(channels_);
    const std::size_t count = frames * stride;
    float* magnitudes = magnitudes_.data();
    for (std::size_t i = 0; i < count; ++i)
        magnitudes[2 * stride + i] = std::fabs(interleaved[i]);
    // Each value, and where the one before it is a local maximum the vertex of the parabola through the
    // three; the vertex is never below the maximum, so the largest of these is the block's peak. Four values
    // at a time in the compiler's generic vectors (the compiler keeps selects and maxima scalar otherwise),
    // the rest one by one with the same operations.
    Quad largest{};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Quad a, b, next;
        std::memcpy(&a, magnitudes + i, sizeof a);
        std::memcpy(&b, magnitudes + i + stride, sizeof b);
        std::memcpy(&next, magnitudes + i + 2 * stride, sizeof next);
        largest = peakAmong(largest, a, b, next);
    }
    float tail = 0.0f;
    for (; i < count; ++i)
        tail = peakAmong(tail, magnitudes[i], magnitudes[i + stride], magnitudes[i + 2 * stride]);
    for (int lane = 0; lane < 4; ++lane)
        tail = std::max(tail, largest[lane]);
    const float blockPeak = tail;
    std::copy(magnitudes + count, magnitudes + count + 2 * stride, magnitudes);
    peak_ = std::max(peak_, static_cast<double>(blockPeak));
    recentPeak_ = std::max(recentPeak_, static_cast<double>(blockPeak));
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
        magnitudes_ = {};
    }
    return peak_;
}
