// Controls driven end to end by real synthesized input: a second thread moves the cursor and presses and
// releases the button with SendInput while the control polls buttons and cursor in its drag loop.
#include "TestBitmaps.h"
#include "ToolkitTestSupport.h"

#include "toolkit/Bitmap.h"
#include "toolkit/Frame.h"
#include "toolkit/SegmentSwitch.h"
#include "toolkit/ToggleButton.h"
#include "toolkit/VerticalFader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kHostLeft = 150;
constexpr int kHostTop = 100;

void sendMouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

void sendKey(WORD key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

// Places the cursor on a frame point both ways the system offers (the call and an absolute input event).
void moveTo(const Point& framePoint) {
    const int x = kHostLeft + framePoint.h;
    const int y = kHostTop + framePoint.v;
    SetCursorPos(x, y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = (y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
    Sleep(40);
}

// The host's user-interface thread keeps dispatching while a second thread plays the user's hand: press at
// the first point, wait until the control has begun its edit (it is inside its polling loop), visit the other
// points, release.
//
// One gesture per process: under Wine 8 with Xvfb, the second synthesized press of a process reaches the
// window while GetAsyncKeyState on the window's thread still reads the button as up (the sending thread reads
// it down). The first press of a process is always seen correctly, so CTest runs each of these tests in a
// program run of its own (tests/toolkit/CMakeLists.txt).
struct InputBench {
    RecordingEditor editor;
    RecordingListener listener;
    std::vector<std::string> log;
    HostWindow host{kHostLeft, kHostTop, 320, 240};
    Frame frame{{0, 0, 320, 240}, host.handle(), &editor};

    void play(const std::vector<Point>& path, bool withControl = false) {
        std::atomic<bool> done{false};
        std::thread hand([&] {
            moveTo(path.front());
            if (withControl) sendKey(VK_CONTROL, true);
            sendMouse(MOUSEEVENTF_LEFTDOWN);
            if (!withControl) WaitForSingleObject(editor.editBegun, 5000);
            Sleep(40);
            for (std::size_t i = 1; i < path.size(); ++i)
                moveTo(path[i]);
            sendMouse(MOUSEEVENTF_LEFTUP);
            if (withControl) sendKey(VK_CONTROL, false);
            Sleep(40);
            done = true;
        });
        const DWORD start = GetTickCount();
        while (!done && GetTickCount() - start < 10000) {
            pumpMessages();
            Sleep(2);
        }
        hand.join();
        pumpMessages();
    }
};

} // namespace

namespace {

ToggleButton* addToggle(InputBench& bench, float value) {
    Bitmap* strip = new Bitmap(kToggleBitmap);
    auto* toggle = new ToggleButton({100, 50, 133, 61}, &bench.listener, 2, 11, strip, {0, 0});
    strip->release();
    bench.frame.addChild(toggle);
    toggle->setValue(value);
    toggle->setDirty(false);
    return toggle;
}

} // namespace

TEST(RealMouseInput, ToggleReleasedInsideFlips) {
    InputBench bench;
    ToggleButton* toggle = addToggle(bench, 0.0f);
    bench.play({{110, 55}, {160, 90}, {133, 61}});
    EXPECT_EQ(toggle->value(), 1.0f);
    EXPECT_EQ(bench.listener.values, (std::vector<float>{1.0f, 0.0f, 1.0f}));
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 2", "end 2"}));
    EXPECT_GT(bench.editor.idlePumps, 5);
}

TEST(RealMouseInput, ToggleReleasedOutsideKeepsItsValue) {
    InputBench bench;
    ToggleButton* toggle = addToggle(bench, 1.0f);
    bench.play({{130, 60}, {134, 60}});
    EXPECT_EQ(toggle->value(), 1.0f);
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.0f, 1.0f}));
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 2", "end 2"}));
}

namespace {

SegmentSwitch* addSwitch(InputBench& bench, float value) {
    Bitmap* strip = new Bitmap(kSwitch5Bitmap);
    auto* control = new SegmentSwitch({20, 100, 201, 111}, &bench.listener, 4, 5, 11, 5, strip, {0, 0});
    strip->release();
    bench.frame.addChild(control);
    control->setValue(value);
    control->setDirty(false);
    return control;
}

} // namespace

TEST(RealMouseInput, SwitchFollowsTheCursor) {
    InputBench bench;
    SegmentSwitch* control = addSwitch(bench, 0.0f);
    bench.play({{20 + 40, 105}, {20 + 150, 200}, {20 + 80, 106}});
    EXPECT_EQ(control->value(), 0.5f);
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.25f, 1.0f, 0.5f}));
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 4", "end 4"}));
}

TEST(RealMouseInput, SwitchControlClickRestoresTheDefault) {
    InputBench bench;
    SegmentSwitch* control = addSwitch(bench, 0.75f);
    bench.play({{20 + 170, 105}}, true);
    EXPECT_EQ(control->value(), 0.0f);
    EXPECT_EQ(bench.listener.values, (std::vector<float>{0.0f}));
    EXPECT_TRUE(bench.editor.edits.empty());
}

TEST(RealMouseInput, FaderDragsWithTheCursorHiddenAndPutsItBack) {
    InputBench bench;
    Bitmap* handle = new Bitmap(kHandleBitmap);
    Bitmap* track = new Bitmap(kTrackBitmap);
    auto* fader =
        new VerticalFader({138, 162, 176, 177}, &bench.listener, 3, 162, 166, handle, track, {0, 0}, 64);
    handle->release();
    track->release();
    fader->setValue(0.5f);
    bench.frame.addChild(fader);
    fader->setDirty(false);

    bench.play({{150, 170}, {150, 166}, {150, 162}});
    // delta = 166; the last row seen, 8 pixels above the press, gives 0.5 + (2 - 0.5) / 200.
    const float atPress = static_cast<float>(0.5 + (0.0 - 0.5) / 200.0);
    const float expected = static_cast<float>(0.5 + (2.0 - 0.5) / 200.0);
    EXPECT_EQ(bench.listener.values.front(), atPress);
    EXPECT_EQ(fader->value(), expected);
    EXPECT_NEAR(fader->value() - atPress, 0.01f, 1e-6f);
    EXPECT_EQ(bench.editor.edits, (std::vector<std::string>{"begin 3", "end 3"}));
    EXPECT_EQ(bench.frame.focusView(), fader);
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, kHostLeft + 150) << "the cursor returns to where the press began";
    EXPECT_EQ(cursor.y, kHostTop + 170);
    CURSORINFO info{};
    info.cbSize = sizeof info;
    GetCursorInfo(&info);
    EXPECT_TRUE(info.flags & CURSOR_SHOWING);
}
