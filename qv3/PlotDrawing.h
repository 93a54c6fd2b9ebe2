// The picture of a file, drawn with cairo from what was gathered while it was read and rendered (PlotData.h):
// input and output envelopes on one time axis, the plug-in's gain reduction, the short-term loudness of input
// and output with the target, the output's true-peak overs, and a legend with the settings and the integrated
// figures. Line styles and fills tell the traces apart, so that a grey-scale print reads as well as colour.
#pragma once

#include "Report.h"

#include <filesystem>
#include <optional>
#include <string>

constexpr int kPlotWidth = 1600;
constexpr int kPlotHeight = 900;
constexpr double kPlotLeft = 96.0; // room for the level axes' labels

enum class PictureKind { Png, Svg };

// By the name's extension (.png or .svg, any case); empty for anything else.
std::optional<PictureKind> pictureKindOf(const std::filesystem::path& path);

// Where the lanes sit, in pixels from the top left.
struct PlotLane {
    double top = 0.0;
    double bottom = 0.0;
};
struct PlotLayout {
    double left = 0.0;
    double right = 0.0;
    PlotLane waveform;
    std::optional<PlotLane> gain; // only for a render
    PlotLane loudness;
};
inline PlotLayout plotLayout(bool rendered) {
    constexpr double kLegendWidth = 360.0;
    constexpr double kTop = 84.0;
    constexpr double kBottom = 60.0;
    constexpr double kLaneGap = 40.0;
    PlotLayout layout;
    layout.left = kPlotLeft;
    layout.right = kPlotWidth - kLegendWidth;
    // Shares of the height: waveform 3, gain reduction 1.5, loudness 2.5.
    const double unit =
        (kPlotHeight - kTop - kBottom - kLaneGap * (rendered ? 2.0 : 1.0)) / (rendered ? 7.0 : 5.5);
    double top = kTop;
    const auto next = [&](double share) {
        PlotLane lane{top, top + share * unit};
        top = lane.bottom + kLaneGap;
        return lane;
    };
    layout.waveform = next(3.0);
    if (rendered) layout.gain = next(1.5);
    layout.loudness = next(2.5);
    return layout;
}

// The report's picture (it must carry plot data) as a PNG or SVG file, written through a temporary file.
// Throws std::runtime_error when it cannot be written.
void writePlot(const FileReport& report, const std::filesystem::path& destination);

// The report's picture as an SVG document.
std::string plotSvg(const FileReport& report);
