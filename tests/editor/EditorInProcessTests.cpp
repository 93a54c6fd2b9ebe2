// The editor linked into the test program with the skin, on an effect of the test's own behind its
// EditInterface, as any format makes it: meters painted from the readings the effect publishes (on the
// editor's own timer too), the paint rule for parameter changes from other threads, the texts of the value
// fields, the edits of the controls, idle pumping during drags and the OLE rule of the editor base.
#include "EditorTestSupport.h"

#include "core/BuildConfig.h"
#include "core/ParameterText.h"
#include "editor/EditorBase.h"
#include "toolkit/Bitmap.h"
#include "toolkit/DrawContext.h"
#include "toolkit/ModuleInstance.h"
#include "toolkit/ValueDisplay.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kEditorWidth = 273;
constexpr int kEditorHeight = 354;
constexpr int kWellRows = 120;

struct LevelMeterPlace {
    int meterSlot;
    int left;
    std::uint32_t body;
    std::uint32_t edge;
};

const std::vector<LevelMeterPlace> kLevelMeters =
    kStereoBuild ? std::vector<LevelMeterPlace>{{0, 38, rgbOf(255, 0, 102), rgbOf(217, 0, 87)},
                                                {1, 64, rgbOf(255, 0, 102), rgbOf(217, 0, 87)},
                                                {3, 204, rgbOf(255, 55, 96), rgbOf(230, 0, 47)},
                                                {4, 230, rgbOf(255, 55, 96), rgbOf(230, 0, 47)}}
                 : std::vector<LevelMeterPlace>{{0, 47, rgbOf(255, 0, 102), rgbOf(217, 0, 87)},
                                                {2, 213, rgbOf(255, 55, 96), rgbOf(230, 0, 47)}};
constexpr int kReductionMeterSlot = gainMeterSlot(kChannelCount);
// Values that are not finite show as the lowest reading.
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int kWellWidth = kStereoBuild ? 7 : 15;
constexpr int kEdgeColumns = kStereoBuild ? 1 : 2;

// Values and meter readings as a test sets them; edits and drag idles as the editor makes them.
class TestEffect final : public EditInterface {
  public:
    TestEffect() {
        for (int index = 0; index < kParameterIdCount; ++index)
            values[index] = parameterInfo(static_cast<ParameterId>(index)).defaultValue;
        meters[gainMeterSlot(kChannelCount)] = 1.0;
    }
    float value(ParameterId id) override { return values[static_cast<int>(id)]; }
    void beginEdit(ParameterId id) override {
        edits.push_back("begin " + std::to_string(static_cast<int>(id)));
    }
    void performEdit(ParameterId id, float value) override {
        values[static_cast<int>(id)] = value;
        edits.push_back("perform " + std::to_string(static_cast<int>(id)));
    }
    void endEdit(ParameterId id) override { edits.push_back("end " + std::to_string(static_cast<int>(id))); }
    double meterValue(int slot) override {
        return slot >= 0 && slot < kMeterCount ? meters[slot].load() : 0.0;
    }
    void dragIdle() override {
        ++dragIdles;
        if (onDragIdle) onDragIdle();
    }

    std::atomic<float> values[kParameterIdCount];
    std::atomic<double> meters[kMeterCount] = {};
    std::vector<std::string> edits;
    int dragIdles = 0;
    std::function<void()> onDragIdle;
};

// The editor as a format makes it, opened in a host window.
class OpenEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        setModuleInstance(GetModuleHandleA(nullptr));
        ASSERT_TRUE(makeEditor(effect_, editor_));
        ASSERT_NE(editor_, nullptr);
        EXPECT_EQ(editor_->width(), kEditorWidth);
        EXPECT_EQ(editor_->height(), kEditorHeight);
        window_ = std::make_unique<HostWindow>(kEditorWidth, kEditorHeight);
        ASSERT_TRUE(editor_->open(window_->handle()));
        runHost([this] { idle(); }, 200);
    }
    void TearDown() override {
        editor_->close();
        editor_.reset();
        window_.reset();
    }

    void idle() { editor_->idle(); }
    // A value the host changed, told to the editor as a format tells it.
    void set(ParameterId id, float value) {
        effect_.values[static_cast<int>(id)] = value;
        editor_->parameterChanged(id);
    }
    void publish(int slot, double value) { effect_.meters[slot] = value; }
    Pixels capture() { return captureWindow(window_->editorWindow()); }
    static Pixels picture(int id) { return loadBitmapPixels(GetModuleHandleA(nullptr), id); }

    // The text a value field shows, drawn by a display set up like the editor's into a picture of its own.
    static Pixels renderedField(int left, int top, float value, ValueFormatter formatter) {
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP surface = CreateCompatibleBitmap(screen, kEditorWidth, kEditorHeight);
        HGDIOBJ previous = SelectObject(memory, surface);
        {
            auto* background = new Bitmap(10003);
            ValueDisplay display({left, top, left + 38, top + 15}, nullptr, 0);
            display.setAlignment(kAlignCenter);
            display.setFontId(3);
            display.setFontFace(0);
            display.setTextColor({0, 0, 0, 0});
            display.setBackground(background);
            background->release();
            display.setValue(value);
            display.setFormatter(formatter);
            DrawContext context(nullptr, memory, nullptr);
            display.draw(&context);
        }
        SelectObject(memory, previous);
        Pixels whole = captureBitmap(memory, surface);
        DeleteObject(surface);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return whole.crop(left, top, 38, 15);
    }
    static Pixels captureBitmap(HDC context, HBITMAP bitmap) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kEditorWidth;
        info.bmiHeader.biHeight = -kEditorHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        Pixels pixels{kEditorWidth, kEditorHeight, std::vector<std::uint32_t>(kEditorWidth * kEditorHeight)};
        GetDIBits(context, bitmap, 0, kEditorHeight, pixels.rgb.data(), &info, DIB_RGB_COLORS);
        for (std::uint32_t& value : pixels.rgb)
            value &= 0xFFFFFF;
        return pixels;
    }

    TestEffect effect_;
    std::unique_ptr<PluginEditor> editor_;
    std::unique_ptr<HostWindow> window_;
};

// The well with rows firstLit to 119 lit: body colour up to the edge columns, edge colour in them.
Pixels litWell(const Pixels& well, int firstLit, const LevelMeterPlace& meter) {
    Pixels expected = well;
    for (int y = firstLit; y < kWellRows; ++y) {
        for (int x = 1; x < kWellWidth; ++x)
            expected.rgb[static_cast<std::size_t>(y * kWellWidth + x)] =
                x >= kWellWidth - kEdgeColumns ? meter.edge : meter.body;
    }
    return expected;
}

TEST_F(OpenEditor, LevelMetersLightExactlyTheRowsOfThePublishedLevel) {
    const Pixels well = picture(10009);
    ASSERT_EQ(well.width, kWellWidth);
    // level -> first lit row; 120 means nothing lit.
    const std::vector<std::pair<float, int>> cases = {
        {1.0f, 1},  {0.5f, 19},  {0.01f, 120}, {0.0100001f, 120}, {0.0f, 120}, {-0.5f, 120}, {1.5f, 1},
        {0.2f, 42}, {0.03f, 92}, {0.7f, 10},   {kNaN, 120},       {kInf, 120}, {-kInf, 120}};
    for (const auto& [level, firstLit] : cases) {
        for (const LevelMeterPlace& meter : kLevelMeters)
            publish(meter.meterSlot, level);
        idle();
        const Pixels editor = capture();
        for (const LevelMeterPlace& meter : kLevelMeters)
            EXPECT_EQ(editor.crop(meter.left, 162, kWellWidth, kWellRows), litWell(well, firstLit, meter))
                << "level " << level << " meter " << meter.meterSlot;
    }
}

TEST_F(OpenEditor, ReductionMarkerSitsFivePixelsPerDecibelLeftOfZero) {
    const Pixels scale = picture(10002);
    ASSERT_EQ(scale.width, 127);
    // gain -> left column of the marker box.
    const std::vector<std::pair<float, int>> cases = {{1.0f, 124}, {0.995f, 124}, {0.5f, 94},  {0.05f, 0},
                                                      {0.03f, 0},  {1.2f, 124},   {0.25f, 64}, {0.8f, 115},
                                                      {kNaN, 0},   {kInf, 0},     {-kInf, 0}};
    const std::uint32_t outline = rgbOf(255, 0, 102);
    const std::uint32_t inner = rgbOf(196, 0, 79);
    for (const auto& [gain, p] : cases) {
        publish(kReductionMeterSlot, gain);
        idle();
        Pixels expected = scale;
        const auto put = [&expected](int x, int y, std::uint32_t colour) {
            if (x < expected.width) expected.rgb[static_cast<std::size_t>(y * expected.width + x)] = colour;
        };
        for (int y = 0; y <= 12; ++y) {
            put(p, y, outline);
            put(p + 1, y, y == 0 || y == 12 ? outline : inner);
            put(p + 2, y, outline);
            if (y >= 1) put(p + 3, y, inner);
        }
        EXPECT_EQ(capture().crop(118, 72, 127, 13), expected) << "gain " << gain;
    }
}

TEST_F(OpenEditor, MetersRepaintOnlyInIdleAfterAPublication) {
    const LevelMeterPlace& meter = kLevelMeters.front();
    const Pixels well = picture(10009);
    publish(meter.meterSlot, 1.0);
    EXPECT_EQ(capture().crop(meter.left, 162, kWellWidth, kWellRows), well) << "painted before idle";
    idle();
    EXPECT_EQ(capture().crop(meter.left, 162, kWellWidth, kWellRows), litWell(well, 1, meter));
}

// Hosts of some formats send no idle calls: the editor's own timer keeps the meters moving.
TEST_F(OpenEditor, MetersFollowOnTheEditorsOwnTimer) {
    const LevelMeterPlace& meter = kLevelMeters.back();
    const Pixels well = picture(10009);
    publish(meter.meterSlot, 0.5);
    runHost([] {}, 400);
    EXPECT_EQ(capture().crop(meter.left, 162, kWellWidth, kWellRows), litWell(well, 19, meter));
}

TEST_F(OpenEditor, ValueFieldsShowTheConvertersTexts) {
    set(ParameterId::kMakeup, 0.5f);
    set(ParameterId::kCeiling, 0.5f);
    set(ParameterId::kManualRelease, 0.5f);
    EXPECT_EQ(capture().crop(138, 162, 38, 15), renderedField(138, 162, 0.5f, formatMakeup));  // 24.0
    EXPECT_EQ(capture().crop(138, 191, 38, 15), renderedField(138, 191, 0.5f, formatCeiling)); // -3.00
    for (float mode : {0.0f, 0.25f, 0.5f, 1.0f}) {
        set(ParameterId::kReleaseSwitch, mode);
        // At exactly 0.5 the automatic value is the one in use; it shows as a time.
        const float release =
            effect_.value(mode > 0.5f ? ParameterId::kManualRelease : ParameterId::kAutoRelease);
        const ValueFormatter expected = mode < 0.5f ? formatReleaseAuto : formatReleaseTime;
        EXPECT_EQ(capture().crop(138, 261, 38, 15), renderedField(138, 261, release, expected))
            << "mode " << mode;
    }
}

TEST_F(OpenEditor, ChangesFromAnotherThreadPaintInTheNextIdlePass) {
    set(ParameterId::kReleaseSwitch, 0.0f);
    set(ParameterId::kMonitor, 0.0f);
    const Pixels before = capture();
    std::thread automation([this] {
        set(ParameterId::kMonitor, 1.0f);
        set(ParameterId::kReleaseSwitch, 1.0f);
        set(ParameterId::kMakeup, 0.75f);
    });
    automation.join();
    EXPECT_EQ(capture(), before) << "the automation thread painted";
    idle();
    const Pixels after = capture();
    const Pixels monitor = picture(10006);
    EXPECT_EQ(after.crop(89, 31, 160, 25), monitor.crop(0, 25, 160, 25));
    EXPECT_EQ(after.crop(141, 240, 33, 11), picture(10007).crop(0, 11, 33, 11));
    EXPECT_EQ(after.crop(138, 162, 38, 15), renderedField(138, 162, 0.75f, formatMakeup));
    EXPECT_EQ(after.crop(138, 261, 38, 15),
              renderedField(138, 261, effect_.value(ParameterId::kManualRelease), formatReleaseTime));
}

TEST_F(OpenEditor, ChangesAfterCloseAreIgnoredAndReopeningShowsCurrentValues) {
    editor_->close();
    set(ParameterId::kMakeup, 0.25f);
    idle();
    ASSERT_TRUE(editor_->open(window_->handle()));
    runHost([this] { idle(); }, 200);
    EXPECT_EQ(capture().crop(138, 162, 38, 15), renderedField(138, 162, 0.25f, formatMakeup));
}

// A click on a control edits the parameter it shows, bracketed when the press is held; the release field
// edits the release of the selected mode, and the decorative toggles edit nothing.
TEST_F(OpenEditor, ControlsEditTheirParameters) {
    const auto click = [this](int x, int y) {
        runWithInput([this] { idle(); }, [x, y] { input::click(x, y); });
    };
    click(157, 245);
    click(110, 185);
    ASSERT_FALSE(effect_.edits.empty());
    for (const std::string& edit : effect_.edits)
        EXPECT_EQ(edit.substr(edit.find(' ')), " 2") << edit;
    EXPECT_EQ(effect_.value(ParameterId::kReleaseSwitch), 1.0f);
    effect_.edits.clear();
    runWithInput([this] { idle(); },
                 [] {
                     input::moveTo(157, 268);
                     input::press();
                     input::moveTo(157, 250);
                     input::release();
                 });
    ASSERT_GE(effect_.edits.size(), 3u);
    EXPECT_EQ(effect_.edits.front(), "begin 4");
    EXPECT_EQ(effect_.edits[1], "perform 4");
    EXPECT_EQ(effect_.edits.back(), "end 4");
    EXPECT_EQ(effect_.value(ParameterId::kAutoRelease), 0.40625f);
}

// An editor base alone on an effect of its own, with a clock the test steps.
class SteppedEditor : public EditorBase {
  public:
    explicit SteppedEditor(TestEffect& effect) : EditorBase(effect) {}
    void close() override {}
    void parameterChanged(ParameterId) override {}
    void refresh() override { ++idleWork; }
    bool editedParameter(int, ParameterId&) override { return false; }
    std::uint32_t tickCount() const override { return now; }
    void sleepMilliseconds(std::uint32_t milliseconds) override { slept += milliseconds; }

    // One drag poll at the given time: answers whether idle work ran.
    bool pollAt(std::uint32_t time) {
        now = time;
        slept = 0;
        const int before = idleWork;
        requestRefresh();
        pumpIdle();
        return idleWork != before;
    }

    std::uint32_t now = 0;
    std::uint32_t slept = 0;
    int idleWork = 0;
};

TEST(EditorBasePumpIdle, RunsIdleWorkAboutEveryFiftyMillisecondsOfADrag) {
    for (std::uint32_t start : {1000u, 0xFFFFFFF0u, 0xFFFFFF9Cu}) {
        TestEffect effect;
        auto editor = std::make_unique<SteppedEditor>(effect);
        // A host that idles the editor from its answer: the nested call must do nothing.
        effect.onDragIdle = [&editor] { editor->idle(); };
        ASSERT_TRUE(editor->pollAt(start + 0x80000000u)) << "the first poll works at once";
        const std::uint32_t last = start + 0x80000000u;
        EXPECT_FALSE(editor->pollAt(last + 10));
        EXPECT_EQ(editor->slept, 4u);
        EXPECT_TRUE(editor->pollAt(last + 60)) << start;
        EXPECT_EQ(editor->slept, 4u);
        // The work at 60 (counted as 64) set the next one for 164.
        EXPECT_TRUE(editor->pollAt(last + 164 + 5));
        EXPECT_EQ(editor->slept, 0u);
        EXPECT_EQ(effect.dragIdles, 3);
        EXPECT_EQ(editor->idleWork, 3) << "the host's nested idle call did nothing";
    }
}

TEST(EditorBaseOle, UninitialisesOnlyWhatItInitialised) {
    std::thread multithreaded([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            TestEffect effect;
            SteppedEditor refused(effect); // refused by OLE on this thread
        }
        // Still initialised once: the editor took nothing away.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
    multithreaded.join();
    std::thread apartment([] {
        {
            TestEffect effect;
            SteppedEditor editor(effect);
        }
        // The editor's initialisation was undone: the thread starts afresh.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
    apartment.join();
}

} // namespace
