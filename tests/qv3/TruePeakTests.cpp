// qv3's true peak meter against the plain 16x band-limited interpolation, on the material where a short 4x
// interpolator (libebur128's) reads low: clipped masters and energy near the Nyquist frequency.
#include "BackgroundTruePeak.h"
#include "LoudnessMeter.h"
#include "TruePeakReference.h"

#include <ebur128.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {
constexpr double kPi = 3.14159265358979323846;

double decibels(double linear) { return 20.0 * std::log10(linear); }

struct Material {
    const char* name;
    int channels;
    int sampleRate;
    std::function<double(int channel, double seconds)> signal;
    bool sixteenBit; // rounded to 16-bit steps, as a 16-bit master stores it
};

std::vector<float> generate(const Material& material) {
    const std::size_t frames = static_cast<std::size_t>(material.sampleRate / 2);
    std::vector<float> samples(frames * static_cast<std::size_t>(material.channels));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double seconds = static_cast<double>(frame) / material.sampleRate;
        // Faded in and out over 20 ms so that the true peak is the material's, not its edges'.
        const double fade = std::min({1.0, seconds / 0.02, (0.5 - seconds) / 0.02});
        for (int channel = 0; channel < material.channels; ++channel) {
            double value = std::clamp(material.signal(channel, seconds), -1.0, 32767.0 / 32768.0) * fade;
            if (material.sixteenBit) value = std::nearbyint(value * 32768.0) / 32768.0;
            samples[frame * static_cast<std::size_t>(material.channels) + static_cast<std::size_t>(channel)] =
                static_cast<float>(value);
        }
    }
    return samples;
}

// A dense master driven 6 dB into full scale: chords, a bass and noise.
double clippedMaster(int channel, double seconds) {
    static std::mt19937 random(7);
    static std::normal_distribution<double> noise(0.0, 0.25);
    double value = noise(random);
    for (double frequency : {110.0, 220.0, 277.2, 329.6, 2637.0, 7040.0})
        value += 0.45 * std::sin(2.0 * kPi * frequency * (1.0 + 0.003 * channel) * seconds + frequency);
    return 2.0 * value;
}

const Material kMaterials[] = {
    {"clipped 16-bit master", 2, 44100, clippedMaster, true},
    {"23 kHz sine at 48 kHz clipped at 0.6", 2, 48000,
     [](int c, double t) { return std::clamp(std::sin(2.0 * kPi * 23000.0 * t + c), -0.6, 0.6); }, false},
    {"19 kHz sine clipped at half scale", 1, 44100,
     [](int, double t) { return std::clamp(std::sin(2.0 * kPi * 19000.0 * t + 0.7), -0.5, 0.5); }, true},
};

double shortInterpolatorPeak(const std::vector<float>& samples, int channels, int sampleRate) {
    ebur128_state* state = ebur128_init(static_cast<unsigned>(channels),
                                        static_cast<unsigned long>(sampleRate), EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(state, samples.data(), samples.size() / static_cast<std::size_t>(channels));
    double largest = 0.0;
    for (int channel = 0; channel < channels; ++channel) {
        double peak = 0.0;
        ebur128_true_peak(state, static_cast<unsigned>(channel), &peak);
        largest = std::max(largest, peak);
    }
    ebur128_destroy(&state);
    return largest;
}

TEST(TruePeak, AgreesWithTheBandLimitedReferenceWhereAShortInterpolatorReadsLow) {
    for (const Material& material : kMaterials) {
        SCOPED_TRACE(material.name);
        const std::vector<float> samples = generate(material);
        const double reference = decibels(referenceTruePeak(samples, material.channels));
        // The material reproduces the under-read.
        EXPECT_LT(decibels(shortInterpolatorPeak(samples, material.channels, material.sampleRate)),
                  reference - 0.2);

        // Fed in uneven blocks, as renders feed it; and measured as the analysing and writing passes do, the
        // true peak on a thread of its own, to the same figures.
        LoudnessMeter meter(material.channels, material.sampleRate);
        LoudnessMeter apart(material.channels, material.sampleRate);
        BackgroundTruePeak background(apart, material.channels, true);
        const std::int64_t frames = static_cast<std::int64_t>(samples.size()) / material.channels;
        for (std::int64_t done = 0, block = 1; done < frames; done += block, block = block * 3 % 5000 + 1) {
            meter.add(samples.data() + done * material.channels, std::min(block, frames - done));
            background.add(samples.data() + done * material.channels, std::min(block, frames - done));
        }
        background.finish();
        EXPECT_NEAR(decibels(meter.truePeak()), reference, 0.1);
        EXPECT_GE(meter.truePeak(), meter.samplePeak());
        EXPECT_EQ(apart.truePeak(), meter.truePeak());
        EXPECT_EQ(apart.samplePeak(), meter.samplePeak());
        EXPECT_EQ(apart.loudness(), meter.loudness());
    }
}

} // namespace
