// qv3 render's two halves: Render.cpp renders a file through the plug-in, RenderBatch.cpp renders many into a
// folder, on parallel workers and, for an album, with one search over all of them.
#pragma once

#include "AudioFiles.h"
#include "Batch.h"
#include "LoudnessMeter.h"
#include "Mastering.h"
#include "Platform.h"
#include "PluginHost.h"
#include "Report.h"
#include "Settings.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

constexpr std::int32_t kDefaultBlockSize = 512;

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
    std::optional<LoudnessTarget> target;
    std::optional<double> peakLimit; // --true-peak without a loudness target: dBTP
    bool album = false;
    int jobs = defaultWorkerCount();
    std::optional<std::string> report;
    bool strict = false;       // --strict: a damaged input is refused rather than rendered as far as it goes
    bool keepExisting = false; // -n: an output that exists is left as it is and the file skipped
    bool writeTags = false;    // --write-tags: ReplayGain figures of the result in the output's tags
};

struct FileJob {
    std::filesystem::path input;
    std::filesystem::path output;
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
    std::unique_ptr<PluginHost> openInstance(int channels, const std::optional<Drive>& drive) const;

    const RenderOptions& options;
    BatchProgress& progress;

  private:
    void keepLoaded(const std::filesystem::path& path) const;

    mutable std::mutex loadedMutex_;
    mutable std::map<std::filesystem::path, std::unique_ptr<PluginLibrary>> loaded_;
};

// Renders the job's input into its output, with the settings given or to the target. Failures are thrown.
void renderFile(const RenderContext& context, const FileJob& job, FileReport& report);

// The steps of a target search, for the album's search over all its files at once. Each records what it did
// in the file's report.
// Reads the file into memory and measures it.
LoadedInput loadInput(const RenderContext& context, const FileJob& job, FileReport& report);
// A search pass: integrated loudness only.
std::unique_ptr<LoudnessMeter> loudnessPass(const RenderContext& context, const LoadedInput& input,
                                            const Drive& drive, FileReport& report);
// A candidate pass: rounded as the file will store it, and measured in full.
PassLevels candidatePass(const RenderContext& context, const LoadedInput& input, const Drive& drive,
                         FileReport& report);
// The final pass: the same render as the last check, written to the output.
void writePass(const RenderContext& context, const FileJob& job, const LoadedInput& input, const Drive& drive,
               FileReport& report);
// The Ceiling the search starts from: the plug-in's, as the command line sets it.
double startingCeiling(const RenderContext& context, int channels);

// A warning on standard error when the output's true peak is over 0 dBTP.
void warnOverFullScale(const RenderContext& context, const FileReport& report);

// The linear figure in decibels; minus infinity for silence.
double decibelsOf(double linear);

// render -o FOLDER: every input into the folder, a failed file reported and the others rendered on. Returns
// the exit status: 1 when any file failed.
int renderBatch(const RenderOptions& options);
