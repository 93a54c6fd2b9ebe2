// qv3 render: limits an audio file through the plug-in, block by block, as a host's offline bounce does; with
// the settings given, or with the Makeup and Ceiling that meet a loudness target. RenderBatch.cpp renders
// many files into a folder.
#include "Render.h"

#include "AudioFiles.h"
#include "BackgroundTruePeak.h"
#include "Batch.h"
#include "BlockRender.h"
#include "Commands.h"
#include "Errors.h"
#include "LoudnessMeter.h"
#include "Mastering.h"
#include "OptionReader.h"
#include "Platform.h"
#include "PlotData.h"
#include "PlotDrawing.h"
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
            options.encoding = sampleEncodingNamed(text);
            if (!options.encoding)
                throw UsageError("--format takes float, pcm16 or pcm24, not '" + text + "'");
        } else if (argument == "--raw") {
            options.raw = parseRawLayout(reader.value(argument));
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
        } else if (argument == "--plot") {
            options.plot = std::filesystem::u8path(reader.value(argument));
            if (!pictureKindOf(*options.plot))
                throw UsageError("--plot takes a .png or .svg file, not '" + options.plot->u8string() + "'");
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
    if (options.raw && std::find(files.begin(), files.end(), "-") == files.end())
        throw UsageError("--raw describes a standard stream, and no INPUT or OUTPUT is '-'");
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

// Pictures: gathered in the passes that read and write a file, only when a picture or a report page is asked
// for. A batch puts each file's picture beside its output, named after it ("song.wav.png").
std::unique_ptr<PlotCollector> plotCollector(const RenderOptions& options, int channels, int sampleRate) {
    if (!options.plot && !(options.report && isReportPage(*options.report))) return nullptr;
    return std::make_unique<PlotCollector>(channels, sampleRate, true);
}

std::filesystem::path plotPath(const RenderOptions& options, const FileJob& job) {
    if (!options.outputFolder) return *options.plot;
    return job.output.u8string() + (pictureKindOf(*options.plot) == PictureKind::Svg ? ".svg" : ".png");
}

void finishPlot(const RenderOptions& options, const FileJob& job, PlotCollector* collector,
                FileReport& report) {
    if (!collector) return;
    const std::optional<double> limit = options.target ? options.target->truePeakDb : options.peakLimit;
    report.plot = std::make_shared<const PlotData>(collector->finish(
        options.target ? std::optional<double>(options.target->lufs) : std::nullopt, limit.value_or(0.0)));
    if (options.plot) writePlot(report, plotPath(options, job));
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
    // The encoder pads to whole packets, and a resampling one changes the count.
    report.outputFrames = decoded.framesRead();
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
    // Standard input, a pipe or a device has been read through once already.
    std::error_code notAFile;
    const bool readable =
        !isStandardStream(job.input) && std::filesystem::is_regular_file(job.input, notAFile);
    writeTags(readable ? job.input : std::filesystem::path(), written, format, track);
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

// Renders the input, read from its file, through an instance set up with the drive, handing the output to
// `write`; a picture collector, when given, sees the input as read and the plug-in's gain.
BlockRenderFigures renderFromFile(const RenderContext& context, PluginHost& host, const SearchInput& input,
                                  const Drive& drive,
                                  const std::function<void(std::vector<float>&, std::int64_t)>& write,
                                  PlotCollector* plot = nullptr) {
    const float gain = static_cast<float>(std::pow(10.0, drive.inputGainDb() / 20.0));
    SoundFileReader reader(input.path);
    const BlockStream stream{
        [&](float* block, std::int64_t frames) {
            const std::int64_t got = reader.read(block, frames);
            if (plot) plot->addInput(block, got);
            for (std::int64_t i = 0; i < got * input.channels; ++i)
                block[i] *= gain;
            return got;
        },
        write, plot ? [plot](double read) { plot->addGain(read); } : std::function<void(double)>()};
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

SearchInput analyseInput(const RenderContext& context, const FileJob& job, FileReport& report) {
    const Stopwatch stopwatch;
    SoundFileReader input(job.input, context.options.raw);
    checkChannels(job, input.channels());
    SearchInput analysed;
    analysed.path = job.input;
    analysed.channels = input.channels();
    analysed.sampleRate = input.sampleRate();
    analysed.format = chooseOutputFormat(job.output, input.format(), context.options.encoding,
                                         context.options.quality, context.options.raw);
    fitLayout(analysed.format, analysed.channels, analysed.sampleRate);
    std::optional<SoundFileWriter> copy;
    // Standard input, a pipe or a device can be read only once: the passes read a copy of it.
    std::error_code notAFile;
    if (isStandardStream(job.input) || !std::filesystem::is_regular_file(job.input, notAFile)) {
        analysed.copy = std::make_shared<TemporaryOutput>("-");
        analysed.path = analysed.copy->path();
        copy.emplace(
            analysed.path,
            OutputFormat{SF_FORMAT_W64 | SF_FORMAT_FLOAT, "W64, float", false, std::nullopt, std::nullopt},
            analysed.channels, analysed.sampleRate);
    }
    auto meter = std::make_shared<LoudnessMeter>(analysed.channels, analysed.sampleRate);
    BackgroundTruePeak metered(*meter, analysed.channels, context.spareWorker);
    std::vector<float> chunk(static_cast<std::size_t>(kReadChunkFrames * analysed.channels));
    std::int64_t frames = 0;
    for (std::int64_t got; (got = input.read(chunk.data(), kReadChunkFrames)) > 0;) {
        metered.add(chunk.data(), got);
        if (copy) copy->write(chunk, got);
        frames += got;
    }
    metered.finish();
    if (copy) copy->close();
    report.channels = analysed.channels;
    report.sampleRate = analysed.sampleRate;
    report.frames = frames;
    checkComplete(context, job, input, report);
    report.outputFormat = analysed.format.description;
    report.inputLevels = LevelFigures::of(*meter);
    report.inputMeter = meter;
    report.seconds += stopwatch.seconds();
    return analysed;
}

namespace {
// What a search render measured with one drive.
struct LoudnessProbe {
    std::unique_ptr<LoudnessMeter> meter;
    BlockRenderFigures figures;
};

// The file through an instance with the drive, measured for integrated loudness, and true peak if asked (on a
// thread of its own when `apart`). Safe to run on several workers at once.
LoudnessProbe loudnessProbe(const RenderContext& context, const SearchInput& input, const Drive& drive,
                            bool truePeak, bool apart) {
    LoudnessProbe probe;
    probe.meter = std::make_unique<LoudnessMeter>(input.channels, input.sampleRate,
                                                  truePeak ? LoudnessMeter::Scope::LoudnessAndTruePeak
                                                           : LoudnessMeter::Scope::Loudness);
    BackgroundTruePeak metered(*probe.meter, input.channels, truePeak && apart);
    probe.figures = renderFromFile(
        context, *context.openInstance(input.channels, drive), input, drive,
        [&](std::vector<float>& block, std::int64_t frames) { metered.add(block.data(), frames); });
    metered.finish();
    return probe;
}

PassLevels levelsOf(const LoudnessProbe& probe, bool truePeak) {
    return {probe.meter->loudness(),
            truePeak ? decibelsOf(probe.meter->truePeak()) : std::numeric_limits<double>::quiet_NaN()};
}
} // namespace

std::vector<PassLevels> loudnessPass(const RenderContext& context, const SearchInput& input,
                                     const std::vector<Drive>& drives, bool truePeak, FileReport& report) {
    const Stopwatch stopwatch;
    std::vector<LoudnessProbe> probes(drives.size());
    const bool apart = context.spareWorker && static_cast<int>(drives.size()) < context.options.jobs;
    forEachInParallel(drives.size(), context.options.jobs, [&](std::size_t k) {
        probes[k] = loudnessProbe(context, input, drives[k], truePeak, apart);
    });
    std::vector<PassLevels> levels;
    for (const LoudnessProbe& probe : probes) {
        report.pluginSeconds += probe.figures.pluginSeconds;
        ++report.passes;
        levels.push_back(levelsOf(probe, truePeak));
    }
    report.seconds += stopwatch.seconds();
    return levels;
}

PassLevels candidatePass(const RenderContext& context, const FileJob& job, const SearchInput& input,
                         const Drive& drive, Candidate& written, FileReport& report) {
    const Stopwatch stopwatch;
    written = {};
    written.output = std::make_unique<TemporaryOutput>(job.output);
    written.plot = plotCollector(context.options, input.channels, input.sampleRate);
    auto meter = std::make_shared<LoudnessMeter>(input.channels, input.sampleRate);
    BackgroundTruePeak metered(*meter, input.channels, context.spareWorker);
    SoundFileWriter writer(written.output->path(), input.format, input.channels, input.sampleRate);
    auto host = context.openInstance(input.channels, drive);
    recordRender(report, renderFromFile(
                             context, *host, input, drive,
                             [&](std::vector<float>& block, std::int64_t frames) {
                                 writer.write(block, frames);
                                 metered.add(block.data(), frames);
                                 if (written.plot) written.plot->addOutput(block.data(), frames);
                                 context.progress.advance(static_cast<double>(frames) / input.sampleRate);
                             },
                             written.plot.get()));
    metered.finish();
    writer.close();
    report.outputLevels = LevelFigures::of(*meter);
    report.outputMeter = meter;
    recordPlugin(report, *host);
    report.inputGainDb = drive.inputGainDb();
    report.seconds += stopwatch.seconds();
    return {report.outputLevels.loudness, decibelsOf(report.outputLevels.truePeak)};
}

void keepCandidate(const RenderContext& context, const FileJob& job, const SearchInput& input,
                   Candidate& written, FileReport& report) {
    const Stopwatch stopwatch;
    if (input.format.lossy) measureDecoded(context, written.output->path(), report);
    tagOutput(context, job, input.format.format, written.output->path(), report);
    written.output->moveTo(job.output);
    finishPlot(context.options, job, written.plot.get(), report);
    report.seconds += stopwatch.seconds();
}

namespace {
// Settings a user can add to the command line, tried in turn when a target is out of reach with those given:
// a shorter release lets the limiter hold the loudness up, and the harder programs bring the true peak closer
// to the loudness.
constexpr std::pair<const char*, const char*> kAlternatives[] = {{"release", "manual:50"},
                                                                 {"release", "manual:10"},
                                                                 {"program", "+6dB Maxi Aggressive"},
                                                                 {"program", "+6dB Limit HardEdge"}};
} // namespace

std::string settingThatReaches(const RenderContext& context,
                               const std::function<void(const RenderContext&)>& search) {
    for (const auto& [option, value] : kAlternatives) {
        RenderOptions options = context.options;
        std::string typed;
        if (std::string(option) == "program") {
            if (options.program == value) continue;
            options.program = value;
            typed = std::string("--program \"") + value + "\"";
        } else {
            const Setting setting = parseSetting(option, value);
            if (std::any_of(options.settings.begin(), options.settings.end(),
                            [&](const Setting& given) { return given.given == setting.given; }))
                continue;
            options.settings.push_back(setting);
            typed = "--" + setting.given;
        }
        try {
            search(RenderContext(options, context.progress, context.spareWorker));
            return typed;
        } catch (const std::exception&) {
            // Out of reach with this one too (or the plug-in lacks it): the next.
        }
    }
    return "";
}

std::string withSuggestion(const std::string& refusal, const std::string& setting) {
    return refusal + (setting.empty() ? "; no other release or factory program tried reaches it either"
                                      : "; with " + setting + " it is reached");
}

double startingCeiling(const RenderContext& context, int channels) {
    return displayedCeilingDb(*context.openInstance(channels, std::nullopt));
}

namespace {
// The file as it is, streamed through the plug-in into the output.
void renderAsGiven(const RenderContext& context, const FileJob& job, FileReport& report) {
    const Stopwatch stopwatch;
    const RenderOptions& options = context.options;
    SoundFileReader input(job.input, options.raw);
    const int channels = input.channels();
    const int rate = input.sampleRate();
    checkChannels(job, channels);
    OutputFormat format =
        chooseOutputFormat(job.output, input.format(), options.encoding, options.quality, options.raw);
    fitLayout(format, channels, rate);
    auto host = context.openInstance(channels, std::nullopt);

    auto inputMeter = std::make_shared<LoudnessMeter>(channels, rate);
    auto outputMeter = std::make_shared<LoudnessMeter>(channels, rate);
    const auto plot = plotCollector(options, channels, rate);
    TemporaryOutput temporary(job.output, format.raw.has_value());
    SoundFileWriter writer(temporary.path(), format, channels, rate);
    const BlockStream stream{[&](float* block, std::int64_t frames) {
                                 const std::int64_t got = input.read(block, frames);
                                 inputMeter->add(block, got);
                                 if (plot) plot->addInput(block, got);
                                 return got;
                             },
                             [&](std::vector<float>& block, std::int64_t frames) {
                                 writer.write(block, frames);
                                 outputMeter->add(block.data(), frames);
                                 if (plot) plot->addOutput(block.data(), frames);
                                 context.progress.advance(static_cast<double>(frames) / rate);
                             },
                             plot ? [&](double gain) { plot->addGain(gain); }
                                  : std::function<void(double)>()};
    const BlockRenderFigures figures =
        renderBlocks(*host, channels, rate, options.blockSize, options.keepLatency, stream);
    checkComplete(context, job, input, report);
    writer.close();
    recordRender(report, figures);
    report.outputLevels = LevelFigures::of(*outputMeter);
    report.outputMeter = outputMeter;
    if (format.lossy) measureDecoded(context, temporary.path(), report);
    tagOutput(context, job, format.format, temporary.path(), report);
    temporary.moveTo(job.output);

    report.channels = channels;
    report.sampleRate = rate;
    report.frames = figures.inputFrames;
    report.outputFormat = format.description;
    recordPlugin(report, *host);
    report.inputLevels = LevelFigures::of(*inputMeter);
    report.inputMeter = inputMeter;
    finishPlot(options, job, plot.get(), report);
    report.seconds = stopwatch.seconds();
}

// The passes of a single file's search, the last candidate kept for the output.
struct FileSearch {
    FileSearch(const RenderContext& givenContext, const FileJob& givenJob, FileReport& givenReport)
        : context(givenContext), job(givenJob), report(givenReport),
          input(analyseInput(givenContext, givenJob, givenReport)) {}

    PassLevels candidate(const Drive& drive) {
        return candidatePass(context, job, input, drive, written, report);
    }
    DrivePasses passes() {
        return DrivePasses{[this](const std::vector<Drive>& drives, bool truePeak) {
                               return loudnessPass(context, input, drives, truePeak, report);
                           },
                           [this](const Drive& drive) { return candidate(drive); }, kProbesPerPass};
    }
    template <typename Search> void run(Search search) {
        try {
            search();
        } catch (const UnreachableTarget& unreachable) {
            refused = true;
            throw std::runtime_error(job.input.string() + ": " + unreachable.what());
        }
        keepCandidate(context, job, input, written, report);
    }

    const RenderContext& context;
    const FileJob& job;
    FileReport& report;
    const SearchInput input;
    Candidate written;
    bool refused = false; // the target is out of reach, rather than the file failing
};

void renderToTarget(const RenderContext& context, const FileJob& job, FileReport& report) {
    FileSearch search(context, job, report);
    const PassLevels inputLevels{report.inputLevels.loudness, decibelsOf(report.inputLevels.truePeak)};
    try {
        search.run([&] {
            findDrive(*context.options.target, inputLevels, startingCeiling(context, search.input.channels),
                      search.passes());
        });
    } catch (const std::runtime_error& refusal) {
        // No setting makes silence loud: only a measurable input gets suggestions.
        if (!search.refused || !std::isfinite(inputLevels.loudness)) throw;
        // Search passes only, written nowhere: enough to tell whether the target is in reach.
        FileReport scratch;
        const std::string setting = settingThatReaches(context, [&](const RenderContext& tried) {
            const auto probe = [&](const std::vector<Drive>& drives, bool truePeak) {
                return loudnessPass(tried, search.input, drives, truePeak, scratch);
            };
            findDrive(*tried.options.target, inputLevels, startingCeiling(tried, search.input.channels),
                      DrivePasses{probe, [&](const Drive& drive) { return probe({drive}, true).front(); },
                                  kProbesPerPass});
        });
        throw std::runtime_error(withSuggestion(refusal.what(), setting));
    }
}

// The Ceiling, lowered from the one the command line sets just enough to bring the true peak under the limit.
void renderToPeakLimit(const RenderContext& context, const FileJob& job, FileReport& report) {
    FileSearch search(context, job, report);
    search.run([&] {
        findCeiling(*context.options.peakLimit, startingCeiling(context, search.input.channels),
                    [&](const Drive& drive) { return search.candidate(drive); });
    });
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
    if (options.plot && !report.skipped) checkWritable(*options.plot, "picture");
    if (!report.skipped) {
        BatchProgress progress(1, audioSeconds(options.inputs));
        const RenderContext context(options, progress, options.jobs > 1);
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
