// What must not depend on the platform qv3 runs on: the bytes it writes, which are pinned here for Linux and
// Windows alike, and file names outside ASCII.
#include "ToolTestSupport.h"
#include "tests/Fingerprint.h"

#include <nlohmann/json.hpp>

namespace {

// Loud stereo material from integer arithmetic only, so every platform writes the very same samples: a
// detuned pair of triangle waves with a burst of noise every 0.25 s, exactly representable as floats.
Sound integerMaterial(int channels) {
    constexpr int kRate = 44100;
    constexpr std::int64_t kFrames = kRate;
    Sound sound = silence(channels, kRate, kFrames);
    std::uint32_t state = 12345;
    for (std::int64_t frame = 0; frame < kFrames; ++frame) {
        state = state * 1664525u + 1013904223u;
        const std::int64_t noise =
            frame % 11025 < 2000 ? static_cast<std::int64_t>(state >> 9) - (1 << 22) : 0;
        for (int channel = 0; channel < channels; ++channel) {
            const std::int64_t period = 200 + 3 * channel;
            const std::int64_t phase = frame % period;
            const std::int64_t triangle =
                (phase < period / 2 ? phase : period - phase) * 2 * (1 << 23) / period;
            const std::int64_t sample = (triangle - (1 << 23) / 2) * 3 / 2 + noise;
            sound.samples[static_cast<std::size_t>(frame * channels + channel)] =
                static_cast<float>(std::ldexp(static_cast<double>(sample), -23));
        }
    }
    return sound;
}

std::uint64_t fileFingerprint(const fs::path& path) {
    const std::string bytes = readText(path);
    return fingerprint(kFingerprintStart, bytes.data(), bytes.size());
}

struct PinnedRender {
    int channels;
    std::vector<std::string> options;
    std::uint64_t fingerprint;
};

// Rendered by the Linux qv3; qv3.exe of both architectures must write the same bytes (no float formats here:
// their header holds the time of writing).
const PinnedRender kPinnedRenders[] = {
    {2, {"--program", "+6dB Maxi", "--format", "pcm24"}, 0xd6cbf79de62bec5au},
    {1,
     {"--makeup", "12", "--release", "manual:5", "--shape", "hard", "--format", "pcm16"},
     0x7976cc7979a6b271u},
    {2, {"--target-lufs", "-9", "--true-peak", "-0.5", "--format", "pcm24"}, 0x5e4e732f46d6c608u},
};

TEST(Platform, RendersTheBytesPinnedForEveryPlatform) {
    ScratchFolder folder;
    for (const PinnedRender& pinned : kPinnedRenders) {
        SCOPED_TRACE(testing::PrintToString(pinned.options));
        writeSound(folder / "in.wav", integerMaterial(pinned.channels));
        std::vector<std::string> arguments = {"render"};
        arguments.insert(arguments.end(), pinned.options.begin(), pinned.options.end());
        arguments.push_back((folder / "in.wav").string());
        arguments.push_back((folder / "out.wav").string());
        auto result = runQv3(arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(fileFingerprint(folder / "out.wav"), pinned.fingerprint)
            << std::hex << "0x" << fileFingerprint(folder / "out.wav");
    }
}

TEST(Platform, ReadsAndWritesFilesWhoseNamesAreNotAscii) {
    ScratchFolder folder;
    const std::string input = "Ä-Ω.wav";
    const std::string output = "Ω-ß 音.wav";
    writeSound(folder / input, integerMaterial(2));

    auto render =
        runQv3({"render", "--format", "pcm24", (folder / input).string(), (folder / output).string()});
    ASSERT_EQ(render.status, 0) << render.err;
    EXPECT_NE(render.line("input:").find(input), std::string::npos) << render.out;
    EXPECT_NE(render.line("output:").find(output), std::string::npos) << render.out;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{input, output}));
    EXPECT_EQ(readSound(folder / output).frames(), 44100);

    const fs::path batch = folder / "Ä folder";
    auto batchRender = runQv3({"render", "--format", "pcm24", "--report", (folder / "Ω.json").string(), "-o",
                               batch.string(), (folder / input).string()});
    ASSERT_EQ(batchRender.status, 0) << batchRender.err;
    EXPECT_EQ(readText(batch / fs::u8path(input)), readText(folder / output));
    auto report = nlohmann::json::parse(readText(folder / "Ω.json"));
    EXPECT_EQ(report["files"][0]["input"], (folder / input).string());
    EXPECT_EQ(report["files"][0]["output"], (batch / fs::u8path(input)).string());

    auto analyzed = runQv3({"analyze", "--report", "-", (batch / fs::u8path(input)).string()});
    ASSERT_EQ(analyzed.status, 0) << analyzed.err;
    EXPECT_EQ(nlohmann::json::parse(analyzed.out)["files"][0]["input"], (batch / fs::u8path(input)).string());
}

} // namespace
