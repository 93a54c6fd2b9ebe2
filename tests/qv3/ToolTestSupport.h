// Runs the qv3 command as a user would and makes and reads the audio files it works on.
#pragma once

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device seed;
        do
            path_ = fs::temp_directory_path() / ("qv3-test-" + std::to_string(seed()));
        while (!fs::create_directory(path_));
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // `name` is UTF-8 text, as the names the tests give qv3 are.
    fs::path operator/(const std::string& name) const { return path_ / fs::u8path(name); }
    const fs::path& path() const { return path_; }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(path_))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

  private:
    fs::path path_;
};

struct CommandResult {
    int status = -1;
    std::string out;
    std::string outBytes; // standard output as written, for audio written there
    std::string err;
    std::vector<std::string> errLines() const {
        std::vector<std::string> lines;
        std::istringstream stream(err);
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }
    // The line of standard output that starts with `prefix`, or "" if there is none.
    std::string line(const std::string& prefix) const {
        std::istringstream stream(out);
        for (std::string text; std::getline(stream, text);)
            if (text.rfind(prefix, 0) == 0) return text;
        return "";
    }
};

inline std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs qv3 with the arguments and the file as standard input (none when empty), capturing both output streams
// through files (no pipe can fill up). Standard output and error come back with "\n" line ends on every
// platform. ToolRunPosix.cpp and ToolRunWindows.cpp implement it.
CommandResult runQv3(const std::vector<std::string>& arguments, const fs::path& standardInput = {});

// A plug-in library built as `name` ("Orvanta_QV3") beside qv3.
inline std::string pluginPath(const std::string& name) {
    return (fs::path(QV3_PLUGIN_DIR) / (name + QV3_PLUGIN_SUFFIX)).make_preferred().string();
}

struct Sound {
    int channels = 0;
    int sampleRate = 0;
    int format = 0;
    std::vector<float> samples; // interleaved
    std::int64_t frames() const {
        return channels ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
    float at(std::int64_t frame, int channel) const {
        return samples[static_cast<std::size_t>(frame * channels + channel)];
    }
};

// libsndfile's open for `path`: on Windows its narrow open takes the ANSI code page, not UTF-8.
inline SNDFILE* openSound(const fs::path& path, int mode, SF_INFO* info) {
#ifdef _WIN32
    return sf_wchar_open(path.c_str(), mode, info);
#else
    return sf_open(path.c_str(), mode, info);
#endif
}

inline void writeSound(const fs::path& path, const Sound& sound) {
    SF_INFO info = {};
    info.channels = sound.channels;
    info.samplerate = sound.sampleRate;
    info.format = sound.format;
    SNDFILE* file = openSound(path, SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    EXPECT_EQ(sf_writef_float(file, sound.samples.data(), sound.frames()), sound.frames());
    sf_close(file);
}

inline Sound readSound(const fs::path& path) {
    SF_INFO info = {};
    SNDFILE* file = openSound(path, SFM_READ, &info);
    Sound sound;
    if (!file) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return sound;
    }
    sound.channels = info.channels;
    sound.sampleRate = info.samplerate;
    sound.format = info.format;
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(file, sound.samples.data(), info.frames), info.frames);
    sf_close(file);
    return sound;
}

inline Sound silence(int channels, int sampleRate, std::int64_t frames,
                     int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    Sound sound;
    sound.channels = channels;
    sound.sampleRate = sampleRate;
    sound.format = format;
    sound.samples.assign(static_cast<std::size_t>(frames * channels), 0.0f);
    return sound;
}

// A sine of the given peak on every channel.
inline Sound sine(int channels, int sampleRate, std::int64_t frames, double frequency, double peak,
                  int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    Sound sound = silence(channels, sampleRate, frames, format);
    for (std::int64_t frame = 0; frame < frames; ++frame)
        for (int channel = 0; channel < channels; ++channel)
            sound.samples[static_cast<std::size_t>(frame * channels + channel)] = static_cast<float>(
                peak * std::sin(2.0 * kPi * frequency * static_cast<double>(frame) / sampleRate));
    return sound;
}

// The figures of one row of the render summary: "  input   -6.02 dBFS  -6.00 dBTP  -20.0 LUFS".
struct LevelRow {
    double samplePeak = 0.0;
    double truePeak = 0.0;
    double loudness = 0.0;
};

inline LevelRow levelRow(const CommandResult& result, const std::string& name) {
    LevelRow row;
    std::string text = result.line("  " + name + " ");
    EXPECT_EQ(std::sscanf(text.c_str() + 2 + name.size(), "%lf dBFS %lf dBTP %lf LUFS", &row.samplePeak,
                          &row.truePeak, &row.loudness),
              3)
        << "no level row for " << name << " in:\n"
        << result.out;
    return row;
}

inline double decibelsOf(double linear) { return 20.0 * std::log10(linear); }

inline double peakOf(const Sound& sound) {
    double peak = 0.0;
    for (float sample : sound.samples)
        peak = std::max(peak, static_cast<double>(std::fabs(sample)));
    return peak;
}
