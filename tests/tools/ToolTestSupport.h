// Runs the qv3 command as a user would and makes and reads the audio files it works on.
#pragma once

#include <sndfile.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "qv3-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    fs::path operator/(const std::string& name) const { return path_ / name; }
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

// Runs qv3 with the arguments, capturing both output streams through files (no pipe can fill up).
inline CommandResult runQv3(const std::vector<std::string>& arguments) {
    ScratchFolder capture;
    const fs::path outPath = capture / "stdout";
    const fs::path errPath = capture / "stderr";
    std::vector<std::string> command = {QV3_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    CommandResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
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

inline void writeSound(const fs::path& path, const Sound& sound) {
    SF_INFO info = {};
    info.channels = sound.channels;
    info.samplerate = sound.sampleRate;
    info.format = sound.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    EXPECT_EQ(sf_writef_float(file, sound.samples.data(), sound.frames()), sound.frames());
    sf_close(file);
}

inline Sound readSound(const fs::path& path) {
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
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
