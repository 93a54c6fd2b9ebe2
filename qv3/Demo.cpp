// qv3 demo: four bars of drums, bass and chords (repeated for longer material), synthesised the same way on
// every run, as material to try the limiter on.
#include "AudioFiles.h"
#include "Commands.h"
#include "Errors.h"
#include "OptionReader.h"
#include "TemporaryOutput.h"
#include "TextNumbers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

namespace {
constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr double kBeatsPerMinute = 120.0;
constexpr int kBars = 4;
constexpr int kBeatsPerBar = 4;
constexpr double kPeakLevel = 0.891; // -1 dBFS: the mix leaves the limiter a little to do at +3 dB
constexpr double kPi = 3.14159265358979323846;
constexpr double kLongestSeconds = 3600.0;

// One chord per bar: A minor, F major, C major, G major, each as bass root and three pad notes (MIDI
// numbers).
struct Chord {
    int root;
    std::array<int, 3> notes;
};
constexpr Chord kProgression[kBars] = {
    {45, {57, 60, 64}}, {41, {53, 57, 60}}, {48, {55, 60, 64}}, {43, {55, 59, 62}}};

double frequencyOf(int midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0); }

// Deterministic white noise in [-1, 1).
class Noise {
  public:
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<double>(state_ >> 11) * 0x1.0p-52 - 1.0;
    }

  private:
    std::uint64_t state_ = 0x2545F4914F6CDD1Du;
};

struct StereoBuffer {
    std::vector<double> left;
    std::vector<double> right;
    void add(std::size_t frame, double sample, double pan) { // pan: -1 left .. +1 right
        if (frame >= left.size()) return;
        left[frame] += sample * std::sqrt(0.5 * (1.0 - pan));
        right[frame] += sample * std::sqrt(0.5 * (1.0 + pan));
    }
};

void addKick(StereoBuffer& mix, std::size_t start) {
    double phase = 0.0;
    for (std::size_t i = 0; i < kSampleRate / 2; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double frequency = 45.0 + 75.0 * std::exp(-t * 30.0); // the pitch drop that makes the thump
        phase += 2.0 * kPi * frequency / kSampleRate;
        mix.add(start + i, 0.9 * std::sin(phase) * std::exp(-t * 7.0), 0.0);
    }
}

void addSnare(StereoBuffer& mix, std::size_t start, Noise& noise) {
    for (std::size_t i = 0; i < kSampleRate / 4; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double body = 0.3 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t * 30.0);
        double rattle = 0.45 * noise.next() * std::exp(-t * 18.0);
        mix.add(start + i, body + rattle, 0.1);
    }
}

void addHiHat(StereoBuffer& mix, std::size_t start, Noise& noise, double level) {
    double previous = 0.0;
    for (std::size_t i = 0; i < kSampleRate / 20; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double white = noise.next();
        double bright = white - previous; // first difference: a crude high-pass that keeps the hiss
        previous = white;
        mix.add(start + i, level * bright * std::exp(-t * 90.0), 0.4);
    }
}

void addBassNote(StereoBuffer& mix, std::size_t start, std::size_t length, int note) {
    const double frequency = frequencyOf(note);
    for (std::size_t i = 0; i < length; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double release = std::min(1.0, static_cast<double>(length - i) / (0.01 * kSampleRate));
        double tone = std::sin(2.0 * kPi * frequency * t) + 0.35 * std::sin(4.0 * kPi * frequency * t);
        mix.add(start + i, 0.32 * tone * std::exp(-t * 3.0) * release, -0.05);
    }
}

// A soft sawtooth (six harmonics) per note, two voices detuned and spread apart, with a slow swell.
void addPadChord(StereoBuffer& mix, std::size_t start, std::size_t length, const std::array<int, 3>& notes) {
    for (int note : notes) {
        for (double detune : {-0.004, 0.004}) {
            const double frequency = frequencyOf(note) * (1.0 + detune);
            for (std::size_t i = 0; i < length; ++i) {
                double t = static_cast<double>(i) / kSampleRate;
                double swell =
                    std::min(1.0, t / 0.25) * std::min(1.0, static_cast<double>(length - i) / 2000.0);
                double saw = 0.0;
                for (int harmonic = 1; harmonic <= 6; ++harmonic)
                    saw += std::sin(2.0 * kPi * frequency * harmonic * t) / harmonic;
                mix.add(start + i, 0.035 * saw * swell, detune < 0.0 ? -0.6 : 0.6);
            }
        }
    }
}
} // namespace

int runDemo(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    std::optional<double> seconds;
    OptionReader reader(arguments);
    while (!reader.done()) {
        std::string argument = reader.next();
        if (argument == "--seconds") {
            std::string text = reader.value(argument);
            seconds = parseNumber(text);
            if (!seconds || *seconds <= 0.0 || *seconds > kLongestSeconds)
                throw UsageError("--seconds takes more than 0 and up to 3600, not '" + text + "'");
        } else if (reader.isOption(argument)) {
            throw UsageError("demo: unknown option " + argument);
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 1) throw UsageError("demo needs one OUTPUT file");
    const std::filesystem::path output = std::filesystem::u8path(files[0]);
    const OutputFormat format = chooseOutputFormat(output, SF_FORMAT_WAV | SF_FORMAT_PCM_24, std::nullopt);

    const std::size_t beat = static_cast<std::size_t>(std::lround(60.0 / kBeatsPerMinute * kSampleRate));
    const std::size_t bar = beat * kBeatsPerBar;
    // The progression repeats for longer material; the last bar is cut where the time runs out.
    const std::size_t frames =
        seconds ? static_cast<std::size_t>(std::lround(*seconds * kSampleRate)) : bar * kBars;
    StereoBuffer mix{std::vector<double>(frames), std::vector<double>(frames)};
    Noise noise;
    for (std::size_t barIndex = 0; barIndex * bar < frames; ++barIndex) {
        const std::size_t barStart = bar * barIndex;
        const Chord& chord = kProgression[barIndex % kBars];
        addPadChord(mix, barStart, bar, chord.notes);
        for (int eighth = 0; eighth < 2 * kBeatsPerBar; ++eighth) {
            const std::size_t at = barStart + beat * static_cast<std::size_t>(eighth) / 2;
            addBassNote(mix, at, beat / 2, chord.root + (eighth % 4 == 3 ? 12 : 0));
            addHiHat(mix, at, noise, eighth % 2 ? 0.12 : 0.2);
        }
        addKick(mix, barStart);
        addKick(mix, barStart + 2 * beat);
        addKick(mix, barStart + 2 * beat + beat / 2);
        addSnare(mix, barStart + beat, noise);
        addSnare(mix, barStart + 3 * beat, noise);
    }

    double peak = 0.0;
    for (std::size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double scale = kPeakLevel / peak;
    std::vector<float> interleaved(frames * kChannels);
    for (std::size_t i = 0; i < frames; ++i) {
        interleaved[2 * i] = static_cast<float>(mix.left[i] * scale);
        interleaved[2 * i + 1] = static_cast<float>(mix.right[i] * scale);
    }

    TemporaryOutput temporary(output);
    SoundFileWriter writer(temporary.path(), format, kChannels, kSampleRate);
    writer.write(interleaved, static_cast<std::int64_t>(frames));
    writer.close();
    temporary.moveTo(output);
    std::printf("demo:      %s (%s, %d channels, %d Hz, %.3f s)\n", output.string().c_str(),
                format.description.c_str(), kChannels, kSampleRate,
                static_cast<double>(frames) / kSampleRate);
    return 0;
}
