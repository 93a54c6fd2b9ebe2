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
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace {
constexpr double kAlbumToleranceLu = 0.1;
// The gating over all files together moves the album's loudness a little from the files' own: a correction
// or two settles it.
constexpr int kMostAlbumRounds = 3;
// The share of every loudness difference between two files that the album keeps, tried in turn: its whole
// shape first, then the differences narrowed toward the loudest file, so that quieter files come up where the
// loud ones stop at the true-peak limit. Never less than 60 %, so that every difference keeps half of itself
// even where each file's loudness lands a tenth of a unit off its own target.
constexpr double kGapShares[] = {1.0, 0.8, 0.6};

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

// The album keeps its shape: every file's loudness moves by one amount, so the order of the tracks and the
// differences between them stay as they came (one setting for all would shrink them, since the limiter works
// harder on the loud tracks than on the quiet ones). Each file is searched for its own loudness, that amount
// above its input's; the amount is then corrected until the album, measured over all its files together,
// meets the target. Where the loud files cannot come up that far within the true-peak limit, the differences
// are narrowed, keeping more than half of each.
void renderAlbum(const RenderContext& context, const std::vector<FileJob>& jobs,
                 std::vector<FileReport>& reports) {
    const int workers = context.options.jobs;
    const LoudnessTarget& target = *context.options.target;
    std::vector<std::optional<SearchInput>> inputs(jobs.size());
    std::vector<Candidate> written(jobs.size());
    forEachInParallel(jobs.size(), workers, [&](std::size_t index) {
        attempt(context, reports[index],
                [&] { inputs[index] = analyseInput(context, jobs[index], reports[index]); });
    });
    std::vector<std::size_t> ready;
    std::vector<const LoudnessMeter*> inputMeters;
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        if (reports[index].failed()) continue;
        // A file without a loudness cannot move with the others; it must not take the album down with it.
        if (!std::isfinite(reports[index].inputLevels.loudness)) {
            fail(context, reports[index],
                 jobs[index].input.string() +
                     ": the input is silent or too short to measure, so it has no place in the album's "
                     "loudness; the other files are rendered without it");
            continue;
        }
        ready.push_back(index);
        inputMeters.push_back(reports[index].inputMeter.get());
    }
    if (ready.empty()) return;
    const double albumInput = LoudnessMeter::loudness(inputMeters);
    double loudestInput = -HUGE_VAL;
    for (std::size_t index : ready)
        loudestInput = std::max(loudestInput, reports[index].inputLevels.loudness);
    // The loudness a file is searched for: its input's, moved by `shift`, and raised by the part of its
    // difference to the loudest file that the album gives up.
    const auto fileTarget = [&](std::size_t index, double shift, double gapShare) {
        const double input = reports[index].inputLevels.loudness;
        return input + shift + (1.0 - gapShare) * (loudestInput - input);
    };
    // The album's loudness were every file at its target less `down`: their loudness summed by their length.
    const auto albumAt = [&](double shift, double gapShare, double down) {
        double energy = 0.0, seconds = 0.0;
        for (std::size_t index : ready) {
            const double length = reports[index].duration();
            energy += length * std::pow(10.0, (fileTarget(index, shift, gapShare) - down) / 10.0);
            seconds += length;
        }
        return 10.0 * std::log10(energy / seconds);
    };

    // Every file searched for its input loudness plus `shift`, on the workers; writes the candidates when
    // `write`, else only search passes. The files out of reach, with the loudest each reaches.
    const auto searchFiles = [&](const RenderContext& with, double shift, double gapShare, bool write) {
        std::vector<std::optional<UnreachableTarget>> refusals(ready.size());
        forEachInParallel(ready.size(), workers, [&](std::size_t k) {
            const std::size_t index = ready[k];
            FileReport scratch;
            FileReport& report = write ? reports[index] : scratch;
            const SearchInput& input = *inputs[index];
            const LevelFigures& in = reports[index].inputLevels;
            const auto probe = [&](const std::vector<Drive>& drives, bool truePeak) {
                return loudnessPass(with, input, drives, truePeak, report);
            };
            const auto candidate = [&](const Drive& drive) {
                return write ? candidatePass(with, jobs[index], input, drive, written[index], report)
                             : probe({drive}, true).front();
            };
            try {
                findDrive(LoudnessTarget{fileTarget(index, shift, gapShare), target.truePeakDb},
                          PassLevels{in.loudness, decibelsOf(in.truePeak)},
                          startingCeiling(with, input.channels),
                          DrivePasses{probe, candidate, kProbesPerPass});
            } catch (const UnreachableTarget& refusal) {
                refusals[k] = refusal;
            }
        });
        return refusals;
    };
    // The album loudness reachable at that share: each file's target moved down by as much as the one
    // furthest out of reach needs.
    const auto outOfReach = [&](const std::vector<std::optional<UnreachableTarget>>& refusals, double shift,
                                double gapShare) {
        char kept[32];
        std::snprintf(kept, sizeof kept, "%.0f %%", gapShare * 100.0);
        std::string message = "album target " + describeTarget(target) + " is out of reach keeping " + kept +
                              " of the loudness differences between the files";
        double shortfall = 0.0;
        for (std::size_t k = 0; k < ready.size(); ++k) {
            if (!refusals[k]) continue;
            const double loudest = refusals[k]->loudestWithinLimit;
            shortfall = std::max(shortfall, fileTarget(ready[k], shift, gapShare) - loudest);
            message += "; " + jobs[ready[k]].input.filename().string() + ": " + refusals[k]->what();
        }
        if (std::isfinite(shortfall)) {
            char album[96];
            std::snprintf(album, sizeof album, "; so shaped, the album reaches about %.1f LUFS",
                          albumAt(shift, gapShare, shortfall));
            message += album;
        }
        return message;
    };
    const auto anyRefused = [](const std::vector<std::optional<UnreachableTarget>>& refusals) {
        return std::any_of(refusals.begin(), refusals.end(), [](const auto& refusal) { return refusal; });
    };

    std::string failure;
    try {
        double shift = target.lufs - albumInput;
        double lastShare = kGapShares[0];
        for (const double gapShare : kGapShares) {
            // Narrower differences raise the quieter files: the album starts as loud as with the last share.
            shift -= albumAt(shift, gapShare, 0.0) - albumAt(shift, lastShare, 0.0);
            lastShare = gapShare;
            bool refused = false;
            for (int round = 0;; ++round) {
                const auto refusals = searchFiles(context, shift, gapShare, true);
                refused = anyRefused(refusals);
                if (refused) {
                    if (gapShare != kGapShares[std::size(kGapShares) - 1]) break;
                    failure = withSuggestion(outOfReach(refusals, shift, gapShare),
                                             settingThatReaches(context, [&](const RenderContext& with) {
                                                 if (anyRefused(searchFiles(with, shift, gapShare, false)))
                                                     throw UnreachableTarget("out of reach");
                                             }));
                    break;
                }
                std::vector<const LoudnessMeter*> measured;
                for (std::size_t index : ready)
                    measured.push_back(reports[index].outputMeter.get());
                const double album = LoudnessMeter::loudness(measured);
                if (std::fabs(album - target.lufs) <= kAlbumToleranceLu) break;
                if (round + 1 == kMostAlbumRounds) {
                    failure = "album target " + describeTarget(target) + " does not settle";
                    break;
                }
                shift += target.lufs - album;
            }
            if (!refused) break;
        }
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (!failure.empty()) {
        for (std::size_t index : ready)
            fail(context, reports[index], jobs[index].input.string() + ": " + failure);
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
            keepCandidate(context, jobs[index], *inputs[index], written[index], reports[index]);
            warnOverFullScale(context, reports[index]);
        });
        written[index] = {};
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
    const RenderContext context(options, progress, jobs.size() < static_cast<std::size_t>(options.jobs));
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
