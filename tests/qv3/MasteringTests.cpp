// qv3 render with loudness targets, batches into a folder, albums and reports, on generated material: quiet
// speech, dense music and material already louder than the targets.
#include "ToolTestSupport.h"
#include "TruePeakReference.h"

#include <ebur128.h>
#include <nlohmann/json.hpp>

#include <random>

namespace {

constexpr int kRate = 44100;
constexpr std::int64_t kFrames = 4 * kRate;
constexpr double kTruePeakLimit = -1.0;

// Syllables of band-limited noise with pauses between words, peaking near -12 dBFS (mono).
Sound speechLike(std::uint32_t seed) {
    Sound sound = silence(1, kRate, kFrames);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    double low = 0.0;
    for (std::int64_t frame = 0; frame < kFrames; ++frame) {
        const double t = static_cast<double>(frame) / kRate;
        const double syllable = std::max(0.0, std::sin(2.0 * kPi * 4.0 * t));
        const double word = std::fmod(t, 1.0) < 0.7 ? 1.0 : 0.0;
        low += 0.1 * (noise(random) - low);
        sound.samples[static_cast<std::size_t>(frame)] = static_cast<float>(0.5 * low * syllable * word);
    }
    return sound;
}

// Chords, bass and a kick on every beat, dense and stereo, peaking at `peak` before any clipping at `clip`.
Sound musicLike(std::uint32_t seed, double peak, double clip = 1.0) {
    Sound sound = silence(2, kRate, kFrames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> hiss(-1.0, 1.0);
    for (std::int64_t frame = 0; frame < kFrames; ++frame) {
        const double t = static_cast<double>(frame) / kRate;
        const double beat = std::fmod(t, 0.5);
        const double kick =
            std::exp(-beat * 18.0) * std::sin(2.0 * kPi * (50.0 + 80.0 * std::exp(-beat * 30.0)) * t);
        for (int channel = 0; channel < 2; ++channel) {
            double pad = 0.0;
            for (double frequency : {220.0, 277.2, 329.6, 110.0})
                pad += std::sin(2.0 * kPi * frequency * (1.0 + 0.002 * channel) * t) / 4.0;
            const double mix = 0.55 * kick + 0.35 * pad + 0.08 * hiss(random);
            sound.samples[static_cast<std::size_t>(frame * 2 + channel)] =
                static_cast<float>(std::clamp(mix * peak, -clip, clip));
        }
    }
    return sound;
}

struct Levels {
    double loudness;
    double truePeak;
};

// Measured here with libebur128 directly, not through qv3: each file, and all of them as one album.
std::vector<Levels> measure(const std::vector<fs::path>& paths, double* albumLoudness = nullptr) {
    std::vector<ebur128_state*> states;
    std::vector<Levels> levels;
    for (const auto& path : paths) {
        Sound sound = readSound(path);
        ebur128_state* state =
            ebur128_init(static_cast<unsigned>(sound.channels), static_cast<unsigned long>(sound.sampleRate),
                         EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
        ebur128_add_frames_float(state, sound.samples.data(), static_cast<std::size_t>(sound.frames()));
        Levels file{0.0, -HUGE_VAL};
        ebur128_loudness_global(state, &file.loudness);
        for (int channel = 0; channel < sound.channels; ++channel) {
            double peak = 0.0;
            ebur128_true_peak(state, static_cast<unsigned>(channel), &peak);
            file.truePeak = std::max(file.truePeak, 20.0 * std::log10(peak));
        }
        levels.push_back(file);
        states.push_back(state);
    }
    if (albumLoudness) ebur128_loudness_global_multiple(states.data(), states.size(), albumLoudness);
    for (ebur128_state* state : states)
        ebur128_destroy(&state);
    return levels;
}

class Mastering : public ::testing::Test {
  protected:
    void SetUp() override {
        writeSound(folder / "speech.wav", speechLike(1));
        writeSound(folder / "music.wav", musicLike(2, 0.89));
        writeSound(folder / "loud.wav", musicLike(3, 4.0, 0.95));
    }
    std::string path(const std::string& name) const { return (folder / name).string(); }
    CommandResult render(std::vector<std::string> options, const std::vector<std::string>& names) {
        options.insert(options.begin(), "render");
        for (const auto& name : names)
            options.push_back(path(name));
        return runQv3(options);
    }

    ScratchFolder folder;
};

TEST_F(Mastering, MeetsTheTargetOnEveryKindOfMaterialAndReportsWhatAnalyzeMeasures) {
    for (const char* target : {"-23", "-16", "-14"}) {
        SCOPED_TRACE(target);
        const fs::path out = folder / ("out" + std::string(target));
        auto result = render(
            {"--target-lufs", target, "-o", out.string(), "--report", (folder / "report.json").string()},
            {"speech.wav", "music.wav", "loud.wav"});
        ASSERT_EQ(result.status, 0) << result.err << result.out;
        auto report = nlohmann::json::parse(readText(folder / "report.json"));
        auto analyzed =
            nlohmann::json::parse(runQv3({"analyze", "--report", "-", (out / "speech.wav").string(),
                                          (out / "music.wav").string(), (out / "loud.wav").string()})
                                      .out);
        ASSERT_EQ(report["files"].size(), 3u);
        for (std::size_t index = 0; index < 3; ++index) {
            const auto& file = report["files"][index];
            const fs::path written = file["output"].get<std::string>();
            SCOPED_TRACE(written);
            Levels levels = measure({written})[0];
            EXPECT_NEAR(levels.loudness, std::stod(target), 0.1);
            EXPECT_LE(levels.truePeak, kTruePeakLimit);
            EXPECT_EQ(file["status"], "ok");
            EXPECT_EQ(file["output_levels"], analyzed["files"][index]["levels"]);
            EXPECT_NEAR(file["output_levels"]["integrated_lufs"].get<double>(), levels.loudness, 1e-9);
            EXPECT_EQ(file["parameters"].size(), 6u);
            EXPECT_GE(file["passes"].get<int>(), 1);
        }
        // Only the file louder than the target is turned down before the plug-in.
        EXPECT_LT(report["files"][2]["input_gain_db"].get<double>(), 0.0);
        EXPECT_EQ(report["files"][0]["input_gain_db"].get<double>(), 0.0);
        EXPECT_EQ(report["album"]["output_levels"], analyzed["album"]["levels"]);
    }
}

TEST_F(Mastering, ReportsTheTruePeakThatABandLimitedInterpolationFindsInTheOutput) {
    // A clipped 16-bit master, one second of it: full of energy near the Nyquist frequency.
    Sound master = musicLike(5, 4.0);
    master.samples.resize(2 * kRate);
    master.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeSound(folder / "master.wav", master);
    const std::pair<const char*, const char*> targets[] = {{"-16", "-1"}, {"-12", "-0.5"}};
    for (const auto& [lufs, limit] : targets) {
        SCOPED_TRACE(lufs);
        auto result = render({"--target-lufs", lufs, "--true-peak", limit, "--report", path("report.json")},
                             {"master.wav", "out.wav"});
        ASSERT_EQ(result.status, 0) << result.err;
        const double reported = nlohmann::json::parse(
            readText(folder / "report.json"))["files"][0]["output_levels"]["true_peak_dbtp"];
        const Sound written = readSound(folder / "out.wav");
        const double reference = decibelsOf(referenceTruePeak(written.samples, written.channels));
        EXPECT_NEAR(reported, reference, 0.1);
        EXPECT_LE(reported, std::stod(limit));
        EXPECT_NEAR(levelRow(result, "output").truePeak, reported, 0.005);
    }
}

TEST_F(Mastering, BatchFinishesTheOtherFilesAndNamesTheBrokenOne) {
    std::ofstream(folder / "broken.wav") << "not audio";
    // Silence has no loudness to move with the album's.
    writeSound(folder / "silent.wav", silence(2, kRate, kRate));
    const struct {
        std::vector<std::string> options;
        std::string broken;
    } cases[] = {{{"--jobs", "2"}, "broken.wav"}, {{"--album", "--target-lufs", "-16"}, "silent.wav"}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.broken);
        const fs::path out = folder / ("out-" + row.broken);
        std::vector<std::string> options = row.options;
        options.insert(options.end(), {"-o", out.string()});
        auto result = render(options, {"music.wav", row.broken, "speech.wav"});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(fs::exists(out / "music.wav"));
        EXPECT_TRUE(fs::exists(out / "speech.wav"));
        EXPECT_FALSE(fs::exists(out / row.broken));
        EXPECT_NE(result.err.find(row.broken), std::string::npos) << result.err;
        EXPECT_NE(result.out.find("failed: " + row.broken), std::string::npos) << result.out;
    }
}

TEST_F(Mastering, OutputsDoNotDependOnTheNumberOfWorkers) {
    const std::vector<std::string> names = {"speech.wav", "music.wav", "loud.wav"};
    for (const char* jobs : {"1", "3"})
        ASSERT_EQ(render({"--target-lufs", "-16", "--format", "pcm16", "--jobs", jobs, "-o",
                          (folder / ("jobs" + std::string(jobs))).string()},
                         names)
                      .status,
                  0);
    for (const auto& name : names)
        EXPECT_EQ(readText(folder / "jobs1" / name), readText(folder / "jobs3" / name)) << name;
}

TEST_F(Mastering, AlbumKeepsItsShape) {
    // A loud track the limiter works hard on, the same 4 dB quieter and a spoken interlude: at -10 LUFS one
    // setting for all shrank the 4 dB to 0.7; keeping the whole shape reaches only -10.8, so the differences
    // narrow, never below half. And quieter tracks.
    writeSound(folder / "quieter.wav", musicLike(2, 0.89 / 4.0));
    writeSound(folder / "fourDbDown.wav", musicLike(2, 0.89 * std::pow(10.0, -4.0 / 20.0)));
    writeSound(folder / "dynamic.wav", musicLike(2, 0.45));
    writeSound(folder / "dynamicFourDbDown.wav", musicLike(2, 0.45 * std::pow(10.0, -4.0 / 20.0)));
    Sound interlude = speechLike(1);
    for (float& sample : interlude.samples)
        sample *= 0.5f;
    writeSound(folder / "interlude.wav", interlude);
    struct Case {
        const char* target;
        std::vector<std::string> names;
        std::vector<std::string> refusals; // empty: met
    };
    const Case cases[] = {
        {"-16", {"music.wav", "quieter.wav"}, {}},
        {"-14", {"dynamic.wav", "dynamicFourDbDown.wav", "interlude.wav"}, {}},
        {"-10", {"music.wav", "fourDbDown.wav", "speech.wav"}, {}},
        {"-7",
         {"music.wav", "fourDbDown.wav", "speech.wav"},
         {"keeping 60 % of the loudness differences", "so shaped, the album reaches about -10.1 LUFS"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.target);
        const fs::path out = folder / ("album" + std::string(row.target));
        auto result = render({"--album", "--target-lufs", row.target, "-o", out.string()}, row.names);
        std::vector<fs::path> inputs;
        std::vector<fs::path> outputs;
        for (const auto& name : row.names) {
            inputs.push_back(folder / name);
            outputs.push_back(out / name);
        }
        if (!row.refusals.empty()) {
            EXPECT_EQ(result.status, 1);
            for (const std::string& refusal : row.refusals)
                EXPECT_NE(result.err.find(refusal), std::string::npos) << result.err;
            for (const auto& output : outputs)
                EXPECT_FALSE(fs::exists(output));
            continue;
        }
        ASSERT_EQ(result.status, 0) << result.err;
        double album = 0.0;
        const auto in = measure(inputs);
        const auto levels = measure(outputs, &album);
        for (std::size_t first = 0; first < row.names.size(); ++first) {
            EXPECT_LE(levels[first].truePeak, kTruePeakLimit) << row.names[first];
            for (std::size_t second = 0; second < row.names.size(); ++second) {
                const double gapIn = in[first].loudness - in[second].loudness;
                if (gapIn <= 0.0) continue;
                // The order stays, and at least half of every gap.
                EXPECT_GE(levels[first].loudness - levels[second].loudness, gapIn / 2.0)
                    << row.names[first] << " over " << row.names[second];
            }
        }
        EXPECT_NEAR(album, std::stod(row.target), 0.1);
    }
}

TEST_F(Mastering, RefusesUnreachableTargetsAndCollidingOutputsBeforeWritingAny) {
    writeSound(folder / "faint.wav", sine(2, kRate, kFrames, 440.0, 0.001));
    writeSound(folder / "silent.wav", silence(2, kRate, kRate));
    fs::create_directory(folder / "other");
    writeSound(folder / "other" / "music.wav", musicLike(4, 0.5));
    // The demo reaches -11.2 LUFS within -1 dBTP at the default program, and -11 with a shorter release.
    ASSERT_EQ(runQv3({"demo", "--seconds", "8", path("demo.wav")}).status, 0);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--target-lufs", "-11", path("demo.wav"), path("out.wav")},
         "within -1.0 dBTP is -11.2 LUFS; with --release manual:50 it is reached"},
        {{"--album", "--target-lufs", "-11", "-o", path("album"), path("demo.wav")},
         "album target -11.0 LUFS, true peak at most -1.0 dBTP is out of reach"},
        {{"--target-lufs", "-10", path("faint.wav"), path("out.wav")}, "more than +48 dB of Makeup"},
        // No other setting makes silence loud: nothing is suggested.
        {{"--target-lufs", "-14", path("silent.wav"), path("out.wav")}, "silent or too short to measure\n"},
        {{"--target-lufs", "-14", "--true-peak", "-8", path("music.wav"), path("out.wav")},
         "no Makeup brings the true peak within 6.0 dB of the loudness"},
        {{"--target-lufs", "-14", "--true-peak", "-8", "--program", "+6dB Maxi Aggressive", path("music.wav"),
          path("out.wav")},
         "Ceiling below -6 dB"},
        {{"-o", path("out"), path("music.wav"), (folder / "other" / "music.wav").string()},
         "would both be written as"},
        {{"-o", folder.path().string(), path("speech.wav")}, "is the input file"},
#ifdef _WIN32
        // Windows file names ignore case: these two would be written as one file.
        {{"-o", path("out"), path("music.wav"), (folder / "other" / "MUSIC.WAV").string()},
         "would both be written as"},
#endif
    };
    for (const auto& [options, message] : cases) {
        auto result = render(options, {});
        EXPECT_EQ(result.status, 1);
        ASSERT_EQ(result.errLines().size(), 1u) << result.err;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(folder / "out.wav"));
        EXPECT_FALSE(fs::exists(folder / "out"));
        EXPECT_FALSE(fs::exists(folder / "album" / "demo.wav"));
    }
}

} // namespace
