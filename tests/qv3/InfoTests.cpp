// qv3 info: the whole report, pinned for both builds.
#include "ToolTestSupport.h"
#include "Version.h"
#include "tests/FactoryProgramNames.h"

namespace {

TEST(Help, EachCommandHasItsOwnWhicheverWayItIsAsked) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"render", "--help"}, "usage: qv3 render"},
        {{"help", "render"}, "usage: qv3 render"},
        {{"render", "-h"}, "+6dB Limit Aggressive"},
        {{"help", "analyze"}, "usage: qv3 analyze"},
        {{"info", "--help"}, "usage: qv3 info"},
        {{"demo", "--help"}, "usage: qv3 demo"},
        {{"help"}, "qv3 help COMMAND"},
    };
    for (const auto& [arguments, expected] : cases) {
        auto result = runQv3(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find(expected), std::string::npos) << result.out;
    }
    EXPECT_EQ(runQv3({"help", "mix"}).status, 2);
}

// Windows builds have the editor.
#ifdef _WIN32
constexpr const char* kFlags = "0x19 (editor, can mono, replacing)";
#else
constexpr const char* kFlags = "0x18 (can mono, replacing)";
#endif

std::string expectedReport(const std::string& path, const std::string& name, const std::string& id,
                           const std::string& hex, int channels) {
    std::string report = "plug-in:     " + path + "\n" + "name:        " + name + "\n" +
                         "vendor:      tarnwick\n" + "product:     " + name + "\n" + "unique ID:   '" + id +
                         "' (" + hex + ")\n" + "version:     1 (vendor version 1000, VST 2300)\n" +
                         "inputs:      " + std::to_string(channels) + "\n" +
                         "outputs:     " + std::to_string(channels) + "\n" + "latency:     39 samples\n" +
                         "flags:       " + kFlags + "\n" +
                         "parameters:  6\n"
                         "   0  Makeup     0.000000  \"0.0\"\n"
                         "   1  Ceiling    1.000000  \"0.00\"\n"
                         "   2  RelSW      0.000000  \"auto\"\n"
                         "   3  Rel        0.406250  \" 40 %\"\n"
                         "   4  lt_ClipSW  0.500000  \"3\"\n"
                         "   5  Monitor    0.000000  \"on\"\n"
                         "programs:    31\n";
    const std::vector<std::string> names = factoryProgramNames();
    for (int index = 0; index < 31; ++index) {
        char line[64];
        std::snprintf(line, sizeof line, "  %2d  %s\n", index, names[index].c_str());
        report += line;
    }
    return report;
}

TEST(Info, ReportsTheStereoBuildBesideTheCommandByDefault) {
    auto result = runQv3({"info"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string path =
        (fs::path(QV3_TOOL).parent_path() / ("Orvanta_QV3" QV3_PLUGIN_SUFFIX)).make_preferred().string();
    EXPECT_EQ(result.out, expectedReport(path, "Orvanta_QV3", "ov08", "0x6F763038", 2));
}

TEST(Info, ReportsTheMonoBuildGivenByPath) {
    const std::string path = pluginPath("Orvanta_QV3mono");
    auto result = runQv3({"info", "--plugin", path});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, expectedReport(path, "Orvanta_QV3mono", "ov09", "0x6F763039", 1));

    // A bare file name is the file in the current folder, not one the system's loader would search for.
    auto cwd = fs::current_path();
    fs::current_path(QV3_PLUGIN_DIR);
    result = runQv3({"info", "--plugin", "Orvanta_QV3mono" QV3_PLUGIN_SUFFIX});
    fs::current_path(cwd);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, expectedReport("Orvanta_QV3mono" QV3_PLUGIN_SUFFIX, "Orvanta_QV3mono", "ov09",
                                         "0x6F763039", 1));
}

TEST(Info, RefusesUnexpectedArguments) {
    auto result = runQv3({"info", "extra"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "qv3: info: unexpected argument 'extra'\n");
    result = runQv3({"info", "--plugin"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "qv3: --plugin needs a value\n");
}

TEST(Info, ShowsTheProjectVersion) {
    auto result = runQv3({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "qv3 " QV3_VERSION "\n");
    EXPECT_EQ(result.err, "");
}

TEST(Demo, SynthesisesTheSameFourBarsEveryTime) {
    ScratchFolder folder;
    auto result = runQv3({"demo", (folder / "demo.wav").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    Sound demo = readSound(folder / "demo.wav");
    EXPECT_EQ(demo.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(demo.channels, 2);
    EXPECT_EQ(demo.sampleRate, 44100);
    EXPECT_EQ(demo.frames(), 4 * 4 * 22050);
    EXPECT_NEAR(decibelsOf(peakOf(demo)), -1.0, 0.01);
    std::string first = readText(folder / "demo.wav");
    ASSERT_EQ(runQv3({"demo", (folder / "again.wav").string()}).status, 0);
    EXPECT_EQ(readText(folder / "again.wav"), first);

    // The README's example: the demo through "+3dB Maxi" is limited and 3 LU louder.
    auto render = runQv3(
        {"render", "--program", "+3dB Maxi", (folder / "demo.wav").string(), (folder / "loud.wav").string()});
    ASSERT_EQ(render.status, 0) << render.err;
    LevelRow input = levelRow(render, "input");
    LevelRow output = levelRow(render, "output");
    EXPECT_NEAR(output.samplePeak, 0.0, 0.01);
    EXPECT_NEAR(output.loudness - input.loudness, 3.0, 0.3);
    double reduction = 0.0;
    ASSERT_EQ(std::sscanf(render.line("gain reduction:").c_str(), "gain reduction: up to %lf dB", &reduction),
              1);
    EXPECT_GT(reduction, 1.0);
    EXPECT_LT(reduction, 3.1);
}

} // namespace
