// Every way qv3 render refuses: one line on standard error, a non-zero status, no output written or
// changed, the input untouched and no temporary file left behind.
#include "ToolTestSupport.h"

namespace {

class Refusal : public ::testing::Test {
  protected:
    void SetUp() override {
        Sound input = sine(2, 44100, 4000, 997.0, 0.5);
        writeSound(folder / "in.wav", input);
        inputBytes = readText(folder / "in.wav");
    }

    // Runs qv3 render with `arguments`, expects the refusal and the folder as it was plus `extraFiles`.
    void expectRefusal(const std::vector<std::string>& arguments, int status,
                       const std::string& messagePart) {
        SCOPED_TRACE(testing::Message() << "arguments: " << testing::PrintToString(arguments));
        auto before = folder.names();
        std::map<std::string, std::string> contents;
        for (const auto& name : before)
            if (fs::is_regular_file(folder / name)) contents[name] = readText(folder / name);

        auto result = runQv3(arguments);
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.out, "");
        auto lines = result.errLines();
        ASSERT_EQ(lines.size(), 1u) << result.err;
        EXPECT_EQ(lines[0].rfind("qv3: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(messagePart), std::string::npos) << lines[0];
        EXPECT_EQ(folder.names(), before);
        for (const auto& [name, bytes] : contents)
            EXPECT_EQ(readText(folder / name), bytes) << name << " changed";
        EXPECT_EQ(readText(folder / "in.wav"), inputBytes);
    }

    std::string in() const { return (folder / "in.wav").string(); }
    std::string out() const { return (folder / "out.wav").string(); }

    ScratchFolder folder;
    std::string inputBytes;
};

TEST_F(Refusal, MissingOrUnreadableInput) {
    expectRefusal({"render", (folder / "absent.wav").string(), out()}, 1, "cannot read");
    std::ofstream(folder / "text.wav") << "this is not audio at all, just some words in a file";
    expectRefusal({"render", (folder / "text.wav").string(), out()}, 1, "cannot read");
    fs::create_directory(folder / "sub");
    expectRefusal({"render", (folder / "sub").string(), out()}, 1, "cannot read");
}

TEST_F(Refusal, MoreThanTwoChannels) {
    writeSound(folder / "three.wav", silence(3, 44100, 100));
    expectRefusal({"render", (folder / "three.wav").string(), out()}, 1, "has 3 channels");
    writeSound(folder / "six.wav", silence(6, 48000, 100));
    expectRefusal({"render", (folder / "six.wav").string(), out()}, 1, "has 6 channels");
}

TEST_F(Refusal, OutputThatNamesTheInput) {
    fs::create_directory(folder / "sub");
    fs::create_hard_link(folder / "in.wav", folder / "hard.wav");
    std::vector<std::string> outputs = {in(), (folder / "sub" / ".." / "in.wav").string(),
                                        (folder / "hard.wav").string(),
                                        (folder / "sub" / ".." / "." / "hard.wav").string()};
#ifdef _WIN32
    // Windows file names ignore case; only administrators may make symbolic links there.
    outputs.push_back((folder / "IN.WAV").string());
#else
    fs::create_symlink(folder / "in.wav", folder / "link.wav");
    outputs.push_back((folder / "link.wav").string());
#endif
    for (const std::string& output : outputs)
        expectRefusal({"render", in(), output}, 1, "is the input file");
    // A relative spelling of the same file, seen from its own folder.
    auto cwd = fs::current_path();
    fs::current_path(folder.path());
    expectRefusal({"render", in(), "in.wav"}, 1, "is the input file");
    expectRefusal({"render", "./sub/../in.wav", "hard.wav"}, 1, "is the input file");
    fs::current_path(cwd);
}

TEST_F(Refusal, OutputThatIsAFolderOrInAMissingFolder) {
    fs::create_directory(folder / "sub");
    expectRefusal({"render", in(), (folder / "sub").string()}, 1, "is a folder");
    expectRefusal({"render", in(), (folder / "sub").string() + "/"}, 1, "names a folder");
    expectRefusal({"render", in(), (folder / "missing" / "out.wav").string()}, 1, "does not exist");
}

TEST_F(Refusal, ReportOrOutputThatCannotBeWrittenBeforeAnyWork) {
    fs::create_directory(folder / "sub");
    const std::string missing = (folder / "missing" / "report.json").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"render", "--report", missing, in(), out()}, "report " + missing + ": the folder"},
        {{"render", "--report", (folder / "sub").string(), in(), out()}, "is a folder"},
        {{"render", "--target-lufs", "-16", "--report", missing, in(), out()}, "does not exist"},
        {{"render", "--report", missing, "-o", (folder / "batch").string(), in()}, "does not exist"},
        {{"render", "--album", "--target-lufs", "-16", "--report", missing, "-o", (folder / "batch").string(),
          in()},
         "does not exist"},
        {{"analyze", "--report", missing, in()}, "does not exist"},
    };
    for (const auto& [arguments, message] : cases)
        expectRefusal(arguments, 1, message);
}

TEST_F(Refusal, UnknownProgram) {
    std::ofstream(folder / "out.wav") << "an earlier render";
    expectRefusal({"render", "--program", "+4dB Maxi", in(), out()}, 2, "unknown program '+4dB Maxi'");
    expectRefusal({"render", "--program", "+3dB maxi", in(), out()}, 2, "unknown program");
    expectRefusal({"render", "--program", "31", in(), out()}, 2, "programs 0 to 30");
    expectRefusal({"render", "--program", "-1", in(), out()}, 2, "unknown program");
}

TEST_F(Refusal, LibrariesThatAreNoPlugIns) {
    std::ofstream(folder / "out.wav") << "an earlier render";
    const std::string fake = "fake" QV3_PLUGIN_SUFFIX;
    std::ofstream(folder / fake) << "not a shared library";
    expectRefusal({"render", "--plugin", (folder / fake).string(), in(), out()}, 1, "cannot load plug-in");
    expectRefusal({"render", "--plugin", (folder / ("absent" QV3_PLUGIN_SUFFIX)).string(), in(), out()}, 1,
                  "cannot load plug-in");
    expectRefusal({"render", "--plugin", QV3_NULL_ENTRY, in(), out()}, 1, "main returned null");
    expectRefusal({"render", "--plugin", QV3_NO_ENTRY, in(), out()}, 1, "does not export main");
    expectRefusal({"info", "--plugin", QV3_NULL_ENTRY}, 1, "main returned null");
}

TEST_F(Refusal, PlugInWithOtherChannelCount) {
    writeSound(folder / "mono.wav", silence(1, 44100, 100));
    expectRefusal({"render", "--plugin", pluginPath("Orvanta_QV3"), (folder / "mono.wav").string(), out()}, 1,
                  "has 1 channel");
    expectRefusal({"render", "--plugin", pluginPath("Orvanta_QV3mono"), in(), out()}, 1, "has 2 channel");
}

TEST_F(Refusal, MalformedOrOutOfRangeSettings) {
    std::ofstream(folder / "out.wav") << "an earlier render";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--makeup", "49"}, "--makeup takes 0 to 48 (dB), not '49'"},
        {{"--makeup", "-1"}, "--makeup takes 0 to 48"},
        {{"--makeup", "three"}, "--makeup takes 0 to 48"},
        {{"--makeup", "3 dB"}, "--makeup takes 0 to 48"},
        {{"--makeup", "nan"}, "--makeup takes 0 to 48"},
        {{"--makeup", ""}, "--makeup takes 0 to 48"},
        {{"--makeup"}, "--makeup needs a value"},
        {{"--ceiling", "0.5"}, "--ceiling takes -6 to 0 (dB), not '0.5'"},
        {{"--ceiling", "-6.01"}, "--ceiling takes -6 to 0"},
        {{"--release", "fast"}, "--release takes auto:PERCENT (0 to 100) or manual:MS (0.01 to 999.99)"},
        {{"--release", "auto:101"}, "not 'auto:101'"},
        {{"--release", "auto:"}, "not 'auto:'"},
        {{"--release", "manual:0"}, "not 'manual:0'"},
        {{"--release", "manual:1000"}, "not 'manual:1000'"},
        {{"--release", "manual:1e9"}, "not 'manual:1e9'"},
        {{"--shape", "5"}, "--shape takes soft, 2, 3, 4 or hard, not '5'"},
        {{"--shape", "Hard"}, "--shape takes soft"},
        {{"--monitor", "off"}, "--monitor takes on or bypass, not 'off'"},
        {{"--set", "6=0.5"}, "the plug-in has parameters 0 to 5"},
        {{"--set", "0=1.5"}, "--set takes INDEX=VALUE"},
        {{"--set", "0"}, "--set takes INDEX=VALUE"},
        {{"--set", "-1=0"}, "--set takes INDEX=VALUE"},
        {{"--set", "x=0"}, "--set takes INDEX=VALUE"},
        {{"--block", "0"}, "--block takes 1 to 65536 frames, not '0'"},
        {{"--block", "65537"}, "--block takes 1 to 65536"},
        {{"--block", "1k"}, "--block takes 1 to 65536"},
        {{"--format", "mp3"}, "--format takes float, pcm16 or pcm24, not 'mp3'"},
        {{"--loud"}, "unknown option --loud"},
        {{"--plot", "levels.txt"}, "--plot takes a .png or .svg file, not 'levels.txt'"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> arguments = {"render"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        if (options.size() > 1 || options[0] != "--makeup") {
            arguments.push_back(in());
            arguments.push_back(out());
        }
        expectRefusal(arguments, 2, message);
    }
    expectRefusal({"render", "--format", "float", in(), (folder / "out.flac").string()}, 2,
                  "cannot hold 32 bit float samples");
    expectRefusal({"render", in()}, 2, "render needs an INPUT and an OUTPUT");
    expectRefusal({"render", in(), out(), out()}, 2, "render needs an INPUT and an OUTPUT");
    expectRefusal({"mix", in(), out()}, 2, "unknown command 'mix'");
}

TEST_F(Refusal, HeaderlessStreamsWithoutTheirLayout) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* message;
    } cases[] = {
        {{"render", "--raw", "pcm16", "-", "-"}, 2, "cannot tell its rate and channels"},
        {{"render", "--raw", "44100:2", "-", out()}, 2, "cannot tell its rate and channels"},
        {{"render", "--raw", "44100:2:pcm8", "-", out()}, 2, "the encoding is float, pcm16 or pcm24"},
        {{"render", "--raw", "44100:2:pcm16", in(), out()}, 2, "no INPUT or OUTPUT is '-'"},
        {{"analyze", "--raw", "44100:2:pcm16", in()}, 2, "no INPUT is '-'"},
        {{"render", "--raw", "48000:2:pcm16", in(), "-"}, 1, "carries 2 channel(s) at 48000 Hz"},
        {{"render", "--raw", "44100:2:pcm16", "--format", "pcm24", in(), "-"},
         2,
         "ask for different samples"},
        // Empty standard input: neither a known format nor described.
        {{"render", "-", out()}, 1, "headerless samples need --raw RATE:CHANNELS:ENCODING"},
    };
    for (const auto& refused : cases)
        expectRefusal(refused.arguments, refused.status, refused.message);
}

} // namespace
