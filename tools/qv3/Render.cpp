// qv3 render: limits audio files through the plug-in, block by block, as a host's offline bounce does: one
// file into one output, or many into a folder; with the settings given, or with the Makeup and Ceiling that
// meet a loudness target.
#include "AudioFiles.h"
#include "Batch.h"
#include "BlockRender.h"
#include "Commands.h"
#include "Errors.h"
#include "LevelMeter.h"
#include "Mastering.h"
#include "Platform.h"
#include "PluginHost.h"
#include "Report.h"
#include "Settings.h"
#include "TemporaryOutput.h"
#include "TextNumbers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

namespace {
constexpr std::int32_t kDefaultBlockSize = 512;
constexpr std::int32_t kLargestBlockSize = 65536;
// libebur128 gates everything below -70 LUFS away, so no quieter target can be measured.
constexpr double kQuietestTarget = -70.0;
constexpr double kLowestTruePeakLimit = -20.0;
constexpr std::int64_t kReadChunkFrames = 65536;

struct RenderOptions {
    std::vector<std::filesystem::path> inputs;
    std::optional<std::filesystem::path> output;       // one input into one output file
    std::optional<std::filesystem::path> outputFolder; // any number of inputs into a folder (-o)
    std::optional<std::filesystem::path> plugin;
    std::optional<std::string> program;
    std::vector<Setting> settings;
    std::int32_t blockSize = kDefaultBlockSize;
    bool keepLatency = false;
    std::optional<SampleEncoding> encoding;
    std::optional<LoudnessTarget> target;
    bool album = false;
    int jobs = defaultWorkerCount();
    std::optional<std::string> report;
};

double numberIn(const std::string& option, const std::string& text, double low, double high,
                const std::string& range) {
    auto value = parseNumber(text);
    if (!value || *value < low || *value > high)
        throw UsageError(option + " takes " + range + ", not '" + text + "'");
    return *value;
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
    if (targetLufs) {
        if (makeupGiven) throw UsageError("--target-lufs chooses the Makeup itself; leave out --makeup");
        options.target = LoudnessTarget{*targetLufs, truePeak.value_or(-1.0)};
    } else if (truePeak) {
        throw UsageError("--true-peak goes with --target-lufs");
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
    return options;
}

struct FileJob {
    std::filesystem::path input;
    std::filesystem::path output;
};

// Refuses an output that would overwrite the input, whatever path spells it (links, "..", symlinks).
void checkOutputPath(const FileJob& job) {
    const std::filesystem::path& output = job.output;
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

// The outputs of a batch, named after their inputs inside the folder. Everything that would make two files
// collide is refused here, before any file is processed.
std::vector<FileJob> planBatch(const RenderOptions& options) {
    const std::filesystem::path& folder = *options.outputFolder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder))
        throw std::runtime_error("output folder " + folder.string() + " cannot be made" +
                                 (error ? ": " + error.message() : ""));
    std::vector<FileJob> jobs;
    for (const auto& input : options.inputs) {
        if (input.filename().empty() || input.filename() == "." || input.filename() == "..")
            throw std::runtime_error("input " + input.string() + " names a folder, not a file");
        jobs.push_back({input, folder / input.filename()});
    }
    for (std::size_t first = 0; first < jobs.size(); ++first)
        for (std::size_t second = first + 1; second < jobs.size(); ++second)
            if (sameFileName(jobs[first].output, jobs[second].output))
                throw std::runtime_error(jobs[first].input.string() + " and " + jobs[second].input.string() +
                                         " would both be written as " + jobs[first].output.string());
    for (const FileJob& job : jobs) {
        if (std::filesystem::is_directory(job.output, error))
            throw std::runtime_error("output " + job.output.string() + " is a folder");
        for (const auto& input : options.inputs)
            if (std::filesystem::equivalent(input, job.output, error))
                throw std::runtime_error("output " + job.output.string() + " is the input file " +
                                         input.string() + "; choose another folder");
    }
    return jobs;
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

double decibelsOf(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

class Stopwatch {
  public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

  private:
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// A file read into memory for the passes of a target search.
struct LoadedInput {
    int channels = 0;
    int sampleRate = 0;
    OutputFormat format;
    std::vector<float> samples; // interleaved
};

// What every file's work shares. Each pass gets a fresh plug-in instance, made and used on the worker that
// runs it, so that nothing a file does depends on what that worker did before.
class RenderContext {
  public:
    RenderContext(const RenderOptions& given, BatchProgress& display) : options(given), progress(display) {}

    // An instance set up as the command line asks, with the drive's Makeup, and its Ceiling where that is
    // lower than the one asked for.
    std::unique_ptr<PluginHost> openInstance(int channels, const std::optional<Drive>& drive) const {
        const std::filesystem::path path =
            options.plugin
                ? *options.plugin
                : executableDirectory() / pluginFileName(channels == 2 ? "Orvanta_QV3" : "Orvanta_QV3mono");
        keepLoaded(path);
        auto host = std::make_unique<PluginHost>(path);
        const AEffect& record = host->record();
        if (record.numInputs != channels || record.numOutputs != channels)
            throw std::runtime_error(path.string() + " processes " + std::to_string(record.numInputs) +
                                     " in, " + std::to_string(record.numOutputs) +
                                     " out, but the input has " + std::to_string(channels) + " channel(s)");
        if (!(record.flags & effFlagsCanReplacing))
            throw std::runtime_error(path.string() + " cannot process replacing");
        if (options.program) selectProgram(*host, *options.program);
        for (const Setting& setting : options.settings)
            applySetting(*host, setting);
        if (drive) {
            applySetting(*host, makeupSetting(drive->makeupDb()));
            if (drive->ceilingSteps < std::lround(displayedCeilingDb(*host) * 100.0))
                applySetting(*host, ceilingSetting(drive->ceilingDb()));
        }
        return host;
    }

    const RenderOptions& options;
    BatchProgress& progress;

  private:
    // Instances come and go with every pass; keeping the library loaded for the whole run makes that cheap.
    void keepLoaded(const std::filesystem::path& path) const {
        std::lock_guard<std::mutex> lock(loadedMutex_);
        if (!loaded_.count(path)) loaded_.emplace(path, std::make_unique<PluginLibrary>(path));
    }

    mutable std::mutex loadedMutex_;
    mutable std::map<std::filesystem::path, std::unique_ptr<PluginLibrary>> loaded_;
};

void checkChannels(const FileJob& job, int channels) {
    if (channels < 1 || channels > 2)
        throw std::runtime_error(job.input.string() + " has " + std::to_string(channels) +
                                 " channels; qv3 renders mono and stereo files");
}

void recordPlugin(FileReport& report, const PluginHost& host) {
    report.effectName = host.effectName();
    report.latency = host.record().initialDelay;
    report.program = host.currentProgram();
    report.programName = host.programName(report.program);
    report.parameters.clear();
    for (std::int32_t index = 0; index < host.record().numParams; ++index)
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

// The file as it is, streamed through the plug-in into the output.
void renderAsGiven(const RenderContext& context, const FileJob& job, FileReport& report) {
    const Stopwatch stopwatch;
    const RenderOptions& options = context.options;
    SoundFileReader input(job.input);
    const int channels = input.channels();
    const int rate = input.sampleRate();
    checkChannels(job, channels);
    if (options.output) checkOutputPath(job);
    const OutputFormat format = chooseOutputFormat(job.output, input.format(), options.encoding);
    auto host = context.openInstance(channels, std::nullopt);

    auto inputMeter = std::make_shared<LevelMeter>(channels, rate);
    auto outputMeter = std::make_shared<LevelMeter>(channels, rate);
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
    writer.close();
    temporary.moveTo(job.output);

    report.channels = channels;
    report.sampleRate = rate;
    report.frames = figures.inputFrames;
    report.outputFormat = format.description;
    recordRender(report, figures);
    recordPlugin(report, *host);
    report.inputLevels = LevelFigures::of(*inputMeter);
    report.outputLevels = LevelFigures::of(*outputMeter);
    report.inputMeter = inputMeter;
    report.outputMeter = outputMeter;
    report.seconds = stopwatch.seconds();
}

LoadedInput loadInput(const RenderContext& context, const FileJob& job, FileReport& report) {
    const Stopwatch stopwatch;
    SoundFileReader input(job.input);
    checkChannels(job, input.channels());
    if (context.options.output) checkOutputPath(job);
    LoadedInput loaded;
    loaded.channels = input.channels();
    loaded.sampleRate = input.sampleRate();
    loaded.format = chooseOutputFormat(job.output, input.format(), context.options.encoding);
    auto meter = std::make_shared<LevelMeter>(loaded.channels, loaded.sampleRate);
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
    report.outputFormat = loaded.format.description;
    report.inputLevels = LevelFigures::of(*meter);
    report.inputMeter = meter;
    report.seconds += stopwatch.seconds();
    return loaded;
}

// Renders the loaded input with the drive, handing the output to `write`.
BlockRenderFigures renderLoaded(const RenderContext& context, const LoadedInput& input, const Drive& drive,
                                const std::function<void(std::vector<float>&, std::int64_t)>& write) {
    auto host = context.openInstance(input.channels, drive);
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
    return renderBlocks(*host, input.channels, input.sampleRate, context.options.blockSize,
                        context.options.keepLatency, stream);
}

// A search pass: integrated loudness only.
std::unique_ptr<LevelMeter> loudnessPass(const RenderContext& context, const LoadedInput& input,
                                         const Drive& drive, FileReport& report) {
    const Stopwatch stopwatch;
    auto meter = std::make_unique<LevelMeter>(input.channels, input.sampleRate, LevelMeter::Scope::Loudness);
    recordRender(report,
                 renderLoaded(context, input, drive, [&](std::vector<float>& block, std::int64_t frames) {
                     meter->add(block.data(), frames);
                 }));
    report.seconds += stopwatch.seconds();
    return meter;
}

// A candidate pass: rounded as the file will store it, and measured in full.
PassLevels candidatePass(const RenderContext& context, const LoadedInput& input, const Drive& drive,
                         FileReport& report) {
    const Stopwatch stopwatch;
    auto meter = std::make_shared<LevelMeter>(input.channels, input.sampleRate);
    SampleRounder rounder(input.format);
    recordRender(report,
                 renderLoaded(context, input, drive, [&](std::vector<float>& block, std::int64_t frames) {
                     rounder.round(block.data(), static_cast<std::size_t>(frames * input.channels));
                     meter->add(block.data(), frames);
                 }));
    report.outputLevels = LevelFigures::of(*meter);
    report.outputMeter = meter;
    report.seconds += stopwatch.seconds();
    return {report.outputLevels.loudness, decibelsOf(report.outputLevels.truePeak)};
}

// The final pass: the same render as the last check, written to the output.
void writePass(const RenderContext& context, const FileJob& job, const LoadedInput& input, const Drive& drive,
               FileReport& report) {
    const Stopwatch stopwatch;
    TemporaryOutput temporary(job.output);
    SoundFileWriter writer(temporary.path(), input.format, input.channels, input.sampleRate);
    recordRender(report,
                 renderLoaded(context, input, drive, [&](std::vector<float>& block, std::int64_t frames) {
                     writer.write(block, frames);
                     context.progress.advance(static_cast<double>(frames) / input.sampleRate);
                 }));
    writer.close();
    temporary.moveTo(job.output);
    recordPlugin(report, *context.openInstance(input.channels, drive));
    report.inputGainDb = drive.inputGainDb();
    report.seconds += stopwatch.seconds();
}

double startingCeiling(const RenderContext& context, int channels) {
    return displayedCeilingDb(*context.openInstance(channels, std::nullopt));
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

void renderFile(const RenderContext& context, const FileJob& job, FileReport& report) {
    if (context.options.target)
        renderToTarget(context, job, report);
    else
        renderAsGiven(context, job, report);
}

void fail(const RenderContext& context, FileReport& report, const std::string& error) {
    report.error = error;
    context.progress.note("qv3: " + error);
    context.progress.fileDone(report.duration());
}

// Runs one file's step, turning a failure into the file's error so the batch goes on.
template <typename Step> void attempt(const RenderContext& context, FileReport& report, Step step) {
    if (report.failed()) return;
    try {
        step();
    } catch (const std::exception& error) {
        fail(context, report, error.what());
    }
}

// One Makeup and Ceiling for every file: the passes render all files and measure them together.
void renderAlbum(const RenderContext& context, const std::vector<FileJob>& jobs,
                 std::vector<FileReport>& reports) {
    const int workers = context.options.jobs;
    std::vector<LoadedInput> inputs(jobs.size());
    forEachInParallel(jobs.size(), workers, [&](std::size_t index) {
        attempt(context, reports[index],
                [&] { inputs[index] = loadInput(context, jobs[index], reports[index]); });
    });
    std::vector<std::size_t> ready;
    std::vector<const LevelMeter*> inputMeters;
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        if (reports[index].failed()) continue;
        ready.push_back(index);
        inputMeters.push_back(reports[index].inputMeter.get());
    }
    if (ready.empty()) return;

    const DrivePasses passes{
        [&](const Drive& drive) {
            std::vector<std::unique_ptr<LevelMeter>> meters(ready.size());
            forEachInParallel(ready.size(), workers, [&](std::size_t k) {
                meters[k] = loudnessPass(context, inputs[ready[k]], drive, reports[ready[k]]);
            });
            std::vector<const LevelMeter*> measured;
            for (const auto& meter : meters)
                measured.push_back(meter.get());
            return LevelMeter::loudness(measured);
        },
        [&](const Drive& drive) {
            forEachInParallel(ready.size(), workers, [&](std::size_t k) {
                candidatePass(context, inputs[ready[k]], drive, reports[ready[k]]);
            });
            std::vector<const LevelMeter*> measured;
            for (std::size_t index : ready)
                measured.push_back(reports[index].outputMeter.get());
            return PassLevels{LevelMeter::loudness(measured), decibelsOf(LevelMeter::truePeak(measured))};
        }};
    DriveFound found;
    try {
        found = findDrive(*context.options.target, LevelMeter::loudness(inputMeters),
                          startingCeiling(context, inputs[ready.front()].channels), passes);
    } catch (const UnreachableTarget& unreachable) {
        for (std::size_t index : ready)
            fail(context, reports[index], jobs[index].input.string() + ": album " + unreachable.what());
        return;
    }
    forEachInParallel(ready.size(), workers, [&](std::size_t k) {
        const std::size_t index = ready[k];
        attempt(context, reports[index],
                [&] { writePass(context, jobs[index], inputs[index], found.drive, reports[index]); });
        inputs[index] = LoadedInput();
        if (!reports[index].failed()) context.progress.fileDone(0.0);
    });
}

// Seconds of audio in all inputs, from their headers, for the progress display.
double totalSeconds(const std::vector<FileJob>& jobs) {
    double total = 0.0;
    for (const FileJob& job : jobs) {
        try {
            SoundFileReader input(job.input);
            total += static_cast<double>(input.frames()) / std::max(1, input.sampleRate());
        } catch (const std::exception&) {
            // Reported when the file's turn comes.
        }
    }
    return total;
}

void printLevels(const char* name, const LevelFigures& levels) {
    std::printf("  %-8s %s  %s  %s\n", name, decibelText(levels.samplePeak, "dBFS").c_str(),
                decibelText(levels.truePeak, "dBTP").c_str(), loudnessText(levels.loudness).c_str());
}

void printSummary(const RenderOptions& options, const FileReport& report) {
    std::printf("input:     %s (%d channel%s, %d Hz, %.3f s)\n", report.input.string().c_str(),
                report.channels, report.channels == 1 ? "" : "s", report.sampleRate, report.duration());
    std::printf("output:    %s (%s, %lld frames)\n", report.output.string().c_str(),
                report.outputFormat.c_str(), static_cast<long long>(report.outputFrames));
    std::printf("plug-in:   %s, program %d \"%s\"\n", report.effectName.c_str(), report.program,
                report.programName.c_str());
    std::string settings;
    for (const ParameterState& parameter : report.parameters)
        settings += (settings.empty() ? "" : ", ") + parameter.name + " " + parameter.display;
    std::printf("settings:  %s\n", settings.c_str());
    if (options.target)
        std::printf("target:    %s, met with Makeup %s and Ceiling %s in %d passes\n",
                    describeTarget(*options.target).c_str(), parameterText(report, "Makeup").c_str(),
                    parameterText(report, "Ceiling").c_str(), report.passes);
    if (report.inputGainDb != 0.0)
        std::printf(
            "input gain: %.1f dB before the plug-in: the input is louder than the target at Makeup 0\n",
            report.inputGainDb);
    std::printf("latency:   %d samples, %s\n", report.latency, options.keepLatency ? "kept" : "removed");
    std::printf("           sample peak   true peak     loudness\n");
    printLevels("input", report.inputLevels);
    printLevels("output", report.outputLevels);
    if (report.lowestGain)
        std::printf("gain reduction: up to %.1f dB\n",
                    *report.lowestGain > 0.0 ? std::fabs(20.0 * std::log10(*report.lowestGain)) : HUGE_VAL);
    else
        std::printf("gain reduction: not published by this plug-in\n");
    std::printf("speed:     %.0fx real time (plug-in alone %.0fx)\n",
                report.duration() / std::max(report.seconds, 1e-9),
                report.duration() * report.passes / std::max(report.pluginSeconds, 1e-9));
}

void printTable(const RenderOptions& options, const std::vector<FileReport>& reports) {
    std::printf("%-28s %9s %9s %9s %7s %8s %7s %6s\n", "file", "in LUFS", "out LUFS", "out dBTP", "makeup",
                "ceiling", "in gain", "passes");
    std::vector<std::string> failed;
    for (const FileReport& report : reports) {
        const std::string name = report.input.filename().string();
        if (report.failed()) {
            failed.push_back(name);
            std::printf("%-28s failed: %s\n", name.c_str(), report.error.c_str());
            continue;
        }
        std::printf("%-28s %9.1f %9.1f %9.2f %7s %8s %7.1f %6d\n", name.c_str(), report.inputLevels.loudness,
                    report.outputLevels.loudness,
                    20.0 * std::log10(std::max(report.outputLevels.truePeak, 1e-12)),
                    parameterText(report, "Makeup").c_str(), parameterText(report, "Ceiling").c_str(),
                    report.inputGainDb, report.passes);
    }
    std::vector<const LevelMeter*> inputMeters;
    std::vector<const LevelMeter*> outputMeters;
    for (const FileReport& report : reports)
        if (!report.failed()) {
            inputMeters.push_back(report.inputMeter.get());
            outputMeters.push_back(report.outputMeter.get());
        }
    if (!inputMeters.empty()) {
        const LevelFigures in = LevelFigures::of(inputMeters);
        const LevelFigures out = LevelFigures::of(outputMeters);
        std::printf("%-28s %9.1f %9.1f %9.2f\n", options.album ? "album" : "all files", in.loudness,
                    out.loudness, 20.0 * std::log10(std::max(out.truePeak, 1e-12)));
    }
    std::printf("%zu of %zu files written to %s", reports.size() - failed.size(), reports.size(),
                options.outputFolder->string().c_str());
    if (!failed.empty()) {
        std::string names;
        for (const std::string& name : failed)
            names += (names.empty() ? "" : ", ") + name;
        std::printf("; failed: %s", names.c_str());
    }
    std::printf("\n");
}
} // namespace

int runRender(const std::vector<std::string>& arguments) {
    const RenderOptions options = parseOptions(arguments);
    const std::vector<FileJob> jobs = options.outputFolder
                                          ? planBatch(options)
                                          : std::vector<FileJob>{{options.inputs[0], *options.output}};
    BatchProgress progress(jobs.size(), totalSeconds(jobs));
    const RenderContext context(options, progress);
    std::vector<FileReport> reports(jobs.size());
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        reports[index].input = jobs[index].input;
        reports[index].output = jobs[index].output;
    }

    if (!options.outputFolder) {
        // One file: its failure is the command's, with the exit status of its kind.
        renderFile(context, jobs[0], reports[0]);
    } else if (options.album) {
        renderAlbum(context, jobs, reports);
    } else {
        forEachInParallel(jobs.size(), options.jobs, [&](std::size_t index) {
            attempt(context, reports[index], [&] { renderFile(context, jobs[index], reports[index]); });
            if (!reports[index].failed()) context.progress.fileDone(0.0);
        });
    }
    progress.clear();

    if (options.report)
        writeRenderReport(*options.report, RenderReport{reports, options.target, options.album,
                                                        options.outputFolder.has_value()});
    if (options.report != "-") {
        if (options.outputFolder)
            printTable(options, reports);
        else
            printSummary(options, reports[0]);
    }
    return std::any_of(reports.begin(), reports.end(),
                       [](const FileReport& report) { return report.failed(); })
               ? 1
               : 0;
}
