// qv3 render against the real plug-in builds: length, alignment, bounds, summary figures, formats and the
// conversion of human settings.
#include "ToolTestSupport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr std::int64_t kLatency = 39;

class Render : public ::testing::Test {
  protected:
    CommandResult render(const Sound& input, std::vector<std::string> options,
                         const std::string& outputName = "out.wav", const std::string& inputName = "in.wav") {
        writeSound(folder / inputName, input);
        options.insert(options.begin(), "render");
        options.push_back((folder / inputName).string());
        options.push_back((folder / outputName).string());
        return runQv3(options);
    }

    ScratchFolder folder;
};

Sound noise(int channels, int sampleRate, std::int64_t frames, double peak, std::uint32_t seed) {
    Sound sound = silence(channels, sampleRate, frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(static_cast<float>(-peak), static_cast<float>(peak));
    for (float& sample : sound.samples)
        sample = uniform(random);
    return sound;
}

TEST_F(Render, KeepsLengthChannelsAndRateForEveryBlockSize) {
    for (int channels : {1, 2}) {
        for (int rate : {8000, 44100, 96000}) {
            for (std::int64_t frames : {0, 1, 38, 39, 40, 511, 513, 4099}) {
                for (const char* block : {"1", "64", "512", "4096"}) {
                    SCOPED_TRACE(testing::Message() << channels << " ch, " << rate << " Hz, " << frames
                                                    << " frames, block " << block);
                    auto result = render(noise(channels, rate, frames, 0.5, 7), {"--block", block});
                    ASSERT_EQ(result.status, 0) << result.err;
                    Sound output = readSound(folder / "out.wav");
                    EXPECT_EQ(output.frames(), frames);
                    EXPECT_EQ(output.channels, channels);
                    EXPECT_EQ(output.sampleRate, rate);
                }
            }
        }
    }
}

TEST_F(Render, OutputDoesNotDependOnTheBlockSize) {
    Sound input = noise(2, 44100, 9000, 1.0, 11);
    auto reference = render(input, {"--program", "+6dB Maxi", "--block", "512"});
    ASSERT_EQ(reference.status, 0) << reference.err;
    Sound expected = readSound(folder / "out.wav");
    for (const char* block : {"1", "7", "39", "40", "1000", "65536"}) {
        auto result = render(input, {"--program", "+6dB Maxi", "--block", block});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readSound(folder / "out.wav").samples, expected.samples) << "block " << block;
    }
}

// An impulse comes out where it went in; with the raw stream it comes out 39 frames later.
TEST_F(Render, AlignsAnImpulseAfterLatencyCompensation) {
    std::mt19937 random(3);
    const std::int64_t frames = 3000;
    for (int channels : {1, 2}) {
        for (int trial = 0; trial < 6; ++trial) {
            std::int64_t position = trial == 0 ? 0
                                    : trial == 1
                                        ? frames - 1
                                        : std::uniform_int_distribution<std::int64_t>(1, frames - 2)(random);
            int channel = static_cast<int>(random() % static_cast<unsigned>(channels));
            SCOPED_TRACE(testing::Message()
                         << channels << " ch, impulse at " << position << " on " << channel);
            Sound input = silence(channels, 44100, frames);
            input.samples[static_cast<std::size_t>(position * channels + channel)] = 0.5f;

            ASSERT_EQ(render(input, {}).status, 0);
            Sound aligned = readSound(folder / "out.wav");
            ASSERT_EQ(render(input, {"--keep-latency"}).status, 0);
            Sound raw = readSound(folder / "out.wav");
            ASSERT_EQ(aligned.frames(), frames);
            ASSERT_EQ(raw.frames(), frames);

            auto loudest = [channels](const Sound& sound) {
                auto at = std::max_element(sound.samples.begin(), sound.samples.end(),
                                           [](float a, float b) { return std::fabs(a) < std::fabs(b); });
                return (at - sound.samples.begin()) / channels;
            };
            EXPECT_EQ(loudest(aligned), position);
            EXPECT_NEAR(aligned.at(position, channel), 0.5f, 0.001f);
            for (std::int64_t frame = 0; frame + kLatency < frames; ++frame)
                for (int c = 0; c < channels; ++c)
                    ASSERT_EQ(aligned.at(frame, c), raw.at(frame + kLatency, c)) << "frame " << frame;
            for (std::int64_t frame = 0; frame < std::min(kLatency, frames); ++frame)
                for (int c = 0; c < channels; ++c)
                    ASSERT_EQ(raw.at(frame, c), 0.0f);
        }
    }
}

TEST_F(Render, NeverExceedsTheCeiling) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 16; ++trial) {
        int channels = 1 + trial % 2;
        double ceiling = -std::uniform_int_distribution<int>(0, 600)(random) / 100.0;
        int makeup = std::uniform_int_distribution<int>(0, 48)(random);
        const char* shapes[] = {"soft", "2", "3", "4", "hard"};
        std::string release = trial % 3 ? "auto:" + std::to_string(random() % 101)
                                        : "manual:" + std::to_string(1 + random() % 999);
        char ceilingText[16];
        std::snprintf(ceilingText, sizeof ceilingText, "%.2f", ceiling);
        SCOPED_TRACE(testing::Message()
                     << "makeup " << makeup << " ceiling " << ceilingText << " " << release);
        Sound input = noise(channels, 44100, 20000, 1.5, static_cast<std::uint32_t>(trial));
        for (std::int64_t frame = 5000; frame < 5100; ++frame) // a burst far over full scale
            input.samples[static_cast<std::size_t>(frame * channels)] *= 4.0f;
        auto result =
            render(input, {"--makeup", std::to_string(makeup), "--ceiling", ceilingText, "--release", release,
                           "--shape", shapes[trial % 5], "--block", std::to_string(1 + random() % 2048)});
        ASSERT_EQ(result.status, 0) << result.err;
        Sound output = readSound(folder / "out.wav");
        const double bound = 0.999999 * std::pow(10.0, ceiling / 20.0);
        EXPECT_LE(peakOf(output), bound * (1.0 + 1e-6));
        EXPECT_GT(peakOf(output), bound * 0.5) << "the limiter should be working hard here";
        EXPECT_NEAR(levelRow(result, "output").samplePeak, decibelsOf(peakOf(output)), 0.006);
    }
}

// Each program's ceiling is its normalised value's: "-1.00" is 6 * 0.83375 - 6 = -0.9975 dB.
TEST_F(Render, ProgramsKeepTheirCeiling) {
    Sound input = noise(2, 48000, 24000, 1.0, 21);
    const std::pair<const char*, double> programs[] = {{"+1dB Limit", 0.83375},
                                                       {"+3dB Limit Smooth", 0.5},
                                                       {"+6dB Limit Aggressive", 0.0},
                                                       {"0", 1.0},
                                                       {"15", 1.0},
                                                       {"23", 0.5}};
    for (const auto& [program, ceiling] : programs) {
        auto result = render(input, {"--program", program});
        ASSERT_EQ(result.status, 0) << result.err;
        const double bound = 0.999999 * std::pow(10.0, (6.0 * ceiling - 6.0) / 20.0);
        const double peak = peakOf(readSound(folder / "out.wav"));
        EXPECT_LE(peak, bound * (1.0 + 1e-6)) << program;
        EXPECT_GT(peak, bound * 0.99) << program;
    }
}

// EBU Tech 3341 case 1: a stereo 1 kHz sine at -23 dBFS measures -23.0 LUFS.
TEST_F(Render, SummaryReportsLevelsLoudnessAndNoReductionForQuietMaterial) {
    auto result = render(sine(2, 48000, 48000 * 10, 1000.0, std::pow(10.0, -23.0 / 20.0)), {});
    ASSERT_EQ(result.status, 0) << result.err;
    LevelRow input = levelRow(result, "input");
    LevelRow output = levelRow(result, "output");
    EXPECT_DOUBLE_EQ(input.samplePeak, -23.0);
    EXPECT_NEAR(input.truePeak, -23.0, 0.02);
    EXPECT_DOUBLE_EQ(input.loudness, -23.0);
    EXPECT_NEAR(output.samplePeak, -23.0, 0.02);
    EXPECT_DOUBLE_EQ(output.loudness, -23.0);
    EXPECT_EQ(result.line("gain reduction:"), "gain reduction: up to 0.0 dB");
    EXPECT_EQ(result.line("latency:"), "latency:   39 samples, removed");
    EXPECT_EQ(result.line("plug-in:"), "plug-in:   Orvanta_QV3, program 0 \"Default\"");
    EXPECT_EQ(result.line("settings:"),
              "settings:  Makeup 0.0, Ceiling 0.00, RelSW auto, Rel 40 %, lt_ClipSW 3, Monitor on");
    double overall = 0.0;
    double alone = 0.0;
    ASSERT_EQ(std::sscanf(result.line("speed:").c_str(), "speed: %lfx real time (plug-in alone %lfx)",
                          &overall, &alone),
              2);
    EXPECT_GT(overall, 0.0);
    EXPECT_GE(alone, overall);
}

TEST_F(Render, SummaryShowsMakeupAndTheGainMetersLargestReduction) {
    auto quiet = render(sine(2, 48000, 48000 * 5, 1000.0, std::pow(10.0, -23.0 / 20.0)), {"--makeup", "6"});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_NEAR(levelRow(quiet, "output").loudness, -17.0, 0.05);
    EXPECT_EQ(quiet.line("gain reduction:"), "gain reduction: up to 0.0 dB");

    // A -6.02 dBFS sine pushed by 12 dB needs 5.98 dB of reduction to stay under 0.999999.
    for (int channels : {1, 2}) {
        auto loud = render(sine(channels, 44100, 44100 * 3, 441.0, 0.5), {"--makeup", "12"});
        ASSERT_EQ(loud.status, 0) << loud.err;
        EXPECT_EQ(loud.line("gain reduction:"), "gain reduction: up to 6.0 dB") << channels << " ch";
        EXPECT_NEAR(levelRow(loud, "output").samplePeak, 0.0, 0.01);
        EXPECT_NEAR(levelRow(loud, "input").samplePeak, -6.02, 0.005);
        EXPECT_EQ(loud.line("plug-in:"), channels == 1 ? "plug-in:   Orvanta_QV3mono, program 0 \"Default\""
                                                       : "plug-in:   Orvanta_QV3, program 0 \"Default\"");
    }
}

TEST_F(Render, MonitorBypassPassesTheInputUntouched) {
    Sound input = noise(2, 44100, 30000, 0.9, 8);
    auto result = render(input, {"--makeup", "24", "--monitor", "bypass"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(levelRow(result, "output").samplePeak, levelRow(result, "input").samplePeak);
    EXPECT_NEAR(peakOf(readSound(folder / "out.wav")), peakOf(input), 1e-7);
    EXPECT_NE(result.line("settings:").find("Monitor bypass"), std::string::npos);
}

// DC a quarter step above a whole one, passed through untouched by the monitor bypass: rounding alone would
// give the whole step, triangular dither spreads it over the steps around it with the signal's mean.
TEST_F(Render, WritesSixteenBitsWithTpdfDither) {
    Sound input = silence(1, 44100, 44100);
    std::fill(input.samples.begin(), input.samples.end(), static_cast<float>(1000.25 / 32768.0));
    auto result = render(input, {"--format", "pcm16", "--monitor", "bypass"});
    ASSERT_EQ(result.status, 0) << result.err;
    Sound output = readSound(folder / "out.wav");
    EXPECT_EQ(output.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::map<int, int> histogram;
    double sum = 0.0;
    for (std::int64_t frame = 100; frame < output.frames() - 100; ++frame) {
        double steps = static_cast<double>(output.at(frame, 0)) * 32768.0;
        ASSERT_EQ(steps, std::round(steps));
        histogram[static_cast<int>(steps) - 1000]++;
        sum += steps - 1000.0;
    }
    const double count = static_cast<double>(output.frames() - 200);
    EXPECT_EQ(histogram.size(), 3u);
    // P(d < -0.75) = 1/32 and P(d > 0.25) = 9/32 for d = u1 - u2.
    EXPECT_NEAR(histogram[-1] / count, 1.0 / 32.0, 0.004);
    EXPECT_NEAR(histogram[1] / count, 9.0 / 32.0, 0.01);
    EXPECT_NEAR(sum / count, 0.25, 0.01);

    // The same render twice gives the same file: the dither is seeded.
    std::string first = readText(folder / "out.wav");
    ASSERT_EQ(render(input, {"--format", "pcm16", "--monitor", "bypass"}).status, 0);
    EXPECT_EQ(readText(folder / "out.wav"), first);
}

TEST_F(Render, ChoosesFormatFromInputExtensionAndOption) {
    Sound pcm16 = noise(2, 44100, 5000, 0.5, 4);
    pcm16.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    ASSERT_EQ(render(pcm16, {}).status, 0);
    EXPECT_EQ(readSound(folder / "out.wav").format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    ASSERT_EQ(render(pcm16, {"--format", "pcm24"}, "out.aiff").status, 0);
    EXPECT_EQ(readSound(folder / "out.aiff").format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);

    ASSERT_EQ(render(pcm16, {}, "out.flac").status, 0);
    EXPECT_EQ(readSound(folder / "out.flac").format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);

    Sound floats = noise(1, 32000, 5000, 0.5, 4);
    auto result = render(floats, {"--program", "+3dB Maxi"}, "out.w64", "in.wav");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readSound(folder / "out.w64").format, SF_FORMAT_W64 | SF_FORMAT_FLOAT);

    // Lossy input: the output keeps the container but takes 24-bit PCM where the encoding does not fit.
    Sound vorbis = sine(2, 44100, 44100, 440.0, 0.3, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    ASSERT_EQ(render(vorbis, {}, "out.wav", "in.ogg").status, 0);
    EXPECT_EQ(readSound(folder / "out.wav").format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(readSound(folder / "out.wav").frames(), readSound(folder / "in.ogg").frames());

    // 24-bit output holds whole 24-bit steps.
    ASSERT_EQ(render(floats, {"--format", "pcm24", "--makeup", "20"}).status, 0);
    for (float sample : readSound(folder / "out.wav").samples) {
        double steps = static_cast<double>(sample) * 8388608.0;
        ASSERT_EQ(steps, std::round(steps));
    }
}

TEST_F(Render, ChoosesTheContainerByTheOutputsExtensionAndRefusesUnknownOnes) {
    writeSound(folder / "in48.wav", noise(2, 48000, 48000, 0.5, 5));
    writeSound(folder / "in44.wav", noise(2, 44100, 44100, 0.5, 5));
    struct Case {
        const char* input;
        const char* output;
        std::vector<std::string> options;
        int status;
        int format;          // when written
        const char* message; // on standard error
    };
    const Case cases[] = {
        {"in48.wav", "out.opus", {}, 0, SF_FORMAT_OGG | SF_FORMAT_OPUS, ""},
        {"in48.wav", "out.ogg", {"--quality", "0.3"}, 0, SF_FORMAT_OGG | SF_FORMAT_VORBIS, ""},
        {"in48.wav", "out.rf64", {}, 0, SF_FORMAT_RF64 | SF_FORMAT_FLOAT, ""},
        {"in48.wav", "out.mp3", {}, 0, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, ""},
        {"in48.wav",
         "out.ogg",
         {"--true-peak", "-1"},
         0,
         SF_FORMAT_OGG | SF_FORMAT_VORBIS,
         "is lossy: the true peak is not guaranteed after encoding; decoded, it peaks at"},
        {"in44.wav", "out.opus", {}, 0, SF_FORMAT_OGG | SF_FORMAT_OPUS, ""},
        {"in48.wav", "out.xyz", {}, 2, 0, "unknown extension '.xyz' says no format; qv3 writes .wav"},
        {"in48.wav", "out", {}, 2, 0, "no extension says no format"},
        {"in48.wav", "out.flac", {"--quality", "0.5"}, 2, 0, "--quality is for lossy outputs"},
        {"in48.wav", "out.ogg", {"--format", "pcm16"}, 2, 0, "files cannot hold Signed 16 bit PCM"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.output);
        std::vector<std::string> arguments = {"render"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        arguments.push_back((folder / row.input).string());
        arguments.push_back((folder / row.output).string());
        auto result = runQv3(arguments);
        EXPECT_EQ(result.status, row.status) << result.err;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        if (row.format)
            EXPECT_EQ(readSound(folder / row.output).format, row.format);
        else
            EXPECT_FALSE(fs::exists(folder / row.output));
        fs::remove(folder / row.output);
    }
}

// Opus codes only a few rates; others are resampled to 48 kHz, the tone keeping its pitch, level and length.
TEST_F(Render, OpusTakesOtherRatesResampledTo48kHz) {
    writeSound(folder / "in.wav", sine(1, 44100, 44100, 1000.0, 0.5));
    auto result = runQv3({"render", "--report", (folder / "report.json").string(),
                          (folder / "in.wav").string(), (folder / "out.opus").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto report = nlohmann::json::parse(readText(folder / "report.json"))["files"][0];
    EXPECT_NE(report["output_format"].get<std::string>().find(", resampled to 48 kHz"), std::string::npos);
    const Sound out = readSound(folder / "out.opus");
    EXPECT_EQ(out.sampleRate, 48000);
    EXPECT_GE(out.frames(), 48000);
    EXPECT_LE(out.frames(), 48000 + 960);
    EXPECT_NE(result.out.find(", " + std::to_string(out.frames()) + " frames)"), std::string::npos)
        << result.out;
    // Upward crossings of the middle second: 500 of a 1 kHz tone, whatever the rate.
    int crossings = 0;
    for (std::int64_t i = 12001; i < 36000; ++i)
        crossings += out.samples[static_cast<std::size_t>(i - 1)] < 0.0f &&
                     out.samples[static_cast<std::size_t>(i)] >= 0.0f;
    EXPECT_NEAR(crossings, 500, 1);
    float peak = 0.0f;
    for (std::int64_t i = 12000; i < 36000; ++i)
        peak = std::max(peak, std::abs(out.samples[static_cast<std::size_t>(i)]));
    EXPECT_NEAR(decibelsOf(peak), decibelsOf(0.5), 0.5);
}

TEST_F(Render, ReplacesAnExistingOutputAndLeavesNoTemporaryFile) {
    std::ofstream(folder / "out.wav") << "an older file";
    ASSERT_EQ(render(noise(2, 44100, 1000, 0.5, 1), {}).status, 0);
    EXPECT_EQ(readSound(folder / "out.wav").frames(), 1000);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(Render, KeepsExistingOutputsWithNoOverwriteAndListsThem) {
    const std::string older = "an older file";
    writeSound(folder / "a.wav", noise(2, 44100, 1000, 0.5, 1));
    writeSound(folder / "b.wav", noise(2, 44100, 1000, 0.5, 2));
    fs::create_directory(folder / "out");
    std::ofstream(folder / "out" / "a.wav") << older;
    const std::string a = (folder / "a.wav").string();
    const std::string b = (folder / "b.wav").string();
    const std::string outA = (folder / "out" / "a.wav").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string listed; // on standard output
        bool keptOlder;
    };
    const Case cases[] = {
        {{"render", "-n", a, outA}, "skipped:   " + outA + " exists; -n keeps it", true},
        {{"render", "-n", "-o", (folder / "out").string(), a, b}, "1 of 2 files written to", true},
        {{"render", "-n", "-y", a, outA}, "output:", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.listed);
        auto result = runQv3(row.arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find(row.listed), std::string::npos) << result.out;
        EXPECT_EQ(readText(folder / "out" / "a.wav") == older, row.keptOlder);
    }
    EXPECT_NE(runQv3({"render", "-n", "-o", (folder / "out").string(), a}).out.find("skipped: a.wav"),
              std::string::npos);
}

TEST_F(Render, ReadsAndWritesStandardStreamsAsFilesAre) {
    writeSound(folder / "in.wav", noise(2, 44100, 3000, 0.9, 3));
    ASSERT_EQ(runQv3({"render", "--makeup", "6", (folder / "in.wav").string(), (folder / "out.wav").string()})
                  .status,
              0);
    // The same samples (the bytes differ only in the PEAK chunk's time stamp).
    const std::vector<float> written = readSound(folder / "out.wav").samples;
    auto piped = runQv3({"render", "--makeup", "6", "-", "-"}, folder / "in.wav");
    ASSERT_EQ(piped.status, 0) << piped.err;
    std::ofstream(folder / "piped.wav", std::ios::binary) << piped.outBytes;
    EXPECT_TRUE(readSound(folder / "piped.wav").samples == written);
    EXPECT_NE(piped.err.find("output:    - (WAV"), std::string::npos) << piped.err; // the summary moves aside
    auto fromInput =
        runQv3({"render", "--makeup", "6", "-", (folder / "from-input.wav").string()}, folder / "in.wav");
    ASSERT_EQ(fromInput.status, 0) << fromInput.err;
    EXPECT_TRUE(readSound(folder / "from-input.wav").samples == written);
    EXPECT_EQ(runQv3({"render", "--report", "-", "-", "-"}, folder / "in.wav").status, 2);
}

TEST_F(Render, TruePeakAloneLowersTheCeilingAndKeepsTheMakeup) {
    // A full-scale 15 kHz square wave, driven hard: its true peak is far over its sample peak.
    Sound square = silence(2, 44100, 44100);
    for (std::size_t i = 0; i < square.samples.size(); ++i)
        square.samples[i] =
            std::sin(2.0 * kPi * 15000.0 * static_cast<double>(i / 2) / 44100.0 + 0.4) > 0 ? 0.5f : -0.5f;
    const std::pair<const char*, const char*> cases[] = {{"0", "-1"}, {"3", "-2.5"}};
    for (const auto& [makeup, limit] : cases) {
        SCOPED_TRACE(limit);
        auto result = render(square, {"--makeup", makeup, "--true-peak", limit});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, ""); // no warning: the output stays under full scale
        const double truePeak = levelRow(result, "output").truePeak;
        EXPECT_LE(truePeak, std::stod(limit));
        EXPECT_GT(truePeak, std::stod(limit) - 0.1);
        EXPECT_NE(result.line("settings:").find("Makeup " + std::string(makeup) + ".0,"), std::string::npos)
            << result.out;
    }
    auto over = render(square, {"--makeup", "3"});
    EXPECT_NE(over.err.find("warning: " + (folder / "out.wav").string() + " peaks at +"), std::string::npos)
        << over.err;
}

TEST_F(Render, WarnsOfOrRefusesAnInputThatHoldsLessThanItsHeaderPromises) {
    // Ten seconds in the header, the file cut after about a third of its audio.
    for (const char* name : {"cut.wav", "cut.aiff"}) {
        SCOPED_TRACE(name);
        Sound whole = noise(2, 44100, 441000, 0.5, 4);
        whole.format =
            (std::string(name).find("aiff") != std::string::npos ? SF_FORMAT_AIFF : SF_FORMAT_WAV) |
            SF_FORMAT_PCM_16;
        writeSound(folder / "whole", whole);
        const std::string bytes = readText(folder / "whole");
        std::ofstream(folder / name, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
        const std::string input = (folder / name).string();
        const std::string report = (folder / "report.json").string();

        auto warned = runQv3({"render", "--report", report, input, (folder / "out.wav").string()});
        EXPECT_EQ(warned.status, 0) << warned.err;
        EXPECT_NE(
            warned.err.find("warning: " + input + " is damaged: its header promises 10.000 s, it holds 3.33"),
            std::string::npos)
            << warned.err;
        EXPECT_NE(warned.line("input:").find("s read of the 10.000 s its header promises"), std::string::npos)
            << warned.out;
        const auto file = nlohmann::json::parse(readText(folder / "report.json"))["files"][0];
        EXPECT_NEAR(file["duration_seconds"].get<double>(), 10.0 / 3.0, 0.01);
        EXPECT_NEAR(file["header_duration_seconds"].get<double>(), 10.0, 1e-6);

        fs::remove(folder / "out.wav");
        for (const char* target : {"", "-16"}) {
            std::vector<std::string> arguments = {"render", "--strict", input, (folder / "out.wav").string()};
            if (*target) arguments.insert(arguments.begin() + 1, {"--target-lufs", target});
            auto refused = runQv3(arguments);
            EXPECT_EQ(refused.status, 1);
            EXPECT_NE(refused.err.find("--strict refuses it"), std::string::npos) << refused.err;
            EXPECT_FALSE(fs::exists(folder / "out.wav"));
        }
    }
}

// The settings line shows the plug-in's own texts for what was asked.
class HumanSettings : public Render {
  protected:
    std::string settingsFor(std::vector<std::string> options) {
        auto result = render(silence(2, 44100, 16), options);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.line("settings:");
    }
};

TEST_F(HumanSettings, ConvertToTheValueThatDisplaysThem) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--makeup", "3"}, "Makeup 3.0, Ceiling 0.00, RelSW auto, Rel 40 %, lt_ClipSW 3, Monitor on"},
        {{"--makeup", "+0.09dB"}, "Makeup 0.1, Ceiling 0.00"},
        {{"--makeup", "0.04"}, "Makeup 0.0, Ceiling 0.00"},
        {{"--makeup", "48"}, "Makeup 48.0, Ceiling 0.00"},
        {{"--ceiling", "-1"}, "Makeup 0.0, Ceiling -1.00"},
        {{"--ceiling", "-6"}, "Makeup 0.0, Ceiling -6.00"},
        {{"--ceiling", "-0.004"}, "Makeup 0.0, Ceiling 0.00"},
        {{"--ceiling=-0.01"}, "Makeup 0.0, Ceiling -0.01"},
        {{"--release", "auto:40"}, "RelSW auto, Rel 40 %,"},
        {{"--release", "auto:0"}, "RelSW auto, Rel min,"},
        {{"--release", "auto:0.5%"}, "RelSW auto, Rel min,"},
        {{"--release", "auto:99"}, "RelSW auto, Rel 99 %,"},
        {{"--release", "auto:100"}, "RelSW auto, Rel max,"},
        {{"--release", "manual:300"}, "RelSW manual, Rel 300,"},
        {{"--release", "manual:0.01"}, "RelSW manual, Rel 0.01,"},
        {{"--release", "manual:1ms"}, "RelSW manual, Rel 1.00,"},
        {{"--release", "manual:5.5"}, "RelSW manual, Rel 5.5,"},
        {{"--release", "manual:999.99"}, "RelSW manual, Rel 999,"},
        {{"--shape", "soft"}, "lt_ClipSW soft,"},
        {{"--shape", "2"}, "lt_ClipSW 2,"},
        {{"--shape", "4"}, "lt_ClipSW 4,"},
        {{"--shape", "hard"}, "lt_ClipSW hard,"},
        {{"--monitor", "bypass"}, "Monitor bypass"},
        {{"--set", "0=0.0625"}, "Makeup 3.0,"},
        {{"--set", "2=1", "--set", "3=0.1"}, "RelSW manual, Rel 1.0,"},
        // The program comes first, whatever the order on the command line; settings follow in order.
        {{"--makeup", "6", "--program", "+3dB Limit"},
         "Makeup 6.0, Ceiling -3.00, RelSW auto, Rel 30 %, lt_ClipSW 4"},
        {{"--program", "5"}, "Makeup 1.0, Ceiling 0.00, RelSW manual, Rel 0.01, lt_ClipSW hard"},
        {{"--program", "5", "--release", "auto:70"}, "RelSW auto, Rel 70 %"},
        {{"--release", "manual:50", "--release", "auto:20"}, "RelSW auto, Rel 20 %"},
    };
    for (const auto& [options, expected] : cases) {
        std::string line = settingsFor(options);
        EXPECT_NE(line.find(expected), std::string::npos) << options[0] << " gave: " << line;
    }
}

TEST_F(HumanSettings, RoundTripOverManySeededValues) {
    std::mt19937 random(12);
    for (int trial = 0; trial < 30; ++trial) {
        char makeup[16];
        char ceiling[16];
        std::snprintf(makeup, sizeof makeup, "%.1f",
                      std::uniform_int_distribution<int>(1, 480)(random) / 10.0);
        std::snprintf(ceiling, sizeof ceiling, "%.2f",
                      -std::uniform_int_distribution<int>(1, 600)(random) / 100.0);
        int percent = std::uniform_int_distribution<int>(1, 99)(random);
        int milliseconds = std::uniform_int_distribution<int>(10, 999)(random);
        std::string autoLine = settingsFor(
            {"--makeup", makeup, "--ceiling", ceiling, "--release", "auto:" + std::to_string(percent)});
        EXPECT_EQ(autoLine, std::string("settings:  Makeup ") + makeup + ", Ceiling " + ceiling +
                                ", RelSW auto, Rel " + std::to_string(percent) +
                                " %, lt_ClipSW 3, Monitor on");
        std::string manualLine = settingsFor({"--release", "manual:" + std::to_string(milliseconds)});
        EXPECT_NE(manualLine.find("RelSW manual, Rel " + std::to_string(milliseconds) + ","),
                  std::string::npos)
            << manualLine;
    }
}

#ifndef _WIN32
// A pipe already holding the file's bytes, its writing end closed: an input that can be read only once and
// not sought, with no writer to wait for. The file must fit the pipe's buffer (64 KiB).
class FilledPipe {
  public:
    explicit FilledPipe(const fs::path& source) {
        int ends[2] = {-1, -1};
        EXPECT_EQ(pipe(ends), 0);
        const std::string bytes = readText(source);
        EXPECT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(ends[1]);
        readEnd_ = ends[0];
    }
    ~FilledPipe() { close(readEnd_); }
    FilledPipe(const FilledPipe&) = delete;
    FilledPipe& operator=(const FilledPipe&) = delete;

    // The pipe as qv3, started from this process, opens it.
    fs::path path() const { return "/proc/self/fd/" + std::to_string(readEnd_); }

  private:
    int readEnd_ = -1;
};
#endif

// Headerless little-endian 16-bit samples back into floats, as a player at the other end of a pipe reads
// them.
std::vector<float> pcm16Samples(const std::string& bytes) {
    std::vector<float> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            static_cast<float>(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8)) /
            32768.0f;
    return samples;
}

TEST_F(Render, ReadsAndWritesHeaderlessSamplesOnStandardStreams) {
    const Sound input = noise(2, 44100, 5000, 0.9, 4);
    Sound wav = input;
    wav.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeSound(folder / "in.wav", wav);
    Sound raw = input;
    raw.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    writeSound(folder / "in.raw", raw);
    ASSERT_EQ(runQv3({"render", "--makeup", "6", (folder / "in.wav").string(), (folder / "out.wav").string()})
                  .status,
              0);
    const std::vector<float> expected = readSound(folder / "out.wav").samples;

    const std::string layout = "44100:2:pcm16";
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        bool pipe; // standard input from a named pipe rather than a file
    } cases[] = {
        {"raw in, raw out", {"--raw", layout, "-", "-"}, false},
        {"raw from a pipe", {"--raw", layout, "-", "-"}, true},
        {"file in, raw out", {"--raw", layout, (folder / "in.wav").string(), "-"}, false},
    };
    for (const auto& run : cases) {
        SCOPED_TRACE(run.name);
        std::vector<std::string> arguments = {"render", "--makeup", "6"};
        arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
        fs::path standardInput = folder / "in.raw";
#ifdef _WIN32
        if (run.pipe) continue; // a POSIX pipe: a stream that cannot be sought
#else
        std::optional<FilledPipe> pipe;
        if (run.pipe) standardInput = pipe.emplace(folder / "in.raw").path();
#endif
        const CommandResult result = runQv3(arguments, standardInput);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(pcm16Samples(result.outBytes) == expected);
        EXPECT_NE(result.err.find("output:    - (raw, Signed 16 bit PCM, little-endian"), std::string::npos)
            << result.err;
        EXPECT_EQ(result.err.find("damaged"), std::string::npos) << result.err; // a stream promises no length
    }
    // Raw samples into a file take the container the name says.
    ASSERT_EQ(runQv3({"render", "--makeup", "6", "--raw", layout, "-", (folder / "from-raw.wav").string()},
                     folder / "in.raw")
                  .status,
              0);
    EXPECT_TRUE(readSound(folder / "from-raw.wav").samples == expected);
}

#ifndef _WIN32
// The figures of qv3 analyze's first row, without the file's name.
std::string analyzedFigures(const CommandResult& result) {
    std::istringstream lines(result.out);
    std::string row;
    std::getline(lines, row);
    std::getline(lines, row);
    const std::size_t figures = row.find_first_not_of(' ', row.find(' '));
    return figures == std::string::npos ? "" : row.substr(figures);
}

TEST_F(Render, AnalyzeReadsAPipeAsAFile) {
    Sound input = noise(1, 44100, 22050, 0.5, 5);
    input.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeSound(folder / "in.wav", input);
    const std::string expected = analyzedFigures(runQv3({"analyze", (folder / "in.wav").string()}));
    ASSERT_NE(expected, "");
    for (const std::string argument : {"-", "/dev/stdin"}) {
        SCOPED_TRACE(argument);
        const FilledPipe pipe(folder / "in.wav");
        const CommandResult result = runQv3({"analyze", argument}, pipe.path());
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_EQ(analyzedFigures(result), expected);
    }
}
#endif

} // namespace
