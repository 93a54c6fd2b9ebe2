#include "ReportPage.h"

#include "PlotData.h"
#include "PlotDrawing.h"

#include <cmath>
#include <cstdio>

namespace {
std::string escaped(const std::string& text) {
    std::string out;
    for (char letter : text) {
        switch (letter) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += letter;
        }
    }
    return out;
}

// One decimal, or "-inf" for silence.
std::string tenths(double value) {
    if (!std::isfinite(value)) return "-inf";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

std::string decibels(double linear) { return linear > 0.0 ? tenths(20.0 * std::log10(linear)) : "-inf"; }

std::string row(const std::vector<std::string>& cells, const char* tag = "td") {
    std::string html = "<tr>";
    for (const std::string& cell : cells)
        html += std::string("<") + tag + ">" + escaped(cell) + "</" + tag + ">";
    return html + "</tr>\n";
}

// Inline SVG documents share the page's id space, and cairo numbers its glyphs and clips the same way in
// every picture: each picture's ids get a prefix of their own.
std::string inlineSvg(const std::string& document, const std::string& prefix) {
    std::string svg = document.substr(std::min(document.find("<svg"), document.size()));
    for (const std::string& reference :
         {std::string("id=\""), std::string("href=\"#"), std::string("url(#")}) {
        std::string out;
        std::size_t from = 0;
        for (std::size_t at; (at = svg.find(reference, from)) != std::string::npos;
             from = at + reference.size())
            out += svg.substr(from, at - from) + reference + prefix;
        svg = out + svg.substr(from);
    }
    return svg;
}

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escaped(title) +
           "</title>\n<style>\n"
           "body { font-family: sans-serif; margin: 2em; color: #000; background: #fff; }\n"
           "table { border-collapse: collapse; margin-bottom: 2em; }\n"
           "th, td { border: 1px solid #999; padding: 0.25em 0.6em; text-align: right; }\n"
           "th:first-child, td:first-child { text-align: left; }\n"
           "figure { margin: 0 0 3em 0; }\n"
           "figure svg { max-width: 100%; height: auto; border: 1px solid #ccc; }\n"
           "</style>\n</head>\n<body>\n<h1>" +
           escaped(title) + "</h1>\n" + body + "</body>\n</html>\n";
}

std::string figure(const FileReport& file, std::size_t index, const std::string& caption) {
    return "<section>\n<h2>" + escaped(file.input.filename().u8string()) + "</h2>\n<figure>\n" +
           inlineSvg(plotSvg(file), "f" + std::to_string(index) + "-") + "\n<figcaption>" + escaped(caption) +
           "</figcaption>\n</figure>\n</section>\n";
}

std::string status(const FileReport& file) {
    return file.failed() ? "failed: " + file.error : file.skipped ? "skipped: the output existed" : "ok";
}
} // namespace

std::string renderReportPage(const RenderReport& report) {
    std::string body;
    if (report.target)
        body += "<p>Target: " + tenths(report.target->lufs) + " LUFS, true peak at most " +
                tenths(report.target->truePeakDb) + " dBTP" + (report.album ? ", as one album" : "") +
                ".</p>\n";
    body += "<table>\n" + row({"file", "output", "status", "in LUFS", "out LUFS", "out dBTP",
                               "gain reduction up to (dB)", "Makeup", "Ceiling", "passes"},
                              "th");
    for (const FileReport& file : report.files) {
        if (!file.done()) {
            body += row({file.input.u8string(), file.output.u8string(), status(file)});
            continue;
        }
        const std::string reduction =
            file.lowestGain
                ? tenths(*file.lowestGain > 0.0 ? 0.0 - 20.0 * std::log10(*file.lowestGain) : HUGE_VAL)
                : "not published";
        body += row({file.input.u8string(), file.output.u8string(), status(file),
                     tenths(file.inputLevels.loudness), tenths(file.outputLevels.loudness),
                     decibels(file.outputLevels.truePeak), reduction, parameterText(file, "Makeup"),
                     parameterText(file, "Ceiling"), std::to_string(file.passes)});
    }
    if (report.batch) {
        const LevelFigures in = albumLevels(report.files, &FileReport::inputMeter);
        const LevelFigures out = albumLevels(report.files, &FileReport::outputMeter);
        body += row({report.album ? "album" : "all files", "", "", tenths(in.loudness), tenths(out.loudness),
                     decibels(out.truePeak)});
    }
    body += "</table>\n";
    for (std::size_t index = 0; index < report.files.size(); ++index) {
        const FileReport& file = report.files[index];
        if (!file.done()) continue;
        body += figure(file, index,
                       file.plot->hasGain ? "The gain reduction lane reaches " +
                                                tenths(file.plot->deepestReductionDb()) + " dB."
                                          : "The plug-in publishes no reduction meter.");
    }
    return page("qv3 render", body);
}

std::string analyzeReportPage(const std::vector<FileReport>& files) {
    std::string body = "<table>\n" + row({"file", "status", "sample peak (dBFS)", "true peak (dBTP)",
                                          "loudness (LUFS)", "range (LU)", "duration (s)"},
                                         "th");
    for (const FileReport& file : files) {
        if (file.failed()) {
            body += row({file.input.u8string(), status(file)});
            continue;
        }
        const LevelFigures& levels = file.inputLevels;
        body +=
            row({file.input.u8string(), status(file), decibels(levels.samplePeak), decibels(levels.truePeak),
                 tenths(levels.loudness), tenths(levels.loudnessRange), tenths(file.duration())});
    }
    const LevelFigures all = albumLevels(files, &FileReport::inputMeter);
    body += row({"all files", "", decibels(all.samplePeak), decibels(all.truePeak), tenths(all.loudness),
                 tenths(all.loudnessRange)});
    body += "</table>\n";
    for (std::size_t index = 0; index < files.size(); ++index)
        if (!files[index].failed())
            body += figure(files[index], index,
                           "Integrated loudness " + tenths(files[index].inputLevels.loudness) + " LUFS.");
    return page("qv3 analyze", body);
}
