// qv3 render: limits an audio file through the plug-in, block by block, as a host's offline bounce does; with
// the settings given, or with the Makeup and Ceiling that meet a loudness target. RenderBatch.cpp renders
// many files into a folder.
#include "Render.h"

#include "AudioFiles.h"
#include "Batch.h"
#include "BlockRender.h"
#include "Commands.h"
#include "Errors.h"
#include "LoudnessMeter.h"
#include "Mastering.h"
#include "OptionReader.h"
#include "Platform.h"
#include "PluginHost.h"
#include "Report.h"
#include "Settings.h"
#include "Tags.h"
#include "TemporaryOutput.h"
#include "TextNumbers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

namespace {
constexpr std::int32_t kLargestBlockSize = 65536;
// libebur128 gates everything below -70 LUFS away, so no quieter target can be measured.
constexpr double kQuietestTarget = -70.0;
constexpr double kLowestTruePeakLimit = -20.0;
constexpr std::int64_t kReadChunkFrames = 65536;

double numberIn(const std::string& option, const std::string& text, double low, double high,
                const std::string& range) {
    auto value = parseNumber(text);
    if (!value || *value < low || *value > high)
        throw UsageError(option + " takes " + range + ", not '" + text + "'");
    return *value;
}

// --write-tags for an output whose container has no ReplayGain tags; a folder's outputs take their inputs'
// names.
void refuseUntaggable(const RenderOptions& options) {
    std::vector<std::filesystem::path> outputs = options.inputs;
    if (options.output) outputs = {*options.output};
    for (const auto& output : outputs)
        if (!holdsReplayGain(chooseOutputFormat(output, SF_FORMAT_PCM_24, std::nullopt, std::nullopt).format))
            throw UsageError("--write-tags needs FLAC, Ogg Vorbis, Opus or MP3 outputs; " +
                             output.filename().string() + " cannot hold ReplayGain tags");
}

RenderOptions parseOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    std::vector<std::string> files;
    std::optional<double> targetLufs;
    std::optional<double> truePeak;
    bool makeupGiven = false;
    OptionReader reader(arguments);
    while (!reader.done()) {
        std::string argument = reader.next();
        if (argument == "-o") {
            options.outputFolder = std::filesystem::u8path(reader.value(argument));
        } else if (argument == "-n" || argument == "-y") {
            options.keepExisting = argument == "-n";
        } else if (!reader.isOption(argument)) {
            files.push_back(argument);
        } else if (argument == "--program") {
            options.program = reader.value(argument);
        } else if (argument == "--plugin") {
            options.plugin = std::filesystem::u8path(reader.value(argument));
        } else if (argument == "--block") {
            std::string text = reader.value(argument);
            auto size = parseWholeNumber(text);
            if (!size || *size < 1 || *size > kLargestBlockSize)
                throw UsageError("--block takes 1 to " + std::to_string(kLargestBlockSize) +
                                 " frames, not '" + text + "'");
            options.blockSize = *size;
        } else if (argument == "--write-tags") {
            options.writeTags = true;
        } else if (argument == "--strict") {
            options.strict = true;
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
        } else if (argument == "--quality") {
            options.quality =
                numberIn(argument, reader.value(argument), 0.0, 1.0, "0 (smallest) to 1 (best)");
        } else if (argument == "--target-lufs") {
            targetLufs = numberIn(argument, reader.value(argument), kQuietestTarget, 0.0, "-70 to 0 (LUFS)");
        } else if (argument == "--true-peak") {
            truePeak =
                numberIn(argument, reader.value(argument), kLowestTruePeakLimit, 0.0, "-20 to 0 (dBTP)");
        } else if (argument == "--album") {
            options.album = true;
        } else if (argument == "--jobs") {
            options.jobs = parseWorkerCount(reader.value(argument));
        } else if (argument == "--report") {
            options.report = reader.value(argument);
        } else if (argument == "--makeup" || argument == "--ceiling" || argument == "--release" ||
                   argument == "--shape" || argument == "--monitor" || argument == "--set") {
            makeupGiven = makeupGiven || argument == "--makeup";
            options.settings.push_back(parseSetting(argument.substr(2), reader.value(argument)));
        } else {
            throw UsageError("render: unknown option " + argument + " (qv3 help lists them)");
        }
    }
    if (files.size() == 2 && files[1] == "-" && options.report == "-")
        throw UsageError("--report - and OUTPUT - both ask for standard output; give the report a file");
    if (targetLufs) {
        if (makeupGiven) throw UsageError("--target-lufs chooses the Makeup itself; leave out --makeup");
        options.target = LoudnessTarget{*targetLufs, truePeak.value_or(-1.0)};
    } else if (truePeak) {
        options.peakLimit = truePeak;
    } else if (options.album) {
        throw UsageError("--album goes with --target-lufs");
    }
    if (options.outputFolder) {
        if (files.empty()) throw UsageError("render -o FOLDER needs at least one INPUT file (qv3 help)");
        for (const std::string& file : files)
            options.inputs.push_back(std::filesystem::u8path(file));
    } else {
        if (files.size() != 2) throw UsageError("render needs an INPUT and an OUTPUT file (qv3 help)");
        options.inputs = {std::filesystem::u8path(files[0])};
        options.output = std::filesystem::u8path(files[1]);
    }
    if (options.writeTags) refuseUntaggable(options);
    return options;
}

// Refuses an output that would overwrite the input, whatever path spells it (links, "..", symlinks).
void checkOutputPath(const FileJob& job) {
    const std::filesystem::path& output = job.output;
    if (isStandardStream(output)) return;
    if (output.filename().empty() || output.filename() == "." || output.filename() == "..")
        throw std::runtime_error("output " + output.string() + " names a folder, not a file");
    std::error_code error;
    auto status = std::filesystem::status(output, error);
    if (!std::filesystem::exists(status)) return;
    if (std::filesystem::is_directory(status))
        throw std::runtime_error("output " + output.string() + " is a folder");
    if (std::filesystem::equivalent(job.input, output, error))
        throw std::runtime_error("output " + output.string() + " is the input file; choose another name");
}

void selectProgram(const PluginHost& host, const std::string& wanted) {
    const std::int32_t count = host.programCount();
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

class Stopwatch {
  public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

  private:
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

void checkChannels(const FileJob& job, int channels) {
    if (channels < 1 || channels > 2)
        throw std::runtime_error(job.input.string() + " has " + std::to_string(channels) +
                                 " channels; qv3 renders mono and stereo files");
}

// A damaged input, once read: refused with --strict (before its output is put in place), else rendered as far
// as it goes, with a warning.
void checkComplete(const RenderContext& context, const FileJob& job, const SoundFileReader& input,
                   FileReport& report) {
    report.declaredFrames = input.declaredFrames();
    const std::string missing = shortfall(input);
    if (missing.empty()) return;
    if (context.options.strict)
        throw std::runtime_error(job.input.string() + " is damaged: " + missing + "; --strict refuses it");
    context.progress.note("qv3: warning: " + job.input.string() + " is damaged: " + missing +
                          "; rendered what it holds");
}

// A lossy encoder changes the samples, and with them the peaks: the output's levels are measured again on the
// file as it decodes, and a true-peak limit the render met is checked again there.
void measureDecoded(const RenderContext& context, const std::filesystem::path& written, FileReport& report) {
    SoundFileReader decoded(written);
    auto meter = std::make_shared<LoudnessMeter>(decoded.channels(), decoded.sampleRate());
    std::vector<float> chunk(static_cast<std::size_t>(kReadChunkFrames * decoded.channels()));
    for (std::int64_t got; (got = decoded.read(chunk.data(), kReadChunkFrames)) > 0;)
        meter->add(chunk.data(), got);
    report.outputLevels = LevelFigures::of(*meter);
    report.outputMeter = meter;
    const std::optional<double> limit = context.options.target
                                            ? std::optional<double>(context.options.target->truePeakDb)
                                            : context.options.peakLimit;
    if (!limit) return;
    char line[200];
    std::snprintf(
        line, sizeof line,
        "qv3: warning: %s is lossy: the true peak is not guaranteed after encoding; decoded, it peaks at "
        "%.2f dBTP%s",
        report.output.string().c_str(), decibelsOf(report.outputLevels.truePeak),
        decibelsOf(report.outputLevels.truePeak) > *limit ? ", over the limit" : "");
    context.progress.note(line);
}

// The input's tags in the finished output, and with --write-tags the track's ReplayGain figures as the
// summary reports them; before the output is put in place, so that it never appears untagged.
void tagOutput(const RenderContext& context, const FileJob& job, int format,
               const std::filesystem::path& written, const FileReport& report) {
    std::optional<GainFigures> track;
    if (context.options.writeTags)
        track = GainFigures{report.outputLevels.loudness, report.outputLevels.truePeak};
    writeTags(isStandardStream(job.input) ? std::filesystem::path() : job.input, written, format, track);
}

void recordPlugin(FileReport& report, const PluginHost& host) {
    report.effectName = host.effectName();
    report.latency = host.latency();
    report.program = host.currentProgram();
    report.programName = host.programName(report.program);
    report.parameters.clear();
    for (std::int32_t index = 0; index < host.parameterCount(); ++index)
        report.parameters.push_back({index, host.parameterName(index), host.parameter(index),
                                     trimmed(host.parameterDisplay(index)),
                                     trimmed(host.parameterLabel(index))});
}

void recordRender(FileReport& report, const BlockRenderFigures& figures) {
    report.lowestGain = figures.lowestGain;
    report.pluginSeconds += figures.pluginSeconds;
    report.outputFrames = figures.outputFrames;
    ++report.passes;
}

// Renders the loaded input through an instance set up with the drive, handing the output to `write`.
BlockRenderFigures renderLoaded(const RenderContext& context, PluginHost& host, const LoadedInput& input,
                                const Drive& drive,
                                const std::function<void(std::vector<float>&, std::int64_t)>& write) {
    const float gain = static_cast<float>(std::pow(10.0, drive.inputGainDb() / 20.0));
    std::size_t position = 0;
    const BlockStream stream{[&](float* block, std::int64_t frames) {
                                 const std::size_t count =
                                     std::min(input.samples.size() - position,
                                              static_cast<std::size_t>(frames) *
                                                  static_cast<std::size_t>(input.channels));
                                 for (std::size_t i = 0; i < count; ++i)
                                     block[i] = input.samples[position + i] * gain;
                                 position += count;
                                 return static_cast<std::int64_t>(count) / input.channels;
                             },
                             write};
    return renderBlocks(host, input.channels, input.sampleRate, context.options.blockSize,
                        context.options.keepLatency, stream);
}
} // namespace

void warnOverFullScale(const RenderContext& context, const FileReport& report) {
    if (report.outputLevels.truePeak <= 1.0) return;
    char line[160];
    std::snprintf(line, sizeof line,
                  "qv3: warning: %s peaks at %+.2f dBTP, over full scale: converters and lossy "
                  "encoders may clip it (--true-peak limits it)",
                  report.output.string().c_str(), decibelsOf(report.outputLevels.truePeak));
    context.progress.note(line);
}

double decibelsOf(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

std::unique_ptr<PluginHost> RenderContext::openInstance(int channels,
                                                        const std::optional<Drive>& drive) const {
    const std::filesystem::path path =
        options.plugin
            ? *options.plugin
            : executableDirectory() / pluginFileName(channels == 2 ? "Orvanta_QV3" : "Orvanta_QV3mono");
    keepLoaded(path);
    auto host = std::make_unique<PluginHost>(path);
    if (host->inputCount() != channels || host->outputCount() != channels)
        throw std::runtime_error(path.string() + " processes " + std::to_string(host->inputCount()) +
                                 " in, " + std::to_string(host->outputCount()) + " out, but the input has " +
                                 std::to_string(channels) + " channel(s)");
    if (!host->canProcessReplacing()) throw std::runtime_error(path.string() + " cannot process replacing");
    if (options.program) selectProgram(*host, *options.program);
    for (const Setting& setting : options.settings)
        applySetting(*host, setting);
    if (drive) {
        if (drive->setsMakeup) applySetting(*host, makeupSetting(drive->makeupDb()));
        if (drive->ceilingSteps < std::lround(displayedCeilingDb(*host) * 100.0))
            applySetting(*host, ceilingSetting(drive->ceilingDb()));
    }
    return host;
}

// Instances come and go with every pass; keeping the library loaded for the whole run makes that cheap.
void RenderContext::keepLoaded(const std::filesystem::path& path) const {
    std::lock_guard<std::mutex> lock(loadedMutex_);
    if (!loaded_.count(path)) loaded_.emplace(path, std::make_unique<PluginLibrary>(path));
}

LoadedInput loadInput(const RenderContext& context, const FileJob& job, FileReport& report) {
    const Stopwatch stopwatch;
    SoundFileReader input(job.input);
    checkChannels(job, input.channels());
    LoadedInput loaded;
    loaded.channels = input.channels();
    loaded.sampleRate = input.sampleRate();
    loaded.format =
        chooseOutputFormat(job.output, input.format(), context.options.encoding, context.options.quality);
    checkLayout(loaded.format, loaded.channels, loaded.sampleRate);
    auto meter = std::make_shared<LoudnessMeter>(loaded.channels, loaded.sampleRate);
    loaded.samples.reserve(
        static_cast<std::size_t>(std::max<std::int64_t>(0, input.frames()) * loaded.channels));
    std::vector<float> chunk(static_cast<std::size_t>(kReadChunkFrames * loaded.channels));
    for (std::int64_t got; (got = input.read(chunk.data(), kReadChunkFrames)) > 0;) {
        meter->add(chunk.data(), got);
        loaded.samples.insert(loaded.samples.end(), chunk.begin(), chunk.begin() + got * loaded.channels);
    }
    report.channels = loaded.channels;
    report.sampleRate = loaded.sampleRate;
    report.frames = static_cast<std::int64_t>(loaded.samples.size()) / loaded.channels;
    checkComplete(context, job, input, report);
    report.outputFormat = loaded.format.description;
    report.inputLevels = LevelFigures::of(*meter);
    report.inputMeter = meter;
    report.seconds += stopwatch.seconds();
    return loaded;
}

std::unique_ptr<LoudnessMeter> loudnessPass(const RenderContext& context, const LoadedInput& input,
                                            const Drive& drive, FileReport& report) {
    const Stopwatch stopwatch;
    auto meter =
        std::make_unique<LoudnessMeter>(input.channels, input.sampleRate, LoudnessMeter::Scope::Loudness);
    recordRender(report, renderLoaded(context, *context.openInstance(input.channels, drive), input, drive,
                                      [&](std::vector<float>& block, std::int64_t frames) {
                                          meter->add(block.data(), frames);
                                      }));
    report.seconds += stopwatch.seconds();
    return meter;
}

PassLevels candidatePass(const RenderContext& context, const LoadedInput& input, const Drive& drive,
                         FileReport& report) {
    const Stopwatch stopwatch;
    auto meter = std::make_shared<LoudnessMeter>(input.channels, input.sampleRate);
    SampleRounder rounder(input.format);
    recordRender(report, renderLoaded(context, *context.openInstance(input.channels, drive), input, drive,
                                      [&](std::vector<float>& block, std::int64_t frames) {
                                          rounder.round(block.data(),
                                                        static_cast<std::size_t>(frames * input.channels));
                                          meter->add(block.data(), frames);
                                      }));
    report.outputLevels = LevelFigures::of(*meter);
    report.outputMeter = meter;
    report.seconds += stopwatch.seconds();
    return {report.outputLevels.loudness, decibelsOf(report.outputLevels.truePeak)};
}

void writePass(const RenderContext& context, const FileJob& job, const LoadedInput& input, const Drive& drive,
               FileReport& report) {
    const Stopwatch stopwatch;
    TemporaryOutput temporary(job.output);
    SoundFileWriter writer(temporary.path(), input.format, input.channels, input.sampleRate);
    auto host = context.openInstance(input.channels, drive);
    recordRender(
        report,
        renderLoaded(context, *host, input, drive, [&](std::vector<float>& block, std::int64_t frames) {
            writer.write(block, frames);
            context.progress.advance(static_cast<double>(frames) / input.sampleRate);
        }));
    writer.close();
    if (input.format.lossy) measureDecoded(context, temporary.path(), report);
    tagOutput(context, job, input.format.format, temporary.path(), report);
    temporary.moveTo(job.output);
    recordPlugin(report, *host);
    report.inputGainDb = drive.inputGainDb();
    report.seconds += stopwatch.seconds();
}

double startingCeiling(const RenderContext& context, int channels) {
    return displayedCeilingDb(*context.openInstance(channels, std::nullopt));
}

namespace {
// The file as it is, streamed through the plug-in into the output.
void renderAsGiven(const RenderContext& context, const FileJob& job, FileReport& report) {
    const Stopwatch stopwatch;
    const RenderOptions& options = context.options;
    SoundFileReader input(job.input);
    const int channels = input.channels();
    const int rate = input.sampleRate();
    checkChannels(job, channels);
    const OutputFormat format =
        chooseOutputFormat(job.output, input.format(), options.encoding, options.quality);
    checkLayout(format, channels, rate);
    auto host = context.openInstance(channels, std::nullopt);

    auto inputMeter = std::make_shared<LoudnessMeter>(channels, rate);
    auto outputMeter = std::make_shared<LoudnessMeter>(channels, rate);
    TemporaryOutput temporary(job.output);
    SoundFileWriter writer(temporary.path(), format, channels, rate);
    const BlockStream stream{[&](float* block, std::int64_t frames) {
                                 const std::int64_t got = input.read(block, frames);
                                 inputMeter->add(block, got);
                                 return got;
                             },
                             [&](std::vector<float>& block, std::int64_t frames) {
                                 writer.write(block, frames);
                                 outputMeter->add(block.data(), frames);
                                 context.progress.advance(static_cast<double>(frames) / rate);
                             }};
    const BlockRenderFigures figures =
        renderBlocks(*host, channels, rate, options.blockSize, options.keepLatency, stream);
    checkComplete(context, job, input, report);
    writer.close();
    report.outputLevels = LevelFigures::of(*outputMeter);
    report.outputMeter = outputMeter;
    if (format.lossy) measureDecoded(context, temporary.path(), report);
    tagOutput(context, job, format.format, temporary.path(), report);
    temporary.moveTo(job.output);

    report.channels = channels;
    report.sampleRate = rate;
    report.frames = figures.inputFrames;
    report.outputFormat = format.description;
    recordRender(report, figures);
    recordPlugin(report, *host);
    report.inputLevels = LevelFigures::of(*inputMeter);
    report.inputMeter = inputMeter;
    report.seconds = stopwatch.seconds();
}

void renderToTarget(const RenderContext& context, const FileJob& job, FileReport& report) {
    const LoadedInput input = loadInput(context, job, report);
    const DrivePasses passes{
        [&](const Drive& drive) { return loudnessPass(context, input, drive, report)->loudness(); },
        [&](const Drive& drive) { return candidatePass(context, input, drive, report); }};
    DriveFound found;
    try {
        found = findDrive(*context.options.target, report.inputLevels.loudness,
                          startingCeiling(context, input.channels), passes);
    } catch (const UnreachableTarget& unreachable) {
        throw std::runtime_error(job.input.string() + ": " + unreachable.what());
    }
    writePass(context, job, input, found.drive, report);
}

// The Ceiling, lowered from the one the command line sets just enough to bring the true peak under the limit.
void renderToPeakLimit(const RenderContext& context, const FileJob& job, FileReport& report) {
    const LoadedInput input = loadInput(context, job, report);
    DriveFound found;
    try {
        found = findCeiling(*context.options.peakLimit, startingCeiling(context, input.channels),
                            [&](const Drive& drive) { return candidatePass(context, input, drive, report); });
    } catch (const UnreachableTarget& unreachable) {
        throw std::runtime_error(job.input.string() + ": " + unreachable.what());
    }
    writePass(context, job, input, found.drive, report);
}

void printLevels(std::FILE* to, const char* name, const LevelFigures& levels) {
    std::fprintf(to, "  %-8s %s  %s  %s\n", name, decibelText(levels.samplePeak, "dBFS").c_str(),
                 decibelText(levels.truePeak, "dBTP").c_str(), loudnessText(levels.loudness).c_str());
}

// On standard error when the audio itself goes to standard output.
void printSummary(const RenderOptions& options, const FileReport& report) {
    std::FILE* to = isStandardStream(report.output) ? stderr : stdout;
    std::fprintf(to, "input:     %s (%d channel%s, %d Hz, %.3f s", report.input.string().c_str(),
                 report.channels, report.channels == 1 ? "" : "s", report.sampleRate, report.duration());
    if (report.declaredFrames > report.frames)
        std::fprintf(to, " read of the %.3f s its header promises", report.declaredDuration());
    std::fprintf(to, ")\n");
    std::fprintf(to, "output:    %s (%s, %lld frames)\n", report.output.string().c_str(),
                 report.outputFormat.c_str(), static_cast<long long>(report.outputFrames));
    std::fprintf(to, "plug-in:   %s, program %d \"%s\"\n", report.effectName.c_str(), report.program,
                 report.programName.c_str());
    std::string settings;
    for (const ParameterState& parameter : report.parameters)
        settings += (settings.empty() ? "" : ", ") + parameter.name + " " + parameter.display;
    std::fprintf(to, "settings:  %s\n", settings.c_str());
    // Only a lossy encoder can take the written file over a limit the render met.
    const auto outcome = [&](double limit) {
        return decibelsOf(report.outputLevels.truePeak) > limit
                   ? "reached before encoding only, the encoded true "
                     "peak is over the limit,"
                   : "met";
    };
    if (options.target)
        std::fprintf(to, "target:    %s, %s with Makeup %s and Ceiling %s in %d passes\n",
                     describeTarget(*options.target).c_str(), outcome(options.target->truePeakDb),
                     parameterText(report, "Makeup").c_str(), parameterText(report, "Ceiling").c_str(),
                     report.passes);
    if (options.peakLimit)
        std::fprintf(to, "true peak: at most %.1f dBTP, %s with Ceiling %s in %d passes\n",
                     *options.peakLimit, outcome(*options.peakLimit),
                     parameterText(report, "Ceiling").c_str(), report.passes);
    if (report.inputGainDb != 0.0)
        std::fprintf(
            to, "input gain: %.1f dB before the plug-in: the input is louder than the target at Makeup 0\n",
            report.inputGainDb);
    std::fprintf(to, "latency:   %d samples, %s\n", report.latency, options.keepLatency ? "kept" : "removed");
    std::fprintf(to, "           sample peak   true peak     loudness\n");
    printLevels(to, "input", report.inputLevels);
    printLevels(to, "output", report.outputLevels);
    if (report.lowestGain)
        std::fprintf(to, "gain reduction: up to %.1f dB\n",
                     *report.lowestGain > 0.0 ? std::fabs(20.0 * std::log10(*report.lowestGain)) : HUGE_VAL);
    else
        std::fprintf(to, "gain reduction: not published by this plug-in\n");
    std::fprintf(to, "speed:     %.0fx real time (plug-in alone %.0fx)\n",
                 report.duration() / std::max(report.seconds, 1e-9),
                 report.duration() * report.passes / std::max(report.pluginSeconds, 1e-9));
}
} // namespace

void renderFile(const RenderContext& context, const FileJob& job, FileReport& report) {
    if (context.options.target)
        renderToTarget(context, job, report);
    else if (context.options.peakLimit)
        renderToPeakLimit(context, job, report);
    else
        renderAsGiven(context, job, report);
    warnOverFullScale(context, report);
}

int runRender(const std::vector<std::string>& arguments) {
    const RenderOptions options = parseOptions(arguments);
    if (options.outputFolder) return renderBatch(options);

    // One file: its failure is the command's, with the exit status of its kind.
    const FileJob job{options.inputs[0], *options.output};
    checkOutputPath(job);
    FileReport report;
    report.input = job.input;
    report.output = job.output;
    report.skipped = options.keepExisting && std::filesystem::exists(job.output);
    if (!report.skipped) checkWritable(job.output, "output");
    if (options.report) checkReportDestination(*options.report);
    if (!report.skipped) {
        BatchProgress progress(1, audioSeconds(options.inputs));
        const RenderContext context(options, progress);
        renderFile(context, job, report);
        progress.clear();
    }

    if (options.report)
        writeRenderReport(*options.report, RenderReport{{report}, options.target, options.album, false});
    if (options.report == "-") return 0;
    if (report.skipped)
        std::printf("skipped:   %s exists; -n keeps it\n", job.output.string().c_str());
    else
        printSummary(options, report);
    return 0;
}
