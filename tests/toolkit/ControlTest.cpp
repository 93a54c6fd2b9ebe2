// The concrete controls' drawing and value arithmetic, driven by scripted mouse states.
#include "TestBitmaps.h"
#include "ToolkitTestSupport.h"

#include "toolkit/Bitmap.h"
#include "toolkit/Frame.h"
#include "toolkit/SegmentSwitch.h"
#include "toolkit/ToggleButton.h"
#include "toolkit/ValueDisplay.h"
#include "toolkit/VerticalFader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kPaper = RGB(0x12, 0x34, 0x56);
constexpr int kHeld = kButtonPrimary;
constexpr int kReset = kButtonPrimary | kModControl;

// A frame without a window gives controls their edit notifications and idle pumps.
struct ControlBench {
    RecordingEditor editor;
    RecordingListener listener;
    Frame frame{{0, 0, 300, 300}, nullptr, &editor};

    template <typename ControlType> ControlType* add(ControlType* control) {
        frame.addChild(control);
        control->setDirty(false);
        return control;
    }
};

SegmentSwitch* makeSwitch(ControlBench& bench, int positions) {
    Bitmap* strip = new Bitmap(positions == 2 ? kSwitch2Bitmap : kSwitch5Bitmap);
    const int bandHeight = positions == 2 ? 25 : 11;
    auto* control = new SegmentSwitch({89, 31, 89 + strip->width(), 31 + bandHeight}, &bench.listener, 5,
                                      positions, bandHeight, positions, strip, {0, 0});
    strip->release();
    return bench.add(control);
}

// One press at h that is released at the first poll.
float pressOnce(SegmentSwitch* control, int h) {
    ScriptedContext context;
    context.buttons = {kHeld, 0};
    control->onMouseDown(&context, {h, 40});
    return control->value();
}

} // namespace

TEST(SegmentSwitchArithmetic, TwoPositionsOnA160PixelPicture) {
    ControlBench bench;
    SegmentSwitch* control = makeSwitch(bench, 2);
    EXPECT_EQ(control->defaultValue(), 0.0f);
    for (int offset = -120; offset < 260; ++offset) {
        const float expected = offset >= 80 ? 1.0f : 0.0f;
        ASSERT_EQ(pressOnce(control, 89 + offset), expected) << offset;
    }
}

TEST(SegmentSwitchArithmetic, FivePositionsOnA181PixelPicture) {
    ControlBench bench;
    SegmentSwitch* control = makeSwitch(bench, 5);
    EXPECT_EQ(pressOnce(control, 89 + 36), 0.0f);
    EXPECT_EQ(pressOnce(control, 89 + 37), 0.25f);
    const int firstOffsetOf[] = {0, 37, 73, 109, 145};
    for (int offset = -50; offset < 250; ++offset) {
        int segment = 0;
        for (int k = 0; k < 5; ++k) {
            if (offset >= firstOffsetOf[k]) segment = k;
        }
        ASSERT_EQ(pressOnce(control, 89 + offset), static_cast<float>(segment) / 4.0f) << offset;
    }
}

TEST(SegmentSwitchArithmetic, DragFollowsTheMouseAndReportsEachChange) {
    ControlBench bench;
    SegmentSwitch* control = makeSwitch(bench, 5);
    ScriptedContext context;
    context.buttons = {kHeld, kHeld, kHeld, kHeld, kHeld, 0};
    context.points = {{89 + 100, 0}, {89 + 100, 0}, {89 + 170, 0}, {0, 0}, {0, 0}};
    control->onMouseDown(&context, {89 + 40, 40});
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.25f, 0.5f, 1.0f, 0.0f}));
    EXPECT_EQ(bench.listener.tags, (std::vector<int>{5, 5, 5, 5}));
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 5", "end 5"}));
    EXPECT_EQ(bench.editor.idlePumps, 5);
    EXPECT_EQ(context.buttonQueries, 6);
}

TEST(SegmentSwitchArithmetic, ControlClickResetsAndOtherButtonsEndTheDrag) {
    ControlBench bench;
    SegmentSwitch* control = makeSwitch(bench, 5);
    control->setValue(0.75f);
    control->setDirty(false);
    ScriptedContext reset;
    reset.buttons = {kReset};
    control->onMouseDown(&reset, {89 + 170, 40});
    EXPECT_EQ(control->value(), 0.0f);
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.0f}));
    EXPECT_TRUE(bench.editor.edits.empty());

    ScriptedContext withShift; // Control and Shift: a normal drag, ended by letting go of Shift
    withShift.buttons = {kReset | kModShift, kReset | kModShift, kReset};
    withShift.points = {{89 + 170, 40}};
    control->onMouseDown(&withShift, {89 + 100, 40});
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.0f, 0.5f, 1.0f}));
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 5", "end 5"}));

    ScriptedContext secondary;
    secondary.buttons = {kButtonSecondary};
    control->onMouseDown(&secondary, {89, 40});
    control->setInputEnabled(false);
    ScriptedContext disabled;
    disabled.buttons = {kHeld, 0};
    control->onMouseDown(&disabled, {89, 40});
    EXPECT_EQ(control->value(), 1.0f);
}

TEST(SegmentSwitchArithmetic, WithoutAPictureItIgnoresPressesAndDrawsNothing) {
    ControlBench bench;
    auto* control =
        bench.add(new SegmentSwitch({0, 0, 50, 10}, &bench.listener, 4, 5, 11, 5, nullptr, {0, 0}));
    ScriptedContext context;
    context.buttons = {kHeld, 0};
    control->onMouseDown(&context, {45, 5});
    EXPECT_EQ(control->value(), 0.0f);
    EXPECT_TRUE(bench.editor.edits.empty());
    control->setValue(1.0f);
    Canvas canvas(60, 20, kPaper);
    DrawContext drawContext(nullptr, canvas.deviceContext(), nullptr);
    control->draw(&drawContext);
    EXPECT_FALSE(control->isDirty());
    EXPECT_EQ(canvas.firstColumnNot(kPaper), -1);
}

TEST(SegmentSwitchPixels, ValueSelectsThePictureRoundedToTheNearestPosition) {
    ControlBench bench;
    SegmentSwitch* five = makeSwitch(bench, 5);
    SegmentSwitch* two = makeSwitch(bench, 2);
    const struct {
        SegmentSwitch* control;
        float value;
        int picture;
    } cases[] = {{five, 0.0f, 0},   {five, 0.1f, 0}, {five, 0.125f, 1}, {five, 0.25f, 1}, {five, 0.37f, 1},
                 {five, 0.375f, 2}, {five, 0.5f, 2}, {five, 0.75f, 3},  {five, 0.9f, 4},  {five, 1.0f, 4},
                 {two, 0.0f, 0},    {two, 0.49f, 0}, {two, 0.5f, 1},    {two, 1.0f, 1}};
    for (const auto& c : cases) {
        Canvas canvas(300, 100, kPaper);
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        c.control->setValue(c.value);
        c.control->draw(&context);
        EXPECT_FALSE(c.control->isDirty());
        Rect bounds;
        c.control->bounds(bounds);
        EXPECT_EQ(canvas.pixel(bounds.left, bounds.top), bandColor(c.picture)) << c.value;
        EXPECT_EQ(canvas.pixel(bounds.right - 1, bounds.bottom - 1), bandColor(c.picture)) << c.value;
        EXPECT_EQ(canvas.pixel(bounds.right, bounds.bottom), kPaper);
    }
}

TEST(ToggleButtonBehaviour, DrawsTheOnPictureForAnyValueButZero) {
    ControlBench bench;
    Bitmap* strip = new Bitmap(kToggleBitmap);
    auto* toggle = bench.add(new ToggleButton({10, 10, 43, 21}, &bench.listener, 2, 11, strip, {0, 0}));
    strip->release();
    for (float value : {0.0f, 0.3f, 1.0f, -0.5f, 0.0f}) {
        Canvas canvas(60, 30, kPaper);
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        toggle->setValue(value);
        toggle->draw(&context);
        const COLORREF expected = bandColor(value <= 0.0f ? 0 : 1); // drawing clamps -0.5 to 0
        EXPECT_EQ(canvas.pixel(10, 10), expected) << value;
        EXPECT_EQ(canvas.pixel(42, 20), expected) << value;
        EXPECT_EQ(canvas.pixel(43, 21), kPaper);
        EXPECT_EQ(toggle->lastValue(), value < 0.0f ? 0.0f : value);
        EXPECT_FALSE(toggle->isDirty());
    }
}

TEST(ToggleButtonBehaviour, PressDragRelease) {
    struct Case {
        float start;
        std::vector<int> buttons;
        std::vector<Point> points;
        float end;
        std::vector<float> heard;
        bool tracked;
    };
    const Point inside{20, 15};
    const Point edge{43, 21};
    const Point outside{44, 15};
    const Case cases[] = {
        {0.0f, {kHeld, kHeld, kHeld, 0}, {inside, inside}, 1.0f, {1.0f}, true},
        {1.0f, {kHeld, kHeld, kHeld, 0}, {edge, edge}, 0.0f, {0.0f}, true},
        {0.3f, {kHeld, kHeld, 0}, {inside}, 0.0f, {0.0f}, true},
        {0.0f, {kHeld, kHeld, kHeld, kHeld, 0}, {outside, outside, outside}, 0.0f, {1.0f, 0.0f}, true},
        {1.0f, {kHeld, kHeld, kHeld, kHeld, 0}, {outside, inside, inside}, 0.0f, {0.0f, 1.0f, 0.0f}, true},
        // Control is no reset here: a normal toggle.
        {0.0f, {kReset, kReset, kReset, 0}, {inside}, 1.0f, {1.0f}, true},
        // Released before tracking began: toggled at once and reported without asking whether it changed.
        {0.0f, {kHeld, 0}, {inside}, 1.0f, {1.0f}, false},
        {0.3f, {kHeld, 0}, {inside}, 0.0f, {0.0f}, false},
        {0.0f, {kButtonSecondary}, {inside}, 0.0f, {}, false},
    };
    for (const Case& c : cases) {
        ControlBench bench;
        auto* toggle = bench.add(new ToggleButton({10, 10, 43, 21}, &bench.listener, 2, 11, nullptr, {0, 0}));
        toggle->setValue(c.start);
        toggle->setDirty(false);
        ScriptedContext context;
        context.buttons = c.buttons;
        context.points = c.points;
        toggle->onMouseDown(&context, inside);
        EXPECT_EQ(toggle->value(), c.end) << c.start;
        EXPECT_EQ(bench.listener.values, c.heard) << c.start;
        const std::vector<std::string> edits =
            c.tracked ? std::vector<std::string>{"begin 2", "end 2"} : std::vector<std::string>{};
        EXPECT_EQ(bench.editor.edits, edits);
        if (!c.heard.empty()) {
            EXPECT_EQ(toggle->lastValue(), c.end);
        }
    }
}

TEST(ValueDisplayBehaviour, DefaultFormattingHasTwoDecimalsAndMinimumWidthTwo) {
    const struct {
        float value;
        const char* text;
    } cases[] = {{0.5f, "0.50"}, {12.345f, "12.35"}, {0.0f, "0.00"}, {-1.25f, "-1.25"}, {100.0f, "100.00"}};
    for (const auto& c : cases) {
        ValueDisplay plain({0, 0, 60, 16}, nullptr, 0);
        plain.setValue(c.value);
        ValueDisplay expected({0, 0, 60, 16}, nullptr, 0);
        static const char* wanted;
        wanted = c.text;
        expected.setFormatter([](float, char* text) { std::strcpy(text, wanted); });
        ValueDisplay other({0, 0, 60, 16}, nullptr, 0);
        other.setFormatter([](float, char* text) { std::strcpy(text, "0.5"); });

        Canvas plainCanvas(64, 20, kPaper), expectedCanvas(64, 20, kPaper), otherCanvas(64, 20, kPaper);
        DrawContext plainContext(nullptr, plainCanvas.deviceContext(), nullptr);
        DrawContext expectedContext(nullptr, expectedCanvas.deviceContext(), nullptr);
        DrawContext otherContext(nullptr, otherCanvas.deviceContext(), nullptr);
        plain.draw(&plainContext);
        expected.draw(&expectedContext);
        other.draw(&otherContext);
        EXPECT_EQ(plainCanvas.pixels(), expectedCanvas.pixels()) << c.text;
        EXPECT_NE(plainCanvas.pixels(), otherCanvas.pixels()) << c.text;
        EXPECT_FALSE(plain.isDirty());
    }
}

TEST(ValueDisplayBehaviour, FormatterWithDataComesFirstAndGetsItsData) {
    ValueDisplay display({0, 0, 60, 16}, nullptr, 0);
    int calls = 0;
    display.setFormatter([](float, char* text) { std::strcpy(text, "plain"); });
    display.setFormatterWithData(
        [](float value, char* text, void* data) {
            ++*static_cast<int*>(data);
            std::snprintf(text, 256, "%.1f", static_cast<double>(value));
        },
        &calls);
    display.setValue(0.25f);
    Canvas canvas(64, 20, kPaper);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    display.draw(&context);
    EXPECT_EQ(calls, 1);
}

TEST(ValueDisplayBehaviour, NoDrawNeverPaintsAndNeverStaysDirty) {
    ValueDisplay display({0, 0, 60, 16}, nullptr, kStyleNoDraw);
    EXPECT_FALSE(display.isDirty());
    EXPECT_EQ(display.lastDrawnValue(), display.value());
    display.setValue(0.7f);
    EXPECT_TRUE(display.isDirty());
    Canvas canvas(64, 20, kPaper);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    display.draw(&context);
    EXPECT_FALSE(display.isDirty());
    EXPECT_EQ(canvas.firstColumnNot(kPaper), -1);
    ValueDisplay normal({0, 0, 60, 16}, nullptr, 0);
    EXPECT_TRUE(normal.isDirty());
}

TEST(ValueDisplayBehaviour, SettersMarkDirtyOnlyOnRealChanges) {
    ValueDisplay display({0, 0, 60, 16}, nullptr, 0);
    EXPECT_EQ(display.alignment(), kAlignCenter);
    EXPECT_EQ(display.fontId(), 3);
    EXPECT_EQ(display.fontFace(), kFaceBold);
    EXPECT_TRUE(display.textTransparent());
    EXPECT_EQ(display.tag(), 0);
    EXPECT_EQ(display.listener(), nullptr);
    const auto dirtiedBy = [&](auto change) {
        display.setDirty(false);
        change();
        return display.isDirty();
    };
    EXPECT_FALSE(dirtiedBy([&] { display.setFontId(3); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setFontId(4); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setAlignment(kAlignCenter); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setAlignment(kAlignLeft); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setStyle(0); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setStyle(kStyleShadowText); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setFontFace(kFaceBold); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setFontFace(0); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setTextColor({255, 255, 255, 7}); }));
    EXPECT_EQ(display.textColor().unused, 7) << "the fourth byte is stored";
    EXPECT_TRUE(dirtiedBy([&] { display.setTextColor({255, 255, 254, 7}); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setBackColor({0, 0, 0, 1}); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setBackColor({0, 1, 0, 1}); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setFrameColor({0, 0, 0, 9}); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setFrameColor({1, 0, 0, 9}); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setShadowColor({255, 0, 0, 3}); }));
    EXPECT_TRUE(dirtiedBy([&] { display.setShadowColor({255, 0, 1, 3}); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setFormatter(nullptr); }));
    EXPECT_FALSE(dirtiedBy([&] { display.setTextTransparent(false); }));
}

TEST(ValueDisplayPixels, BoxAndFramesWithoutAPicture) {
    const Color back{10, 20, 30, 0};
    const Color frame{200, 100, 50, 0};
    const COLORREF backRef = back.colorRef();
    const COLORREF frameRef = frame.colorRef();
    const Rect r{2, 3, 20, 12};
    for (int style : {0, int(kStyleSunkenFrame), int(kStyleRaisedFrame)}) {
        ValueDisplay display(r, nullptr, style | kStyleNoText);
        display.setBackColor(back);
        display.setFrameColor(frame);
        Canvas canvas(24, 16, kPaper);
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        display.draw(&context);
        const COLORREF first = style == kStyleRaisedFrame ? frameRef : backRef;  // left and top
        const COLORREF second = style == kStyleRaisedFrame ? backRef : frameRef; // right and bottom
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 24; ++x) {
                COLORREF expected = kPaper;
                const bool within = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
                if (style == 0) {
                    if (within) {
                        const bool outline = x == r.left || x == r.right || y == r.top || y == r.bottom;
                        expected = outline ? frameRef : backRef;
                    }
                } else {
                    if (within && x > r.left && x < r.right && y > r.top && y < r.bottom) expected = backRef;
                    if (x == r.left && y > r.top && y <= r.bottom) expected = first;
                    if (y == r.top && x >= r.left && x <= r.right) expected = first;
                    if (x == r.right && y > r.top && y <= r.bottom) expected = second;
                    if (y == r.bottom && x > r.left && x <= r.right) expected = second;
                }
                ASSERT_EQ(canvas.pixel(x, y), expected) << "style " << style << " at " << x << "," << y;
            }
        }
    }
}

TEST(ValueDisplayPixels, PictureBackgroundAndTransparentDisplays) {
    Bitmap* picture = new Bitmap(kGradientBitmap);
    ValueDisplay display({4, 4, 30, 20}, picture, kStyleNoText);
    picture->release();
    display.setBackgroundOffset({10, 12});
    Canvas canvas(40, 30, kPaper);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    display.draw(&context);
    EXPECT_EQ(canvas.pixel(4, 4), gradientColor(10, 12));
    EXPECT_EQ(canvas.pixel(29, 19), gradientColor(35, 27));
    EXPECT_EQ(canvas.pixel(30, 20), kPaper);

    ValueDisplay clear({4, 4, 30, 20}, nullptr, kStyleNoText);
    clear.setTransparent(true);
    Canvas untouched(40, 30, kPaper);
    DrawContext untouchedContext(nullptr, untouched.deviceContext(), nullptr);
    clear.draw(&untouchedContext);
    EXPECT_EQ(untouched.firstColumnNot(kPaper), -1);
}

namespace {

// The editor's value field: travel 162 to 166 (range 4), handle 11 pixels high, zoom 200.
VerticalFader* makeFader(ControlBench& bench, int style = 64) {
    Bitmap* handle = new Bitmap(kHandleBitmap);
    Bitmap* track = new Bitmap(kTrackBitmap);
    auto* fader =
        new VerticalFader({138, 162, 176, 177}, &bench.listener, 0, 162, 166, handle, track, {0, 0}, style);
    handle->release();
    track->release();
    fader->setValue(0.5f);
    return bench.add(fader);
}

float dragFader(Fader* fader, int pressRow, std::vector<int> rows) {
    ScriptedContext context;
    // The first poll of the press, one per pass (the press row, then each row), then the release.
    context.buttons.assign(rows.size() + 3, kHeld);
    context.buttons.back() = 0;
    context.points.clear();
    for (int row : rows)
        context.points.push_back({150, row});
    if (rows.empty()) context.points.push_back({150, pressRow});
    fader->onMouseDown(&context, {150, pressRow});
    return fader->value();
}

float expectedFaderValue(float start, int row) {
    // delta = 162 + 11 / 2 - 1 = 166: the row whose target is 1.0.
    const double target = 1.0 - (row - 166) / 4.0;
    const double from = start;
    return static_cast<float>(from + (target - from) / 200.0);
}

} // namespace

TEST(FaderBehaviour, ConstructionAndSetters) {
    ControlBench bench;
    VerticalFader* fader = makeFader(bench);
    EXPECT_EQ(fader->style(), 64 | kFaderVertical);
    EXPECT_EQ(fader->range(), 4);
    EXPECT_EQ(fader->handleWidth(), 38);
    EXPECT_EQ(fader->handleHeight(), 11);
    EXPECT_EQ(fader->zoom(), 200.0f);
    EXPECT_TRUE(fader->freeClick());
    EXPECT_EQ(fader->defaultValue(), 0.5f);
    EXPECT_EQ(fader->handle()->referenceCount(), 1);
    fader->setHandle(nullptr);
    EXPECT_EQ(fader->handleHeight(), 11) << "a null handle keeps the size";
    Fader bare({0, 0, 10, 10}, nullptr, 0, 0, 10, nullptr, nullptr, {0, 0}, 0);
    EXPECT_EQ(bare.handleWidth(), 1);
    EXPECT_EQ(bare.handleHeight(), 1);
    Canvas canvas(20, 20, kPaper);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    bare.draw(&context);
    EXPECT_FALSE(bare.isDirty());
    EXPECT_EQ(canvas.firstColumnNot(kPaper), -1);
}

TEST(FaderBehaviour, EightPixelsUpRaiseTheValueByOneHundredth) {
    for (int pressRow = 150; pressRow <= 190; pressRow += 5) {
        ControlBench bench;
        VerticalFader* fader = makeFader(bench);
        const float atPress = dragFader(fader, pressRow, {});
        EXPECT_EQ(atPress, expectedFaderValue(0.5f, pressRow));
        fader->setValue(0.5f);
        const float afterDrag = dragFader(fader, pressRow, {pressRow - 3, pressRow - 8});
        EXPECT_EQ(afterDrag, expectedFaderValue(0.5f, pressRow - 8));
        EXPECT_NEAR(afterDrag - atPress, 0.01f, 1e-6f);
        EXPECT_EQ(bench.listener.values.back(), afterDrag);
        EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 0", "end 0", "begin 0", "end 0"}));
        EXPECT_EQ(bench.frame.focusView(), fader) << "the fader keeps the focus after the drag";
    }
}

TEST(FaderBehaviour, ValueStaysWithinItsLimitsDuringADrag) {
    ControlBench bench;
    VerticalFader* fader = makeFader(bench);
    std::vector<int> rows;
    for (int row = 166; row > -2000; row -= 97)
        rows.push_back(row);
    for (int row = -2000; row < 3000; row += 131)
        rows.push_back(row);
    dragFader(fader, 170, rows);
    bool reachedTop = false;
    bool reachedBottom = false;
    for (float value : bench.listener.values) {
        ASSERT_GE(value, 0.0f);
        ASSERT_LE(value, 1.0f);
        reachedTop |= value == 1.0f;
        reachedBottom |= value == 0.0f;
    }
    EXPECT_TRUE(reachedTop);
    EXPECT_TRUE(reachedBottom);
    fader->setMin(0.25f);
    fader->setMax(0.75f);
    dragFader(fader, 170, {-5000});
    EXPECT_EQ(fader->value(), 0.75f);
    dragFader(fader, 170, {5000});
    EXPECT_EQ(fader->value(), 0.25f);
}

TEST(FaderBehaviour, ControlClickResetsWhileControlWithShiftDrags) {
    ControlBench bench;
    VerticalFader* fader = makeFader(bench);
    fader->setValue(0.9f);
    fader->setDirty(false);
    ScriptedContext reset;
    reset.buttons = {kReset};
    fader->onMouseDown(&reset, {150, 170});
    EXPECT_EQ(fader->value(), 0.5f);
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.5f}));
    EXPECT_TRUE(bench.editor.edits.empty());
    EXPECT_EQ(bench.frame.focusView(), nullptr);

    fader->setValue(0.9f);
    ScriptedContext drag;
    drag.buttons = {kReset | kModShift, kReset | kModShift, kModShift | kModControl};
    drag.points = {{150, 170}};
    fader->onMouseDown(&drag, {150, 166});
    EXPECT_EQ(fader->value(), expectedFaderValue(0.9f, 166));
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 0", "end 0"}));

    // Only the primary button counts during the drag: pressing Shift midway does not end it.
    ScriptedContext shift;
    shift.buttons = {kHeld, kHeld, kHeld | kModShift, 0};
    shift.points = {{150, 158}, {150, 150}};
    fader->setValue(0.5f);
    fader->onMouseDown(&shift, {150, 166});
    EXPECT_EQ(fader->value(), expectedFaderValue(0.5f, 158));
}

TEST(FaderBehaviour, WithoutFreeClickOnlyTheHandleStartsADrag) {
    for (int style : {64, 64 | 0x08, 64 | 0x20}) {
        ControlBench bench;
        VerticalFader* other = makeFader(bench, style);
        other->setFreeClick(false);
        // Value 0 at the bottom of the travel unless 0x08 or 0x20: handle top 162 + (int)(0.75 * 4) = 165,
        // or 162 + (int)(0.25 * 4) = 163.
        const bool zeroAtTop = (style & 0x28) != 0;
        other->setValue(0.25f);
        const int handleTop = zeroAtTop ? 163 : 165;
        ScriptedContext above;
        above.buttons = {kHeld, 0};
        other->onMouseDown(&above, {150, handleTop - 1});
        ScriptedContext right;
        right.buttons = {kHeld, 0};
        other->onMouseDown(&right, {138 + 39, handleTop + 2});
        EXPECT_TRUE(bench.editor.edits.empty()) << style;
        ScriptedContext edge;
        edge.buttons = {kHeld, kHeld, kHeld, 0};
        edge.points = {{150, handleTop + 11 - 8}};
        other->onMouseDown(&edge, {176, handleTop + 11});
        EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 0", "end 0"})) << style;
        // The reference row follows the press point inside the handle: delta = 162 + (press row - handle
        // top).
        const int delta = 162 + 11;
        const double target = 1.0 - (handleTop + 11 - 8 - delta) / 4.0;
        EXPECT_EQ(other->value(), static_cast<float>(0.25 + (target - 0.25) / 200.0)) << style;
    }
}
