// qv3 render: limits an audio file through the plug-in, block by block, as a host's offline bounce does.
#include "AudioFiles.h"
#include "Commands.h"
#include "Errors.h"
#include "LevelMeter.h"
#include "Platform.h"
#include "PluginHost.h"
#include "Settings.h"
#include "TemporaryOutput.h"
#include "TextNumbers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <system_error>

namespace {
constexpr std::int32_t kDefaultBlockSize = 512;
constexpr std::int32_t kLargestBlockSize = 65536;
// Files shorter than this finish before a progress bar would be worth drawing.
constexpr double kProgressAfterSeconds = 5.0;

struct RenderOptions {
    std::filesystem::path input;
    std::filesystem::path output;
    std::optional<std::filesystem::path> plugin;
    std::optional<std::string> program;
    std::vector<Setting> settings;
    std::int32_t blockSize = kDefaultBlockSize;
    bool keepLatency = false;
    std::optional<SampleEncoding> encoding;
};

RenderOptions parseOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    std::vector<std::string> files;
    OptionReader reader(arguments);
    while (!reader.done()) {
        std::string argument = reader.next();
        if (!reader.isOption(argument)) {
            files.push_back(argument);
        } else if (argument == "--program") {
            options.program = reader.value(argument);
        } else if (argument == "--plugin") {
            options.plugin = reader.value(argument);
        } else if (argument == "--block") {
            std::string text = reader.value(argument);
            auto size = parseWholeNumber(text);
            if (!size || *size < 1 || *size > kLargestBlockSize)
                throw UsageError("--block takes 1 to " + std::to_string(kLargestBlockSize) +
                                 " frames, not '" + text + "'");
            options.blockSize = *size;
        } else if (argument == "--keep-latency") {
            options.keepLatency = true;
        } else if (argument == "--format") {
            std::string text = reader.value(argument);
            if (text == "float")
                options.encoding = SampleEncoding::Float;
            else if (text == "pcm16")
                options.encoding = SampleEncoding::Pcm16;
            else if (text == "pcm24")
                options.encoding = SampleEncoding::Pcm24;
            else
                throw UsageError("--format takes float, pcm16 or pcm24, not '" + text + "'");
        } else if (argument == "--makeup" || argument == "--ceiling" || argument == "--release" ||
                   argument == "--shape" || argument == "--monitor" || argument == "--set") {
            options.settings.push_back(parseSetting(argument.substr(2), reader.value(argument)));
        } else {
            throw UsageError("render: unknown option " + argument + " (qv3 help lists them)");
        }
    }
    if (files.size() != 2) throw UsageError("render needs an INPUT and an OUTPUT file (qv3 help)");
    options.input = files[0];
    options.output = files[1];
    return options;
}

// Refuses an output that would overwrite the input, whatever path spells it (links, "..", symlinks).
void checkOutputPath(const RenderOptions& options) {
    const std::filesystem::path& output = options.output;
    if (output.filename().empty() || output.filename() == "." || output.filename() == "..")
        throw std::runtime_error("output " + output.string() + " names a folder, not a file");
    std::error_code error;
    auto status = std::filesystem::status(output, error);
    if (!std::filesystem::exists(status)) return;
    if (std::filesystem::is_directory(status))
        throw std::runtime_error("output " + output.string() + " is a folder");
    if (std::filesystem::equivalent(options.input, output, error))
        throw std::runtime_error("output " + output.string() + " is the input file; choose another name");
}

void selectProgram(const PluginHost& host, const std::string& wanted) {
    const std::int32_t count = host.record().numPrograms;
    if (auto index = parseWholeNumber(wanted)) {
        if (*index >= count)
            throw UsageError("program " + wanted + " does not exist: the plug-in has programs 0 to " +
                             std::to_string(count - 1));
        host.selectProgram(*index);
        return;
    }
    for (std::int32_t index = 0; index < count; ++index) {
        if (host.programName(index) == wanted) {
            host.selectProgram(index);
            return;
        }
    }
    throw UsageError("unknown program '" + wanted + "' (qv3 info lists the programs)");
}

class ProgressBar {
  public:
    ProgressBar(std::int64_t totalFrames, int sampleRate)
        : total_(totalFrames),
          shown_(standardErrorIsTerminal() &&
                 totalFrames > static_cast<std::int64_t>(kProgressAfterSeconds * sampleRate)) {}
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::int64_t done) {
        if (!shown_) return;
        int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total_));
        if (percent == drawn_) return;
        drawn_ = percent;
        int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "##################################################", kWidth - filled, "", percent);
        std::fflush(stderr);
    }

    // Removes the bar so that what follows starts on a clean line.
    void clear() {
        if (shown_ && drawn_ >= 0) std::fprintf(stderr, "\r%*s\r", kWidth + 8, "");
        drawn_ = -1;
    }

  private:
    static constexpr int kWidth = 50;
    std::int64_t total_;
    bool shown_;
    int drawn_ = -1;
};

std::string decibels(double linear, const char* unit) {
    char text[32];
    if (linear <= 0.0) {
        std::snprintf(text, sizeof text, "%7s %s", "-inf", unit);
    } else {
        double value = 20.0 * std::log10(linear);
        std::snprintf(text, sizeof text, "%7.2f %s", std::fabs(value) < 0.005 ? 0.0 : value, unit);
    }
    return text;
}

std::string loudness(double lufs) {
    char text[32];
    if (std::isinf(lufs))
        std::snprintf(text, sizeof text, "%6s LUFS", "-inf");
    else
        std::snprintf(text, sizeof text, "%6.1f LUFS", std::fabs(lufs) < 0.05 ? 0.0 : lufs);
    return text;
}

void printLevels(const char* name, const LevelMeter& meter) {
    std::printf("  %-8s %s  %s  %s\n", name, decibels(meter.samplePeak(), "dBFS").c_str(),
                decibels(meter.truePeak(), "dBTP").c_str(), loudness(meter.loudness()).c_str());
}
} // namespace

int runRender(const std::vector<std::string>& arguments) {
    using Clock = std::chrono::steady_clock;
    const RenderOptions options = parseOptions(arguments);

    SoundFileReader input(options.input);
    const int channels = input.channels();
    if (channels < 1 || channels > 2)
        throw std::runtime_error(options.input.string() + " has " + std::to_string(channels) +
                                 " channels; qv3 renders mono and stereo files");
    checkOutputPath(options);
    const OutputFormat format = chooseOutputFormat(options.output, input.format(), options.encoding);

    const std::filesystem::path pluginPath =
        options.plugin
            ? *options.plugin
            : executableDirectory() / pluginFileName(channels == 2 ? "Orvanta_QV3" : "Orvanta_QV3mono");
    PluginHost host(pluginPath);
    const AEffect& record = host.record();
    if (record.numInputs != channels || record.numOutputs != channels)
        throw std::runtime_error(pluginPath.string() + " processes " + std::to_string(record.numInputs) +
                                 " in, " + std::to_string(record.numOutputs) + " out, but " +
                                 options.input.string() + " has " + std::to_string(channels) + " channel(s)");
    if (!(record.flags & effFlagsCanReplacing))
        throw std::runtime_error(pluginPath.string() + " cannot process replacing");
    if (options.program) selectProgram(host, *options.program);
    for (const Setting& setting : options.settings)
        applySetting(host, setting);

    TemporaryOutput temporary(options.output);
    SoundFileWriter writer(temporary.path(), format, channels, input.sampleRate());
    LevelMeter inputLevels(channels, input.sampleRate());
    LevelMeter outputLevels(channels, input.sampleRate());
    ProgressBar progress(input.frames(), input.sampleRate());

    const std::int32_t block = options.blockSize;
    const std::size_t blockSamples = static_cast<std::size_t>(block) * static_cast<std::size_t>(channels);
    std::vector<float> interleavedIn(blockSamples);
    std::vector<float> interleavedOut(blockSamples);
    std::vector<std::vector<float>> planarIn(static_cast<std::size_t>(channels),
                                             std::vector<float>(blockSamples));
    std::vector<std::vector<float>> planarOut(static_cast<std::size_t>(channels),
                                              std::vector<float>(blockSamples));
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
    for (int channel = 0; channel < channels; ++channel) {
        inputPointers.push_back(planarIn[static_cast<std::size_t>(channel)].data());
        outputPointers.push_back(planarOut[static_cast<std::size_t>(channel)].data());
    }

    // Latency compensation: the first `latency` output frames are the delay line's start, and as many silent
    // frames after the input flush its end out, so the output lines up with the input and is as long.
    const std::int64_t latency = options.keepLatency ? 0 : std::max<std::int32_t>(0, record.initialDelay);
    std::int64_t toSkip = latency;
    std::int64_t tailLeft = latency;
    std::int64_t inputFrames = 0;
    std::int64_t outputFrames = 0;
    double lowestGain = 1.0;
    bool gainPublished = true;
    Clock::duration pluginTime{};

    const auto started = Clock::now();
    host.start(input.sampleRate(), block);
    for (;;) {
        std::int64_t frames = input.read(interleavedIn.data(), block);
        if (frames > 0) {
            inputLevels.add(interleavedIn.data(), frames);
            inputFrames += frames;
        } else if (tailLeft > 0) {
            frames = std::min<std::int64_t>(block, tailLeft);
            tailLeft -= frames;
            std::fill(interleavedIn.begin(), interleavedIn.end(), 0.0f);
        } else {
            break;
        }
        for (std::int64_t frame = 0; frame < frames; ++frame)
            for (int channel = 0; channel < channels; ++channel)
                inputPointers[static_cast<std::size_t>(channel)][frame] =
                    interleavedIn[static_cast<std::size_t>(frame * channels + channel)];

        const auto before = Clock::now();
        host.process(inputPointers.data(), outputPointers.data(), static_cast<std::int32_t>(frames));
        pluginTime += Clock::now() - before;
        if (auto gain = host.gainMeter())
            lowestGain = std::min(lowestGain, *gain);
        else
            gainPublished = false;

        const std::int64_t first = std::min(toSkip, frames);
        toSkip -= first;
        const std::int64_t kept = frames - first;
        for (std::int64_t frame = 0; frame < kept; ++frame)
            for (int channel = 0; channel < channels; ++channel)
                interleavedOut[static_cast<std::size_t>(frame * channels + channel)] =
                    outputPointers[static_cast<std::size_t>(channel)][first + frame];
        if (kept > 0) {
            writer.write(interleavedOut, kept);
            outputLevels.add(interleavedOut.data(), kept);
            outputFrames += kept;
        }
        progress.update(inputFrames);
    }
    host.stop();
    progress.clear();
    writer.close();
    temporary.moveTo(options.output);
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

    const double seconds = static_cast<double>(inputFrames) / input.sampleRate();
    std::printf("input:     %s (%d channel%s, %d Hz, %.3f s)\n", options.input.string().c_str(), channels,
                channels == 1 ? "" : "s", input.sampleRate(), seconds);
    std::printf("output:    %s (%s, %lld frames)\n", options.output.string().c_str(),
                format.description.c_str(), static_cast<long long>(outputFrames));
    std::printf("plug-in:   %s, program %d \"%s\"\n", host.effectName().c_str(), host.currentProgram(),
                host.programName(host.currentProgram()).c_str());
    std::printf("settings:  %s\n", describeParameters(host).c_str());
    std::printf("latency:   %d samples, %s\n", record.initialDelay, options.keepLatency ? "kept" : "removed");
    std::printf("           sample peak   true peak     loudness\n");
    printLevels("input", inputLevels);
    printLevels("output", outputLevels);
    if (gainPublished)
        std::printf("gain reduction: up to %.1f dB\n",
                    lowestGain > 0.0 ? std::fabs(20.0 * std::log10(lowestGain)) : HUGE_VAL);
    else
        std::printf("gain reduction: not published by this plug-in\n");
    const double pluginSeconds = std::chrono::duration<double>(pluginTime).count();
    std::printf("speed:     %.0fx real time (plug-in alone %.0fx)\n", seconds / std::max(elapsed, 1e-9),
                seconds / std::max(pluginSeconds, 1e-9));
    return 0;
}
