// qv3 render's two halves: Render.cpp renders a file through the plug-in, RenderBatch.cpp renders many into a
// folder, on parallel workers and, for an album, with one search over all of them.
#pragma once

#include "AudioFiles.h"
#include "Batch.h"
#include "BlockRender.h"
#include "LoudnessMeter.h"
#include "Mastering.h"
#include "Platform.h"
#include "PlotData.h"
#include "PluginHost.h"
#include "Report.h"
#include "Settings.h"
#include "TemporaryOutput.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

constexpr std::int32_t kDefaultBlockSize = 512;
// The drives a search pass renders at once, on parallel workers. Fixed rather than taken from --jobs, so that
// the search, and with it the output, is the same whatever the number of workers.
constexpr int kProbesPerPass = 2;

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
    std::optional<double> quality; // lossy outputs: 0 to 1
    std::optional<RawLayout> raw;  // --raw: headerless samples on the standard streams ("-")
    std::optional<LoudnessTarget> target;
    std::optional<double> peakLimit; // --true-peak without a loudness target: dBTP
    bool album = false;
    int jobs = defaultWorkerCount();
    std::optional<std::string> report;
    std::optional<std::filesystem::path> plot; // --plot: its extension chooses PNG or SVG
    bool strict = false;       // --strict: a damaged input is refused rather than rendered as far as it goes
    bool keepExisting = false; // -n: an output that exists is left as it is and the file skipped
    bool writeTags = false;    // --write-tags: ReplayGain figures of the result in the output's tags
};

struct FileJob {
    std::filesystem::path input;
    std::filesystem::path output;
};

// A file the target search renders again and again: read from the file at every pass, never held in memory,
// so that the search needs as little memory as a plain render whatever the file's length. Standard input is
// copied to a temporary file first, since it can be read only once.
struct SearchInput {
    std::filesystem::path path;
    int channels = 0;
    int sampleRate = 0;
    OutputFormat format;
    std::shared_ptr<TemporaryOutput> copy; // standard input's copy, removed with the last SearchInput
};

// What every file's work shares. Each pass gets a fresh plug-in instance, made and used on the worker that
// runs it, so that nothing a file does depends on what that worker did before.
class RenderContext {
  public:
    RenderContext(const RenderOptions& given, BatchProgress& display, bool withSpareWorker)
        : options(given), progress(display), spareWorker(withSpareWorker) {}

    // An instance set up as the command line asks, with the drive's Makeup, and its Ceiling where that is
    // lower than the one asked for.
    std::unique_ptr<PluginHost> openInstance(int channels, const std::optional<Drive>& drive) const;

    const RenderOptions& options;
    BatchProgress& progress;
    // Fewer files are worked on at once than there are workers: a stream's true peak may then be measured on
    // a thread of its own. When every worker has a file, such a thread would only compete with them.
    const bool spareWorker;

  private:
    void keepLoaded(const std::filesystem::path& path) const;

    mutable std::mutex loadedMutex_;
    mutable std::map<std::filesystem::path, std::unique_ptr<PluginLibrary>> loaded_;
};

// Renders the job's input into its output, with the settings given or to the target. Failures are thrown.
void renderFile(const RenderContext& context, const FileJob& job, FileReport& report);

// The steps of a target search, for the album's search over all its files at once. Each records what it did
// in the file's report.
// Reads the file through once and measures it.
SearchInput analyseInput(const RenderContext& context, const FileJob& job, FileReport& report);
// The file's levels with each drive, measured for integrated loudness, and true peak if asked: one pass, the
// drives rendered on parallel workers (a single drive's true peak on a worker of its own).
std::vector<PassLevels> loudnessPass(const RenderContext& context, const SearchInput& input,
                                     const std::vector<Drive>& drives, bool truePeak, FileReport& report);
// A candidate output: the file under its temporary name and, when pictures are asked for, what they show.
struct Candidate {
    std::unique_ptr<TemporaryOutput> output;
    std::unique_ptr<PlotCollector> plot;
};
// A candidate pass: the render the output will be, written under a temporary name (replacing the last
// candidate's) and measured in full as written.
PassLevels candidatePass(const RenderContext& context, const FileJob& job, const SearchInput& input,
                         const Drive& drive, Candidate& written, FileReport& report);
// Puts the accepted candidate in place as the output (a lossy one measured again as it decodes).
void keepCandidate(const RenderContext& context, const FileJob& job, const SearchInput& input,
                   Candidate& written, FileReport& report);
// For a target out of reach with the settings given: the first of a few other releases and factory programs
// with which `search` (which throws when the target is out of reach) succeeds, as the user would add it to
// the command line ("--release manual:50"); empty when none does.
std::string settingThatReaches(const RenderContext& context,
                               const std::function<void(const RenderContext&)>& search);
// The refusal's line, naming that setting or saying that none was found.
std::string withSuggestion(const std::string& refusal, const std::string& setting);
// The Ceiling the search starts from: the plug-in's, as the command line sets it.
double startingCeiling(const RenderContext& context, int channels);

// A warning on standard error when the output's true peak is over 0 dBTP.
void warnOverFullScale(const RenderContext& context, const FileReport& report);

// The linear figure in decibels; minus infinity for silence.
double decibelsOf(double linear);

// render -o FOLDER: every input into the folder, a failed file reported and the others rendered on. Returns
// the exit status: 1 when any file failed.
int renderBatch(const RenderOptions& options);
