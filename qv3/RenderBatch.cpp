// qv3 render -o FOLDER: many files into a folder, on parallel workers; a failed file is reported and the
// others go on. For an album, one search finds the Makeup and Ceiling for all files taken together.
#include "Render.h"

#include "Batch.h"
#include "LoudnessMeter.h"
#include "Mastering.h"
#include "Platform.h"
#include "Report.h"
#include "Tags.h"
#include "TemporaryOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace {
// The outputs of a batch, named after their inputs inside the folder. Everything that would make two files
// collide is refused here, before any file is processed.
std::vector<FileJob> planBatch(const RenderOptions& options) {
    const std::filesystem::path& folder = *options.outputFolder;
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
    // Made only once the names are known to be sound, so that a refused batch leaves no folder behind.
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder))
        throw std::runtime_error("output folder " + folder.string() + " cannot be made" +
                                 (error ? ": " + error.message() : ""));
    checkWritable(jobs.front().output, "output");
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

// With --write-tags, the album's ReplayGain figures, as the table's album row gives them, in every output
// written; known only once all are written.
void tagAlbum(const RenderContext& context, std::vector<FileReport>& reports) {
    const LevelFigures album = albumLevels(reports, &FileReport::outputMeter);
    for (FileReport& report : reports)
        if (report.done())
            attempt(context, report, [&] {
                writeAlbumGain(report.output, GainFigures{album.loudness, album.truePeak});
            });
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
    std::vector<const LoudnessMeter*> inputMeters;
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        if (reports[index].failed()) continue;
        ready.push_back(index);
        inputMeters.push_back(reports[index].inputMeter.get());
    }
    if (ready.empty()) return;

    const DrivePasses passes{[&](const Drive& drive) {
                                 std::vector<std::unique_ptr<LoudnessMeter>> meters(ready.size());
                                 forEachInParallel(ready.size(), workers, [&](std::size_t k) {
                                     meters[k] =
                                         loudnessPass(context, inputs[ready[k]], drive, reports[ready[k]]);
                                 });
                                 std::vector<const LoudnessMeter*> measured;
                                 for (const auto& meter : meters)
                                     measured.push_back(meter.get());
                                 return LoudnessMeter::loudness(measured);
                             },
                             [&](const Drive& drive) {
                                 forEachInParallel(ready.size(), workers, [&](std::size_t k) {
                                     candidatePass(context, inputs[ready[k]], drive, reports[ready[k]]);
                                 });
                                 std::vector<const LoudnessMeter*> measured;
                                 for (std::size_t index : ready)
                                     measured.push_back(reports[index].outputMeter.get());
                                 return PassLevels{LoudnessMeter::loudness(measured),
                                                   decibelsOf(LoudnessMeter::truePeak(measured))};
                             }};
    DriveFound found;
    try {
        found = findDrive(*context.options.target, LoudnessMeter::loudness(inputMeters),
                          startingCeiling(context, inputs[ready.front()].channels), passes);
    } catch (const UnreachableTarget& unreachable) {
        for (std::size_t index : ready)
            fail(context, reports[index], jobs[index].input.string() + ": album " + unreachable.what());
        return;
    }
    forEachInParallel(ready.size(), workers, [&](std::size_t k) {
        const std::size_t index = ready[k];
        if (context.options.keepExisting && std::filesystem::exists(jobs[index].output)) {
            reports[index].skipped = true;
            context.progress.fileDone(reports[index].duration());
            return;
        }
        attempt(context, reports[index], [&] {
            writePass(context, jobs[index], inputs[index], found.drive, reports[index]);
            warnOverFullScale(context, reports[index]);
        });
        inputs[index] = LoadedInput();
        if (!reports[index].failed()) context.progress.fileDone(0.0);
    });
    if (context.options.writeTags) tagAlbum(context, reports);
}

void printTable(const RenderOptions& options, const std::vector<FileReport>& reports) {
    std::printf("%-28s %9s %9s %9s %7s %8s %7s %6s\n", "file", "in LUFS", "out LUFS", "out dBTP", "makeup",
                "ceiling", "in gain", "passes");
    std::vector<std::string> failed;
    std::vector<std::string> skipped;
    for (const FileReport& report : reports) {
        const std::string name = report.input.filename().string();
        if (report.failed()) {
            failed.push_back(name);
            std::printf("%-28s failed: %s\n", name.c_str(), report.error.c_str());
            continue;
        }
        if (report.skipped) {
            skipped.push_back(name);
            std::printf("%-28s skipped: %s exists; -n keeps it\n", name.c_str(),
                        report.output.string().c_str());
            continue;
        }
        std::printf("%-28s %9.1f %9.1f %9.2f %7s %8s %7.1f %6d\n", name.c_str(), report.inputLevels.loudness,
                    report.outputLevels.loudness,
                    20.0 * std::log10(std::max(report.outputLevels.truePeak, 1e-12)),
                    parameterText(report, "Makeup").c_str(), parameterText(report, "Ceiling").c_str(),
                    report.inputGainDb, report.passes);
    }
    if (failed.size() + skipped.size() < reports.size()) {
        const LevelFigures in = albumLevels(reports, &FileReport::inputMeter);
        const LevelFigures out = albumLevels(reports, &FileReport::outputMeter);
        std::printf("%-28s %9.1f %9.1f %9.2f\n", options.album ? "album" : "all files", in.loudness,
                    out.loudness, 20.0 * std::log10(std::max(out.truePeak, 1e-12)));
    }
    std::printf("%zu of %zu files written to %s", reports.size() - failed.size() - skipped.size(),
                reports.size(), options.outputFolder->string().c_str());
    for (const auto& [what, names] : {std::pair{"skipped", &skipped}, std::pair{"failed", &failed}}) {
        std::string list;
        for (const std::string& name : *names)
            list += (list.empty() ? "" : ", ") + name;
        if (!list.empty()) std::printf("; %s: %s", what, list.c_str());
    }
    std::printf("\n");
}
} // namespace

int renderBatch(const RenderOptions& options) {
    if (options.report) checkReportDestination(*options.report);
    const std::vector<FileJob> jobs = planBatch(options);
    BatchProgress progress(jobs.size(), audioSeconds(options.inputs));
    const RenderContext context(options, progress);
    std::vector<FileReport> reports(jobs.size());
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        reports[index].input = jobs[index].input;
        reports[index].output = jobs[index].output;
    }

    if (options.album) {
        renderAlbum(context, jobs, reports);
    } else {
        forEachInParallel(jobs.size(), options.jobs, [&](std::size_t index) {
            if (options.keepExisting && std::filesystem::exists(jobs[index].output)) {
                reports[index].skipped = true;
                context.progress.fileDone(0.0);
                return;
            }
            attempt(context, reports[index], [&] { renderFile(context, jobs[index], reports[index]); });
            if (!reports[index].failed()) context.progress.fileDone(0.0);
        });
    }
    progress.clear();

    if (options.report)
        writeRenderReport(*options.report, RenderReport{reports, options.target, options.album, true});
    if (options.report != "-") printTable(options, reports);
    return std::any_of(reports.begin(), reports.end(),
                       [](const FileReport& report) { return report.failed(); })
               ? 1
               : 0;
}
