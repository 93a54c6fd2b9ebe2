// What qv3 learns about each file it renders or analyzes, and the machine-readable report of it: JSON whose
// fields are documented in the README and kept stable.
#pragma once

#include "LoudnessMeter.h"
#include "Mastering.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct LevelFigures {
    double samplePeak = 0.0;                                    // linear
    double truePeak = 0.0;                                      // linear
    double loudness = -std::numeric_limits<double>::infinity(); // LUFS
    double loudnessRange = 0.0;                                 // LU

    static LevelFigures of(const LoudnessMeter& meter);
    static LevelFigures of(const std::vector<const LoudnessMeter*>& meters);
};

struct ParameterState {
    std::int32_t index = 0;
    std::string name;
    float value = 0.0f;
    std::string display;
    std::string label;
};

struct PlotData;

struct FileReport {
    std::filesystem::path input;
    std::filesystem::path output; // empty for analyze
    std::string error;            // empty when the file succeeded
    bool skipped = false;         // render -n: the output existed and was kept
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;         // of the input, as read
    std::int64_t declaredFrames = 0; // of the input, as its header promises
    std::int64_t outputFrames = 0;
    std::string outputFormat;
    LevelFigures inputLevels;
    LevelFigures outputLevels;
    std::optional<double> lowestGain; // from the plug-in's gain meter, when it publishes one
    std::string effectName;
    std::int32_t latency = 0;
    std::int32_t program = 0;
    std::string programName;
    std::vector<ParameterState> parameters;
    double inputGainDb = 0.0;
    int passes = 0;
    double seconds = 0.0;       // wall-clock time spent on this file
    double pluginSeconds = 0.0; // of which inside the plug-in

    // Kept for the album figures of a batch.
    std::shared_ptr<const LoudnessMeter> inputMeter;
    std::shared_ptr<const LoudnessMeter> outputMeter;
    // What its picture shows; gathered only when pictures or a report page are asked for.
    std::shared_ptr<const PlotData> plot;

    bool failed() const { return !error.empty(); }
    bool done() const { return !failed() && !skipped; }
    double duration() const { return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0; }
    double declaredDuration() const {
        return sampleRate > 0 ? static_cast<double>(declaredFrames) / sampleRate : 0.0;
    }
};

struct RenderReport {
    std::vector<FileReport> files;
    std::optional<LoudnessTarget> target;
    bool album = false;
    bool batch = false; // many files at once: album figures are added
};

// The levels that `meter` measured in every file that succeeded, taken together as one album.
LevelFigures albumLevels(const std::vector<FileReport>& files,
                         std::shared_ptr<const LoudnessMeter> FileReport::*meter);

// Throws std::runtime_error when the report could not be written there: a folder, a folder that does not
// exist or takes no new files. Checked before any work starts.
void checkReportDestination(const std::string& destination);

// A destination ending in .html gets a report page (ReportPage.h) rather than JSON.
bool isReportPage(const std::string& destination);

// Writes the report to the file (through a temporary file) or, for "-", to standard output. Throws
// std::runtime_error when it cannot be written.
void writeRenderReport(const std::string& destination, const RenderReport& report);
void writeAnalyzeReport(const std::string& destination, const std::vector<FileReport>& files);
void writeReportText(const std::string& destination, const std::string& text);

// The linear figure in decibels, and an integrated loudness, as printed in summaries ("-inf" for nothing).
std::string decibelText(double linear, const char* unit);
std::string loudnessText(double lufs);
// The display of the file's parameter of that name, as printed in summaries ("" when the plug-in has none).
std::string parameterText(const FileReport& report, const std::string& name);
