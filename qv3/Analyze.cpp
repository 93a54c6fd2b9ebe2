// qv3 analyze: the levels of files as they are, measured in parallel: a quick scan before or after mastering.
#include "AudioFiles.h"
#include "Batch.h"
#include "Commands.h"
#include "Errors.h"
#include "LoudnessMeter.h"
#include "OptionReader.h"
#include "PlotData.h"
#include "PlotDrawing.h"
#include "Report.h"
#include "TemporaryOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <set>

namespace {
constexpr std::int64_t kChunkFrames = 65536;

void measure(const std::filesystem::path& path, const std::optional<RawLayout>& raw, FileReport& report,
             BatchProgress& progress, bool plotted) {
    SoundFileReader input(path, raw);
    auto meter = std::make_shared<LoudnessMeter>(input.channels(), input.sampleRate());
    std::unique_ptr<PlotCollector> plot;
    if (plotted) plot = std::make_unique<PlotCollector>(input.channels(), input.sampleRate(), false);
    std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames * input.channels()));
    for (std::int64_t got; (got = input.read(chunk.data(), kChunkFrames)) > 0;) {
        meter->add(chunk.data(), got);
        if (plot) plot->addInput(chunk.data(), got);
        report.frames += got;
        progress.advance(static_cast<double>(got) / input.sampleRate());
    }
    report.declaredFrames = input.declaredFrames();
    const std::string missing = shortfall(input);
    if (!missing.empty()) progress.note("qv3: warning: " + path.string() + " is damaged: " + missing);
    report.channels = input.channels();
    report.sampleRate = input.sampleRate();
    report.inputLevels = LevelFigures::of(*meter);
    report.inputMeter = meter;
    if (plot) report.plot = std::make_shared<const PlotData>(plot->finish(std::nullopt, 0.0));
}

// One file's picture is the one named; several get the input's name added ("levels-song.wav.png"), in the
// named picture's folder.
std::vector<std::filesystem::path> plotPaths(const std::filesystem::path& plot,
                                             const std::vector<std::filesystem::path>& files) {
    if (files.size() == 1) return {plot};
    std::vector<std::filesystem::path> paths;
    std::set<std::filesystem::path> taken;
    for (const auto& file : files) {
        paths.push_back(plot.parent_path() /
                        std::filesystem::u8path(plot.stem().u8string() + "-" + file.filename().u8string() +
                                                plot.extension().u8string()));
        if (!taken.insert(paths.back()).second)
            throw UsageError("two inputs are named " + file.filename().u8string() +
                             ": their pictures would share the name " + paths.back().u8string());
    }
    return paths;
}

void printRow(const std::string& name, const LevelFigures& levels, double seconds) {
    std::printf("%-28s %s  %s  %s  %5.1f LU  %9.3f s\n", name.c_str(),
                decibelText(levels.samplePeak, "dBFS").c_str(), decibelText(levels.truePeak, "dBTP").c_str(),
                loudnessText(levels.loudness).c_str(), levels.loudnessRange, seconds);
}
} // namespace

int runAnalyze(const std::vector<std::string>& arguments) {
    std::vector<std::filesystem::path> files;
    std::optional<std::string> reportDestination;
    std::optional<std::filesystem::path> plot;
    std::optional<RawLayout> raw;
    int workers = defaultWorkerCount();
    OptionReader reader(arguments);
    while (!reader.done()) {
        std::string argument = reader.next();
        if (!reader.isOption(argument))
            files.push_back(std::filesystem::u8path(argument));
        else if (argument == "--jobs")
            workers = parseWorkerCount(reader.value(argument));
        else if (argument == "--report")
            reportDestination = reader.value(argument);
        else if (argument == "--plot")
            plot = std::filesystem::u8path(reader.value(argument));
        else if (argument == "--raw")
            raw = parseRawLayout(reader.value(argument));
        else
            throw UsageError("analyze: unknown option " + argument + " (qv3 help lists them)");
    }
    if (files.empty()) throw UsageError("analyze needs at least one INPUT file (qv3 help)");
    if (plot && !pictureKindOf(*plot))
        throw UsageError("--plot takes a .png or .svg file, not '" + plot->u8string() + "'");
    if (raw && std::find(files.begin(), files.end(), "-") == files.end())
        throw UsageError("--raw describes standard input, and no INPUT is '-'");
    if (reportDestination) checkReportDestination(*reportDestination);
    const std::vector<std::filesystem::path> pictures =
        plot ? plotPaths(*plot, files) : std::vector<std::filesystem::path>();
    if (plot) checkWritable(pictures.front(), "picture");
    const bool plotted = plot || (reportDestination && isReportPage(*reportDestination));

    std::vector<FileReport> reports(files.size());
    for (std::size_t index = 0; index < files.size(); ++index)
        reports[index].input = files[index];
    BatchProgress progress(files.size(), audioSeconds(files));
    forEachInParallel(files.size(), workers, [&](std::size_t index) {
        try {
            measure(files[index], raw, reports[index], progress, plotted);
            if (plot) writePlot(reports[index], pictures[index]);
            progress.fileDone(0.0);
        } catch (const std::exception& error) {
            reports[index].error = error.what();
            progress.note(std::string("qv3: ") + error.what());
            progress.fileDone(0.0);
        }
    });
    progress.clear();

    if (reportDestination) writeAnalyzeReport(*reportDestination, reports);
    bool anyFailed = false;
    if (reportDestination != "-") {
        std::printf("%-28s %s  %s  %s  %8s  %11s\n", "file", "sample peak", "  true peak", "  loudness",
                    "range", "duration");
        std::size_t measured = 0;
        double seconds = 0.0;
        for (const FileReport& report : reports) {
            if (report.failed()) {
                std::printf("%-28s failed: %s\n", report.input.string().c_str(), report.error.c_str());
                continue;
            }
            printRow(report.input.string(), report.inputLevels, report.duration());
            ++measured;
            seconds += report.duration();
        }
        if (measured > 1) printRow("all files", albumLevels(reports, &FileReport::inputMeter), seconds);
    }
    for (const FileReport& report : reports)
        anyFailed = anyFailed || report.failed();
    return anyFailed ? 1 : 0;
}
