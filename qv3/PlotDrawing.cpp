#include "PlotDrawing.h"

#include "Errors.h"
#include "PlotData.h"
#include "TemporaryOutput.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {
constexpr double kTextSize = 16.0;
constexpr double kQuietestLufs = -60.0;

struct Colour {
    double red, green, blue;
};
// Light, middle and dark tones, told apart by fill and line style as much as by hue.
constexpr Colour kInk{0.0, 0.0, 0.0};
constexpr Colour kGrid{0.86, 0.86, 0.86};
constexpr Colour kInput{0.72, 0.72, 0.72};
constexpr Colour kInputLine{0.45, 0.45, 0.45};
constexpr Colour kOutput{0.08, 0.24, 0.55};
constexpr Colour kReduction{0.62, 0.10, 0.10};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

void setColour(cairo_t* cr, Colour colour, double alpha = 1.0) {
    cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, alpha);
}

void setLine(cairo_t* cr, double width, std::vector<double> dashes = {}) {
    cairo_set_line_width(cr, width);
    cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0.0);
}

enum class Align { Left, Right, Centre };

void text(cairo_t* cr, double x, double y, const std::string& line, Align align = Align::Left,
          bool bold = false) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, line.c_str(), &extents);
    const double shift = align == Align::Left    ? 0.0
                         : align == Align::Right ? extents.x_advance
                                                 : extents.x_advance / 2.0;
    cairo_move_to(cr, x - shift, y);
    cairo_show_text(cr, line.c_str());
}

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
    char buffer[64];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    return buffer;
}

std::string clockText(double seconds) {
    const long whole = std::lround(seconds);
    char buffer[32];
    if (whole >= 3600)
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%02ld:%02ld", whole / 60, whole % 60);
    return buffer;
}

// Time ticks a whole number of seconds apart (at least one), at most about a dozen of them.
double timeStep(double seconds) {
    for (double step : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0})
        if (seconds / step <= 12.0) return step;
    return 3600.0 * std::ceil(seconds / 3600.0 / 12.0);
}

class Painter {
  public:
    Painter(cairo_t* cr, const FileReport& report)
        : cr_(cr), report_(report), plot_(*report.plot), layout_(plotLayout(plot_.hasOutput)),
          seconds_(std::max(plot_.seconds(), 1.0 / std::max(1, plot_.sampleRate))) {}

    void paint() {
        cairo_set_source_rgb(cr_, 1.0, 1.0, 1.0);
        cairo_paint(cr_);
        cairo_set_font_size(cr_, kTextSize);
        setColour(cr_, kInk);
        cairo_set_font_size(cr_, 22.0);
        text(cr_, kPlotLeft, 36.0, report_.input.filename().u8string(), Align::Left, true);
        cairo_set_font_size(cr_, kTextSize);
        timeAxis();
        waveformLane();
        if (layout_.gain) gainLane(*layout_.gain);
        loudnessLane();
        legend();
    }

  private:
    double xOf(double frame) const {
        return layout_.left + (layout_.right - layout_.left) * frame / plot_.sampleRate / seconds_;
    }
    double columnStart(std::size_t index) const {
        return xOf(static_cast<double>(index) * static_cast<double>(plot_.framesPerColumn));
    }
    double columnEnd(std::size_t index) const {
        return xOf(std::min(static_cast<double>(index + 1) * static_cast<double>(plot_.framesPerColumn),
                            static_cast<double>(plot_.frames)));
    }

    void laneFrame(const PlotLane& lane, const std::string& title) {
        setColour(cr_, kInk);
        text(cr_, layout_.left, lane.top - 12.0, title, Align::Left, true);
        setLine(cr_, 1.0);
        cairo_rectangle(cr_, layout_.left, lane.top, layout_.right - layout_.left, lane.bottom - lane.top);
        cairo_stroke(cr_);
    }

    // A horizontal grid line with its label on the left axis.
    void levelTick(double y, const std::string& label) {
        setColour(cr_, kGrid);
        setLine(cr_, 1.0);
        cairo_move_to(cr_, layout_.left, y);
        cairo_line_to(cr_, layout_.right, y);
        cairo_stroke(cr_);
        setColour(cr_, kInk);
        text(cr_, layout_.left - 8.0, y + 5.0, label, Align::Right);
    }

    void timeAxis() {
        const double step = timeStep(seconds_);
        const double bottom = layout_.loudness.bottom;
        for (double t = 0.0; t <= seconds_ + 1e-9; t += step) {
            const double x = xOf(t * plot_.sampleRate);
            setColour(cr_, kGrid);
            setLine(cr_, 1.0);
            for (const PlotLane* lane : lanes()) {
                cairo_move_to(cr_, x, lane->top);
                cairo_line_to(cr_, x, lane->bottom);
            }
            cairo_stroke(cr_);
            setColour(cr_, kInk);
            cairo_move_to(cr_, x, bottom);
            cairo_line_to(cr_, x, bottom + 6.0);
            cairo_stroke(cr_);
            text(cr_, x, bottom + 24.0, clockText(t), Align::Centre);
        }
        text(cr_, layout_.right, bottom + 48.0, "time (mm:ss)", Align::Right);
    }

    std::vector<const PlotLane*> lanes() const {
        std::vector<const PlotLane*> all{&layout_.waveform, &layout_.loudness};
        if (layout_.gain) all.push_back(&*layout_.gain);
        return all;
    }

    // Each column's low to high as a band, drawn as one filled outline.
    void envelope(float PlotColumn::*low, float PlotColumn::*high, double centre, double scale) {
        const auto y = [&](float value) {
            return centre - scale * static_cast<double>(std::clamp(value, -1.0f, 1.0f));
        };
        const auto& columns = plot_.columns;
        bool drawn = false;
        for (std::size_t index = 0; index < columns.size(); ++index) {
            if (columns[index].*low > columns[index].*high) continue;
            cairo_line_to(cr_, columnStart(index), y(columns[index].*high));
            cairo_line_to(cr_, columnEnd(index), y(columns[index].*high));
            drawn = true;
        }
        for (std::size_t index = columns.size(); index-- > 0;) {
            if (columns[index].*low > columns[index].*high) continue;
            cairo_line_to(cr_, columnEnd(index), y(columns[index].*low));
            cairo_line_to(cr_, columnStart(index), y(columns[index].*low));
        }
        if (drawn) cairo_close_path(cr_);
    }

    void waveformLane() {
        const PlotLane& lane = layout_.waveform;
        const double centre = (lane.top + lane.bottom) / 2.0;
        const double scale = (lane.bottom - lane.top) / 2.0;
        for (double decibels : {0.0, -6.0, -12.0}) {
            const double amplitude = std::pow(10.0, decibels / 20.0);
            const std::string label = decibels == 0.0 ? "0" : format("%.0f", decibels);
            levelTick(centre - scale * amplitude, label);
            levelTick(centre + scale * amplitude, label);
        }
        levelTick(centre, "-inf");
        cairo_save(cr_);
        cairo_rectangle(cr_, layout_.left, lane.top, layout_.right - layout_.left, lane.bottom - lane.top);
        cairo_clip(cr_);
        setColour(cr_, kInput);
        envelope(&PlotColumn::inputLow, &PlotColumn::inputHigh, centre, scale);
        cairo_fill(cr_);
        if (plot_.hasOutput) {
            setColour(cr_, kOutput, 0.62);
            envelope(&PlotColumn::outputLow, &PlotColumn::outputHigh, centre, scale);
            cairo_fill(cr_);
            // The input's outline stays visible where a louder output covers it.
            setColour(cr_, kInk, 0.7);
            setLine(cr_, 0.8);
            envelope(&PlotColumn::inputLow, &PlotColumn::inputHigh, centre, scale);
            cairo_stroke(cr_);
        }
        cairo_restore(cr_);
        laneFrame(lane, plot_.hasOutput ? "Waveform, input and output (dBFS)" : "Waveform (dBFS)");
        if (plot_.hasOutput) overs(lane);
    }

    // A triangle hanging from the lane's top edge wherever the output's true peak goes over.
    void overs(const PlotLane& lane) {
        const float threshold = static_cast<float>(std::pow(10.0, plot_.overDbtp / 20.0));
        setColour(cr_, kInk);
        for (std::size_t index = 0; index < plot_.columns.size(); ++index) {
            if (plot_.columns[index].outputTruePeak <= threshold) continue;
            overMark((columnStart(index) + columnEnd(index)) / 2.0, lane.top);
            ++overColumns_;
        }
    }

    void overMark(double x, double top) {
        cairo_move_to(cr_, x, top + 11.0);
        cairo_line_to(cr_, x - 6.0, top);
        cairo_line_to(cr_, x + 6.0, top);
        cairo_close_path(cr_);
        cairo_fill(cr_);
    }

    void gainLane(const PlotLane& lane) {
        const double deepest = plot_.hasGain ? plot_.deepestReductionDb() : 0.0;
        const double step = deepest <= 3.0 ? 1.0 : deepest <= 6.0 ? 2.0 : deepest <= 12.0 ? 3.0 : 6.0;
        const double range = std::max(3.0, step * std::ceil(std::min(deepest, 60.0) / step));
        const auto y = [&](double decibels) {
            return lane.top + (lane.bottom - lane.top) * decibels / range;
        };
        for (double decibels = 0.0; decibels <= range + 1e-9; decibels += step)
            levelTick(y(decibels), decibels == 0.0 ? "0" : format("-%.0f", decibels));
        if (!plot_.hasGain) {
            setColour(cr_, kInk);
            text(cr_, (layout_.left + layout_.right) / 2.0, (lane.top + lane.bottom) / 2.0,
                 "the plug-in publishes no reduction meter", Align::Centre);
        } else {
            cairo_save(cr_);
            cairo_rectangle(cr_, layout_.left, lane.top, layout_.right - layout_.left,
                            lane.bottom - lane.top);
            cairo_clip(cr_);
            cairo_move_to(cr_, layout_.left, lane.top);
            for (std::size_t index = 0; index < plot_.columns.size(); ++index) {
                const double gain = plot_.columns[index].lowestGain;
                const double reduction =
                    gain > 0.0 ? std::min(-20.0 * std::log10(gain), range + 1.0) : range + 1.0;
                cairo_line_to(cr_, columnStart(index), y(reduction));
                cairo_line_to(cr_, columnEnd(index), y(reduction));
            }
            cairo_line_to(cr_, columnEnd(plot_.columns.size() - 1), lane.top);
            setColour(cr_, kReduction, 0.3);
            cairo_fill_preserve(cr_);
            setColour(cr_, kReduction);
            setLine(cr_, 1.5);
            cairo_stroke(cr_);
            cairo_restore(cr_);
        }
        laneFrame(lane, "Gain reduction, the plug-in's reduction meter (dB)");
    }

    void loudnessLane() {
        const PlotLane& lane = layout_.loudness;
        double quietest = 0.0;
        for (const PlotColumn& column : plot_.columns)
            for (double lufs : {column.inputShortTerm, column.outputShortTerm})
                if (std::isfinite(lufs) && lufs > kQuietestLufs) quietest = std::min(quietest, lufs);
        if (plot_.targetLufs) quietest = std::min(quietest, *plot_.targetLufs);
        const double floor = std::clamp(6.0 * std::floor((quietest - 3.0) / 6.0), kQuietestLufs, -24.0);
        const auto y = [&](double lufs) {
            return lane.top + (lane.bottom - lane.top) * std::clamp(lufs, floor, 0.0) / floor;
        };
        for (double lufs = 0.0; lufs >= floor - 1e-9; lufs -= 6.0)
            levelTick(y(lufs), lufs == 0.0 ? "0" : format("%.0f", lufs));
        cairo_save(cr_);
        cairo_rectangle(cr_, layout_.left, lane.top, layout_.right - layout_.left, lane.bottom - lane.top);
        cairo_clip(cr_);
        if (plot_.targetLufs) {
            setColour(cr_, kInk);
            setLine(cr_, 1.5, {2.0, 4.0});
            cairo_move_to(cr_, layout_.left, y(*plot_.targetLufs));
            cairo_line_to(cr_, layout_.right, y(*plot_.targetLufs));
            cairo_stroke(cr_);
        }
        setColour(cr_, kInputLine);
        setLine(cr_, 2.0, {9.0, 5.0});
        shortTermTrace(&PlotColumn::inputShortTerm, y);
        if (plot_.hasOutput) {
            setColour(cr_, kOutput);
            setLine(cr_, 2.5);
            shortTermTrace(&PlotColumn::outputShortTerm, y);
        }
        cairo_restore(cr_);
        laneFrame(lane, "Short-term loudness, 3 s (LUFS)");
    }

    // A line through the columns that have a reading, at their middles.
    void shortTermTrace(float PlotColumn::*lufs, const std::function<double(double)>& y) {
        for (std::size_t index = 0; index < plot_.columns.size(); ++index) {
            const double value = plot_.columns[index].*lufs;
            if (std::isnan(value)) continue;
            cairo_line_to(cr_, (columnStart(index) + columnEnd(index)) / 2.0,
                          y(std::isfinite(value) ? value : kQuietestLufs - 10.0));
        }
        cairo_stroke(cr_);
    }

    // Key and figures in the column right of the lanes.
    void legend() {
        double x = layout_.right + 32.0;
        double y = layout_.waveform.top - 10.0;
        const auto line = [&](const std::string& words, bool bold = false) {
            setColour(cr_, kInk);
            text(cr_, x, y, words, Align::Left, bold);
            y += 22.0;
        };
        const auto keyed = [&](const std::string& words, const std::function<void(double, double)>& sample) {
            sample(x, y - 5.0);
            setColour(cr_, kInk);
            text(cr_, x + 44.0, y, words);
            y += 24.0;
        };
        const auto swatch = [&](Colour colour, double alpha) {
            return [this, colour, alpha](double left, double middle) {
                setColour(cr_, colour, alpha);
                cairo_rectangle(cr_, left, middle - 7.0, 34.0, 14.0);
                cairo_fill(cr_);
            };
        };
        const auto stroke = [&](Colour colour, double width, std::vector<double> dashes) {
            return [this, colour, width, dashes](double left, double middle) {
                setColour(cr_, colour);
                setLine(cr_, width, dashes);
                cairo_move_to(cr_, left, middle);
                cairo_line_to(cr_, left + 34.0, middle);
                cairo_stroke(cr_);
            };
        };

        line("Figures", true);
        const auto levels = [&](const char* name, const LevelFigures& figures) {
            line(
                format("%-7s %.1f LUFS   ", name, figures.loudness) +
                (figures.truePeak > 0.0 ? format("%.2f dBTP", 20.0 * std::log10(figures.truePeak)) : "-inf"));
        };
        levels("input", report_.inputLevels);
        if (plot_.hasOutput) {
            levels("output", report_.outputLevels);
            if (plot_.hasGain) line(format("gain reduction up to %.1f dB", plot_.deepestReductionDb()));
            line(format("true-peak overs (> %.1f dBTP): %d", plot_.overDbtp, overColumns_));
        } else {
            line(format("loudness range %.1f LU", report_.inputLevels.loudnessRange));
        }
        line("duration " + clockText(plot_.seconds()) + format(", %d Hz", report_.sampleRate));
        y += 12.0;
        if (plot_.hasOutput) {
            line("Settings", true);
            if (plot_.targetLufs) line(format("target %.1f LUFS", *plot_.targetLufs));
            line("program " + report_.programName);
            for (const ParameterState& parameter : report_.parameters)
                line(parameter.name + " " + parameter.display +
                     (parameter.label.empty() ? "" : " " + parameter.label));
            if (report_.inputGainDb != 0.0) line(format("input gain %+.1f dB", report_.inputGainDb));
            y += 12.0;
        }
        line("Key", true);
        keyed("input", swatch(kInput, 1.0));
        keyed("input short-term", stroke(kInputLine, 2.0, {9.0, 5.0}));
        if (plot_.hasOutput) {
            keyed("output", swatch(kOutput, 0.62));
            keyed("input's outline", stroke(kInk, 1.0, {}));
            keyed("output short-term", stroke(kOutput, 2.5, {}));
            if (plot_.hasGain) keyed("gain reduction", swatch(kReduction, 0.3));
            keyed("true-peak over", [&](double left, double middle) {
                setColour(cr_, kInk);
                overMark(left + 17.0, middle - 6.0);
            });
        }
        if (plot_.targetLufs) keyed("target", stroke(kInk, 1.5, {2.0, 4.0}));
    }

    cairo_t* cr_;
    const FileReport& report_;
    const PlotData& plot_;
    PlotLayout layout_;
    double seconds_;
    int overColumns_ = 0;
};

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

void paintOn(cairo_surface_t* surface, const FileReport& report) {
    if (!report.plot) throw std::logic_error("a picture of " + report.input.string() + " without plot data");
    const Context cr(cairo_create(surface), &cairo_destroy);
    Painter(cr.get(), report).paint();
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string("cairo cannot draw: ") +
                                 cairo_status_to_string(cairo_status(cr.get())));
}

std::string pngBytes(const FileReport& report) {
    const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight),
                          &cairo_surface_destroy);
    paintOn(surface.get(), report);
    std::string bytes;
    if (cairo_surface_write_to_png_stream(surface.get(), appendTo, &bytes) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cairo cannot encode the picture of " + report.input.string());
    return bytes;
}
} // namespace

std::optional<PictureKind> pictureKindOf(const std::filesystem::path& path) {
    // The whole name when it is only an extension: a batch's ".png" names the kind of its pictures.
    const std::string name = path.filename().string();
    std::string extension = name.substr(std::min(name.rfind('.'), name.size()));
    for (char& letter : extension)
        letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    if (extension == ".png") return PictureKind::Png;
    if (extension == ".svg") return PictureKind::Svg;
    return std::nullopt;
}

std::string plotSvg(const FileReport& report) {
    std::string document;
    {
        const Surface surface(
            cairo_svg_surface_create_for_stream(appendTo, &document, kPlotWidth, kPlotHeight),
            &cairo_surface_destroy);
        cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_PX);
        paintOn(surface.get(), report);
        cairo_surface_finish(surface.get());
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error("cairo cannot write the picture of " + report.input.string());
    }
    return document;
}

void writePlot(const FileReport& report, const std::filesystem::path& destination) {
    const std::string bytes =
        pictureKindOf(destination) == PictureKind::Svg ? plotSvg(report) : pngBytes(report);
    TemporaryOutput temporary(destination);
    {
        std::ofstream file(temporary.path(), std::ios::binary);
        file << bytes;
        if (!file.flush()) throw std::runtime_error("cannot write the picture " + destination.string());
    }
    temporary.moveTo(destination);
}
