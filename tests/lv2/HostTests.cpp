// The bundle as users get it: installed by tools/install.sh into a fresh home's ~/.lv2, checked by
// lv2_validate, and rendered by Debian's LV2 hosts lv2apply and lv2file, whose files must hold the very
// samples the VST 2.x build writes through qv3 for the same program or settings.
#include "tests/FactoryProgramNames.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kSampleRate = 44100;
constexpr int kFrames = kSampleRate;

struct Audio {
    int channels = 0;
    std::vector<float> samples;
};

Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    Audio audio{info.channels, std::vector<float>(static_cast<std::size_t>(info.frames * info.channels))};
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

// 32-bit float, so that every host writes its output in that format too: loud bursts over quiet stretches.
void writeMaterial(const fs::path& path, int channels) {
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples(static_cast<std::size_t>(kFrames * channels));
    for (int i = 0; i < kFrames; ++i)
        for (int channel = 0; channel < channels; ++channel)
            samples[i * channels + channel] = static_cast<float>(
                ((i / 5000) % 2 ? 0.4 : 2.2) * std::sin(0.021 * (channel + 2) * i) * std::cos(0.0003 * i));
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, samples.data(), kFrames);
    sf_close(file);
}

class Lv2Hosts : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        char folder[] = "/tmp/qv3-lv2-hosts.XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        home_ = folder;
        // The hosts find the bundle where users install it, and nowhere else.
        setenv("HOME", folder, 1);
        unsetenv("LV2_PATH");
        ASSERT_EQ(run(std::string("'") + QV3_SOURCE_DIR + "/tools/install.sh' '" + QV3_BUILT_DIR + "'"), 0);
        writeMaterial(home_ / "stereo.wav", 2);
        writeMaterial(home_ / "mono.wav", 1);
    }
    static void TearDownTestSuite() { fs::remove_all(home_); }

    // The exit status of a shell command, whose output goes to the log in the home folder.
    static int run(const std::string& command) {
        const int status = std::system((command + " >'" + log().string() + "' 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static fs::path log() { return home_ / "log.txt"; }
    static std::string logText() {
        std::ifstream file(log());
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    static fs::path bundle() { return home_ / ".lv2" / "Orvanta_QV3.lv2"; }

    // Renders the material of `channels` with the VST 2.x build (through qv3, the plug-in's delay kept) and
    // with an LV2 host, and expects the same samples.
    static void expectSameRender(int channels, const std::string& qv3Options, const std::string& host,
                                 const std::string& hostArguments) {
        const fs::path input = home_ / (channels == 2 ? "stereo.wav" : "mono.wav");
        const fs::path vst2 = home_ / "vst2.wav", lv2 = home_ / "lv2.wav";
        const char* plugin = channels == 2 ? QV3_VST2_STEREO : QV3_VST2_MONO;
        ASSERT_EQ(run(std::string(QV3_COMMAND) + " render --plugin '" + plugin +
                      "' --keep-latency --format float " + qv3Options + " '" + input.string() + "' '" +
                      vst2.string() + "'"),
                  0)
            << logText();
        const std::string lv2Command = host + " -i '" + input.string() + "' -o '" + lv2.string() + "' " +
                                       hostArguments + " " + uri(channels);
        ASSERT_EQ(run(lv2Command), 0) << logText();
        const Audio expected = readAudio(vst2), written = readAudio(lv2);
        ASSERT_EQ(written.channels, channels);
        ASSERT_EQ(written.samples.size(), expected.samples.size());
        EXPECT_EQ(std::memcmp(written.samples.data(), expected.samples.data(), expected.samples.size() * 4),
                  0)
            << lv2Command << " differs from qv3 " << qv3Options;
    }

    static std::string uri(int channels) {
        return channels == 2 ? "urn:tarnwick:orvanta-qv3" : "urn:tarnwick:orvanta-qv3mono";
    }

    static inline fs::path home_;
};

TEST_F(Lv2Hosts, ValidatorFindsNoErrorAndNoWarning) {
    std::string files;
    for (const auto& entry : fs::directory_iterator(bundle()))
        if (entry.path().extension() == ".ttl") files += " '" + entry.path().string() + "'";
    EXPECT_EQ(run("lv2_validate" + files), 0) << logText();
    const std::string text = logText();
    EXPECT_EQ(text.find("error:"), std::string::npos) << text;
    EXPECT_EQ(text.find("warning:"), std::string::npos) << text;
    EXPECT_NE(text.find("Found 0 errors"), std::string::npos) << text;
}

TEST_F(Lv2Hosts, EachBinaryExportsOnlyItsDescriptor) {
    for (const char* binary : {"Orvanta_QV3.so", "Orvanta_QV3mono.so"}) {
        ASSERT_EQ(run("nm -D --defined-only --format=posix '" + (bundle() / binary).string() + "'"), 0);
        std::istringstream lines(logText());
        std::set<std::string> symbols;
        for (std::string name, rest; lines >> name && std::getline(lines, rest);)
            symbols.insert(name);
        EXPECT_EQ(symbols, std::set<std::string>{"lv2_descriptor"}) << binary;
    }
}

// lv2apply runs the plug-in one frame at a time; settings in the ports' units against the same normalised
// values set raw in the VST 2.x build (whose "Rel" follows the release switch).
TEST_F(Lv2Hosts, Lv2applyWritesWhatTheVst2BuildWrites) {
    const struct {
        int channels;
        const char* qv3;
        const char* controls;
    } cases[] = {
        {2, "--program 0", ""},
        {2, "--set 0=0.125 --set 1=0.5 --set 2=1 --set 3=0 --set 4=0",
         "-c makeup 6 -c ceiling -3 -c release_mode 1 -c manual_release 0.01 -c shape 0"},
        {1, "--set 0=0.25 --set 3=0.25 --set 4=1", "-c makeup 12 -c auto_release 25 -c shape 4"},
        {1, "--program 0 --set 5=1", "-c monitor 1"},
        {2, "--set 0=0.5 --set 1=0.75 --set 2=1 --set 3=1 --set 4=0.75",
         "-c makeup 24 -c ceiling -1.5 -c release_mode 1 -c manual_release 1000 -c shape 3"},
    };
    for (const auto& c : cases)
        expectSameRender(c.channels, c.qv3, "lv2apply", c.controls);
}

// lv2file loads each factory program from the bundle's presets by its name, as a host's preset menu does.
TEST_F(Lv2Hosts, Lv2fileWritesEveryProgramAsTheVst2Build) {
    const std::vector<std::string> names = factoryProgramNames();
    for (int channels : {2, 1})
        for (std::size_t program = 0; program < names.size(); ++program)
            expectSameRender(channels, "--program " + std::to_string(program), "lv2file",
                             "-P '" + names[program] + "' -b 333");
}

} // namespace
