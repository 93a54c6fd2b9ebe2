// The pictures of render and analyze, and the report page: valid PNG and SVG of the expected size, every lane
// drawn for a limited signal, the reduction lane as deep as the summary says, one picture per file inline.
#include "ToolTestSupport.h"

#include "qv3/PlotDrawing.h"

#include <cairo.h>
#ifndef _WIN32
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

#include <memory>
#include <regex>
#include <set>

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// A tone that swells from quiet to far over the Ceiling once a second, so that the limiter works in bursts.
Sound swells(double seconds) {
    Sound sound = sine(2, 44100, static_cast<std::int64_t>(seconds * 44100), 220.0, 1.0);
    for (std::int64_t frame = 0; frame < sound.frames(); ++frame)
        for (int channel = 0; channel < 2; ++channel)
            sound.samples[static_cast<std::size_t>(frame * 2 + channel)] *=
                static_cast<float>(0.05 + 0.9 * std::fmod(static_cast<double>(frame) / 44100.0, 1.0));
    return sound;
}

Surface readPng(const fs::path& path) {
    return Surface(cairo_image_surface_create_from_png(path.string().c_str()), &cairo_surface_destroy);
}

// The root element's name and its width and height attributes, empty when the document does not parse. The
// Windows tests have no XML parser: the same SVG writer's output is parsed on Linux, and there only the root
// element is read.
std::vector<std::string> svgFrame(const std::string& document) {
#ifdef _WIN32
    std::smatch root;
    if (!std::regex_search(document, root,
                           std::regex(R"re(<(svg)\b[^>]*\bwidth="([^"]*)"[^>]*\bheight="([^"]*)")re")))
        return {};
    return {root[1], root[2], root[3]};
#else
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> parsed(xmlReadMemory(document.data(),
                                                                        static_cast<int>(document.size()),
                                                                        "plot.svg", nullptr, XML_PARSE_NONET),
                                                          &xmlFreeDoc);
    if (!parsed) return {};
    xmlNode* root = xmlDocGetRootElement(parsed.get());
    std::vector<std::string> frame{reinterpret_cast<const char*>(root->name)};
    for (const char* attribute : {"width", "height"}) {
        xmlChar* value = xmlGetProp(root, reinterpret_cast<const xmlChar*>(attribute));
        frame.push_back(value ? reinterpret_cast<const char*>(value) : "");
        xmlFree(value);
    }
    return frame;
#endif
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class Plot : public ::testing::Test {
  protected:
    ScratchFolder folder;
    std::string path(const std::string& name) const { return (folder / name).string(); }
};

TEST_F(Plot, PicturesParseAndHaveTheirSize) {
    writeSound(folder / "in.wav", swells(4.0));
    const std::vector<std::vector<std::string>> commands = {
        {"render", path("in.wav"), path("out.wav"), "--makeup", "12", "--plot", path("render.png")},
        {"render", path("in.wav"), path("out.wav"), "--target-lufs", "-12", "--plot", path("render.svg")},
        {"analyze", path("in.wav"), "--plot", path("analyze.PNG")},
        {"analyze", path("in.wav"), "--plot", path("analyze.svg")},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command.back());
        const CommandResult result = runQv3(command);
        ASSERT_EQ(result.status, 0) << result.err;
        if (fs::path(command.back()).extension() != ".svg") {
            const Surface picture = readPng(command.back());
            ASSERT_EQ(cairo_surface_status(picture.get()), CAIRO_STATUS_SUCCESS);
            EXPECT_EQ(cairo_image_surface_get_width(picture.get()), kPlotWidth);
            EXPECT_EQ(cairo_image_surface_get_height(picture.get()), kPlotHeight);
        } else {
            EXPECT_EQ(svgFrame(readText(command.back())),
                      (std::vector<std::string>{"svg", std::to_string(kPlotWidth) + "px",
                                                std::to_string(kPlotHeight) + "px"}));
        }
    }
}

// Each lane of a limited signal's picture differs from the same lane of silence's.
TEST_F(Plot, EveryLaneIsDrawnForALimitedSignal) {
    writeSound(folder / "loud.wav", swells(6.0));
    writeSound(folder / "quiet.wav", silence(2, 44100, 6 * 44100));
    for (const std::string command : {"render", "analyze"}) {
        std::vector<Surface> pictures;
        for (const std::string name : {"loud", "quiet"}) {
            std::vector<std::string> arguments{command, path(name + ".wav")};
            if (command == "render") arguments.insert(arguments.end(), {path("out.wav"), "--makeup", "12"});
            arguments.insert(arguments.end(), {"--plot", path(name + ".png")});
            const CommandResult result = runQv3(arguments);
            ASSERT_EQ(result.status, 0) << result.err;
            pictures.push_back(readPng(folder / (name + ".png")));
            cairo_surface_flush(pictures.back().get());
        }
        const PlotLayout layout = plotLayout(command == "render");
        std::vector<PlotLane> lanes{layout.waveform, layout.loudness};
        if (layout.gain) lanes.push_back(*layout.gain);
        EXPECT_EQ(lanes.size(), command == "render" ? 3u : 2u);
        for (const PlotLane& lane : lanes) {
            SCOPED_TRACE(command + " lane at " + std::to_string(lane.top));
            const int stride = cairo_image_surface_get_stride(pictures[0].get());
            const unsigned char* loud = cairo_image_surface_get_data(pictures[0].get());
            const unsigned char* quiet = cairo_image_surface_get_data(pictures[1].get());
            int differing = 0;
            int pixels = 0;
            for (int y = static_cast<int>(lane.top) + 2; y < static_cast<int>(lane.bottom) - 1; ++y) {
                for (int x = static_cast<int>(layout.left) + 2; x < static_cast<int>(layout.right) - 1; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y * stride + x * 4);
                    differing += std::equal(loud + at, loud + at + 3, quiet + at) ? 0 : 1;
                    ++pixels;
                }
            }
            EXPECT_GT(differing, pixels / 50);
        }
    }
}

// The reduction lane draws the plug-in's meter: it reaches as deep as the summary's "gain reduction up to".
TEST_F(Plot, ReductionLaneIsAsDeepAsTheSummary) {
    for (const char* makeup : {"3", "12", "24"}) {
        SCOPED_TRACE(makeup);
        writeSound(folder / "in.wav", swells(3.0));
        const CommandResult result = runQv3(
            {"render", path("in.wav"), path("out.wav"), "--makeup", makeup, "--report", path("page.html")});
        ASSERT_EQ(result.status, 0) << result.err;
        double summary = 0.0;
        ASSERT_EQ(
            std::sscanf(result.line("gain reduction:").c_str(), "gain reduction: up to %lf dB", &summary), 1)
            << result.out;
        std::smatch lane;
        const std::string page = readText(folder / "page.html");
        ASSERT_TRUE(std::regex_search(page, lane, std::regex("gain reduction lane reaches ([0-9.]+) dB")));
        EXPECT_GT(summary, 0.5);
        EXPECT_EQ(std::stod(lane[1]), summary);
    }
}

// One picture per file that succeeded, each with ids of its own, and nothing fetched from elsewhere.
TEST_F(Plot, ReportPageHoldsOnePicturePerFileAndNothingFromElsewhere) {
    writeSound(folder / "a.wav", swells(2.0));
    writeSound(folder / "b.wav", sine(1, 48000, 48000, 440.0, 0.3));
    std::ofstream(folder / "c.wav") << "not audio";
    const std::vector<std::vector<std::string>> commands = {
        {"render", "-o", path("out"), path("a.wav"), path("b.wav"), path("c.wav"), "--report",
         path("page.html")},
        {"render", "-o", path("out"), path("a.wav"), path("b.wav"), "--target-lufs", "-16", "--album",
         "--report", path("page.html")},
        {"analyze", path("a.wav"), path("b.wav"), path("c.wav"), "--report", path("page.html")},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(testing::PrintToString(command));
        const CommandResult result = runQv3(command);
        const bool withFailure = std::count(command.begin(), command.end(), path("c.wav")) > 0;
        EXPECT_EQ(result.status, withFailure ? 1 : 0) << result.err;
        const std::string page = readText(folder / "page.html");
        EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
        EXPECT_EQ(countOf(page, "<svg "), 2u);
        EXPECT_EQ(countOf(page, "<tr>"), withFailure ? 5u : 4u); // heading, files, all files
        std::set<std::string> ids;
        const std::regex id("id=\"([^\"]+)\"");
        for (auto match = std::sregex_iterator(page.begin(), page.end(), id); match != std::sregex_iterator();
             ++match)
            EXPECT_TRUE(ids.insert((*match)[1]).second) << (*match)[1];
        for (const char* fetch : {"src=", "<link", "<script", "@import", "url(http", "href=\"http"})
            EXPECT_EQ(page.find(fetch), std::string::npos) << fetch;
    }
}

} // namespace
