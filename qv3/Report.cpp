#include "Report.h"

#include "PlotDrawing.h"
#include "ReportPage.h"
#include "TemporaryOutput.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {
using Json = nlohmann::ordered_json;

// Silence has no level in decibels; JSON has no infinity, so it shows as null.
Json decibelsOrNull(double linear) { return linear > 0.0 ? Json(20.0 * std::log10(linear)) : Json(nullptr); }
Json loudnessOrNull(double lufs) { return std::isfinite(lufs) ? Json(lufs) : Json(nullptr); }

Json levelsJson(const LevelFigures& levels) {
    return Json{{"sample_peak_dbfs", decibelsOrNull(levels.samplePeak)},
                {"true_peak_dbtp", decibelsOrNull(levels.truePeak)},
                {"integrated_lufs", loudnessOrNull(levels.loudness)},
                {"loudness_range_lu", levels.loudnessRange}};
}

Json fileStart(const FileReport& file) {
    Json entry{{"input", file.input.string()}};
    if (!file.output.empty()) entry["output"] = file.output.string();
    entry["status"] = file.failed() ? "failed" : file.skipped ? "skipped" : "ok";
    if (file.failed()) entry["error"] = file.error;
    if (!file.done()) return entry;
    entry["channels"] = file.channels;
    entry["sample_rate"] = file.sampleRate;
    entry["duration_seconds"] = file.duration();
    entry["header_duration_seconds"] = file.declaredDuration();
    return entry;
}

Json renderedFile(const FileReport& file) {
    Json entry = fileStart(file);
    if (!file.done()) return entry;
    entry["output_format"] = file.outputFormat;
    entry["input_levels"] = levelsJson(file.inputLevels);
    entry["output_levels"] = levelsJson(file.outputLevels);
    entry["largest_gain_reduction_db"] =
        file.lowestGain ? Json(*file.lowestGain > 0.0 ? -20.0 * std::log10(*file.lowestGain) : HUGE_VAL)
                        : Json(nullptr);
    entry["plugin"] = file.effectName;
    entry["latency_samples"] = file.latency;
    entry["program"] = Json{{"index", file.program}, {"name", file.programName}};
    Json parameters = Json::array();
    for (const ParameterState& parameter : file.parameters)
        parameters.push_back(Json{{"index", parameter.index},
                                  {"name", parameter.name},
                                  {"value", parameter.value},
                                  {"display", parameter.display},
                                  {"label", parameter.label}});
    entry["parameters"] = parameters;
    entry["input_gain_db"] = file.inputGainDb;
    entry["passes"] = file.passes;
    entry["speed_realtime"] = file.seconds > 0.0 ? file.duration() / file.seconds : 0.0;
    return entry;
}

std::size_t succeeded(const std::vector<FileReport>& files) {
    std::size_t count = 0;
    for (const FileReport& file : files)
        count += file.done() ? 1 : 0;
    return count;
}

void write(const std::string& destination, const Json& report) {
    writeReportText(destination, report.dump(2) + "\n");
}
} // namespace

void writeReportText(const std::string& destination, const std::string& text) {
    if (destination == "-") {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        return;
    }
    const auto path = std::filesystem::u8path(destination);
    TemporaryOutput temporary(path);
    {
        std::ofstream file(temporary.path(), std::ios::binary);
        file << text;
        if (!file.flush()) throw std::runtime_error("cannot write the report " + destination);
    }
    temporary.moveTo(path);
}

bool isReportPage(const std::string& destination) {
    const std::string extension = std::filesystem::u8path(destination).extension().string();
    return extension == ".html" || extension == ".htm" || extension == ".HTML" || extension == ".HTM";
}

LevelFigures LevelFigures::of(const LoudnessMeter& meter) {
    return {meter.samplePeak(), meter.truePeak(), meter.loudness(), meter.loudnessRange()};
}

LevelFigures LevelFigures::of(const std::vector<const LoudnessMeter*>& meters) {
    return {LoudnessMeter::samplePeak(meters), LoudnessMeter::truePeak(meters),
            LoudnessMeter::loudness(meters), LoudnessMeter::loudnessRange(meters)};
}

LevelFigures albumLevels(const std::vector<FileReport>& files,
                         std::shared_ptr<const LoudnessMeter> FileReport::*meter) {
    std::vector<const LoudnessMeter*> meters;
    for (const FileReport& file : files)
        if (file.done() && file.*meter) meters.push_back((file.*meter).get());
    return LevelFigures::of(meters);
}

void checkReportDestination(const std::string& destination) {
    if (destination == "-") return;
    checkWritable(std::filesystem::u8path(destination), "report");
}

void writeRenderReport(const std::string& destination, const RenderReport& report) {
    if (isReportPage(destination)) return writeReportText(destination, renderReportPage(report));
    Json json{{"command", "render"}};
    json["target"] = report.target ? Json{{"integrated_lufs", report.target->lufs},
                                          {"true_peak_dbtp", report.target->truePeakDb},
                                          {"album", report.album}}
                                   : Json(nullptr);
    Json files = Json::array();
    for (const FileReport& file : report.files)
        files.push_back(renderedFile(file));
    json["files"] = files;
    if (report.batch)
        json["album"] =
            Json{{"files", succeeded(report.files)},
                 {"input_levels", levelsJson(albumLevels(report.files, &FileReport::inputMeter))},
                 {"output_levels", levelsJson(albumLevels(report.files, &FileReport::outputMeter))}};
    write(destination, json);
}

void writeAnalyzeReport(const std::string& destination, const std::vector<FileReport>& files) {
    if (isReportPage(destination)) return writeReportText(destination, analyzeReportPage(files));
    Json json{{"command", "analyze"}};
    Json entries = Json::array();
    for (const FileReport& file : files) {
        Json entry = fileStart(file);
        if (!file.failed()) entry["levels"] = levelsJson(file.inputLevels);
        entries.push_back(entry);
    }
    json["files"] = entries;
    json["album"] = Json{{"files", succeeded(files)},
                         {"levels", levelsJson(albumLevels(files, &FileReport::inputMeter))}};
    write(destination, json);
}

std::string decibelText(double linear, const char* unit) {
    char text[32];
    if (linear <= 0.0) {
        std::snprintf(text, sizeof text, "%7s %s", "-inf", unit);
    } else {
        double value = 20.0 * std::log10(linear);
        std::snprintf(text, sizeof text, "%7.2f %s", std::fabs(value) < 0.005 ? 0.0 : value, unit);
    }
    return text;
}

std::string loudnessText(double lufs) {
    char text[32];
    if (std::isinf(lufs))
        std::snprintf(text, sizeof text, "%6s LUFS", "-inf");
    else
        std::snprintf(text, sizeof text, "%6.1f LUFS", std::fabs(lufs) < 0.05 ? 0.0 : lufs);
    return text;
}

std::string parameterText(const FileReport& report, const std::string& name) {
    for (const ParameterState& parameter : report.parameters)
        if (parameter.name == name) return parameter.display;
    return "";
}
