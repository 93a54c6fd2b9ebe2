// The Frame: its window and window class, child list, painting, routing of presses, keys, wheel and drops,
// and its share of the thread's OLE initialisation.
#include "TestBitmaps.h"
#include "ToolkitTestSupport.h"

#include "toolkit/Bitmap.h"
#include "toolkit/Frame.h"
#include "toolkit/ModuleInstance.h"
#include "toolkit/SegmentSwitch.h"
#include "toolkit/ToggleButton.h"
#include "toolkit/VerticalFader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string expectedClassName() {
    char name[32];
    std::snprintf(name, sizeof name, "Plugin%08x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(moduleInstance())));
    return name;
}

bool classRegistered() {
    WNDCLASSA windowClass;
    return GetClassInfoA(moduleInstance(), expectedClassName().c_str(), &windowClass) != 0;
}

// Records the capacities the frame asks for and refuses from a chosen request on.
class LimitedFrame : public Frame {
  public:
    explicit LimitedFrame(int refuseFromRequest)
        : Frame({0, 0, 100, 100}, nullptr, nullptr), refuseFrom(refuseFromRequest) {}

    std::vector<int> requests;
    int refuseFrom;

  protected:
    View** resizeChildArray(View** children, int capacity) override {
        requests.push_back(capacity);
        if (static_cast<int>(requests.size()) >= refuseFrom) return nullptr;
        return Frame::resizeChildArray(children, capacity);
    }
};

// Runs body on a thread of its own, after that thread's COM set-up.
void onOwnThread(const std::function<void()>& body) { std::thread(body).join(); }

} // namespace

TEST(FrameChildren, ArrayGrowsInStepsOfTwentyAndAFailedGrowthChangesNothing) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    LimitedFrame frame(3);
    std::vector<RecordingView*> views;
    for (int i = 0; i < 40; ++i) {
        views.push_back(new RecordingView({i, 0, i + 1, 1}, "v" + std::to_string(i), &log));
        ASSERT_TRUE(frame.addChild(views.back()));
    }
    EXPECT_EQ(frame.requests, (std::vector<int>{20, 40}));
    EXPECT_EQ(frame.childCount(), 40);

    log.clear();
    auto* refused = new RecordingView({0, 0, 1, 1}, "refused", &log);
    EXPECT_FALSE(frame.addChild(refused));
    EXPECT_EQ(frame.requests, (std::vector<int>{20, 40, 60}));
    EXPECT_EQ(frame.childCount(), 40);
    EXPECT_FALSE(frame.hasChild(refused));
    EXPECT_TRUE(log.empty()) << "a refused view is not attached";
    EXPECT_EQ(refused->owningEditor(), nullptr);
    EXPECT_EQ(refused->referenceCount(), 1) << "the caller keeps its reference";
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(frame.childAt(i), views[static_cast<std::size_t>(i)]);

    frame.refuseFrom = 100;
    EXPECT_TRUE(frame.addChild(refused));
    EXPECT_EQ(frame.requests, (std::vector<int>{20, 40, 60, 60}));
    EXPECT_EQ(frame.childAt(40), refused);
    EXPECT_EQ(frame.childAt(41), nullptr);
    EXPECT_EQ(frame.childAt(-1), nullptr);
    EXPECT_FALSE(frame.addChild(nullptr));
}

TEST(FrameChildren, AChildListedTwiceIsRemovedTwice) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    Frame frame({0, 0, 100, 100}, nullptr, nullptr);
    int destroyed = 0;
    auto* a = new RecordingView({0, 0, 1, 1}, "a", &log);
    auto* twice = new RecordingView({0, 0, 1, 1}, "twice", &log, &destroyed);
    auto* b = new RecordingView({0, 0, 1, 1}, "b", &log);
    twice->retain(); // one reference for each entry
    frame.addChild(a);
    frame.addChild(twice);
    frame.addChild(b);
    frame.addChild(twice);
    log.clear();
    EXPECT_TRUE(frame.removeChild(twice, true));
    EXPECT_EQ(log, (std::vector<std::string>{"twice detached", "twice detached"}));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(frame.childCount(), 2);
    EXPECT_EQ(frame.childAt(0), a);
    EXPECT_EQ(frame.childAt(1), b);

    log.clear();
    EXPECT_TRUE(frame.removeChild(b, false));
    EXPECT_EQ(b->referenceCount(), 1) << "removed without release";
    EXPECT_EQ(frame.childCount(), 1);
    b->release();
}

TEST(FrameChildren, RemovingAllChildrenReleasesThemInOrderAfterTheFocusView) {
    std::vector<std::string> log;
    int destroyed = 0;
    Bitmap* background = new Bitmap(kGradientBitmap);
    {
        Frame frame({0, 0, 100, 100}, nullptr, nullptr);
        frame.setBackground(background);
        EXPECT_EQ(background->referenceCount(), 2);
        auto* first = new RecordingView({0, 0, 1, 1}, "first", &log, &destroyed);
        auto* second = new RecordingView({0, 0, 1, 1}, "second", &log, &destroyed);
        frame.addChild(first);
        frame.addChild(second);
        EXPECT_EQ(log, (std::vector<std::string>{"first attached", "second attached"}));
        frame.setFocusView(second);
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"second focusLost", "first detached", "second detached"}));
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(background->referenceCount(), 1);
    background->release();
}

TEST(FrameWindow, TwoFramesShareOneClassUnregisteredWithTheLastWindow) {
    HostWindow host(0, 0, 400, 400);
    ASSERT_FALSE(classRegistered());
    auto* first = new Frame({0, 0, 273, 354}, host.handle(), nullptr);
    auto* second = new Frame({0, 0, 100, 50}, host.handle(), nullptr);
    ASSERT_NE(first->window(), nullptr);
    ASSERT_NE(second->window(), nullptr);
    char name[64];
    GetClassNameA(first->window(), name, sizeof name);
    EXPECT_EQ(std::string(name), expectedClassName());
    GetClassNameA(second->window(), name, sizeof name);
    EXPECT_EQ(std::string(name), expectedClassName());
    EXPECT_EQ(GetParent(first->window()), host.handle());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(first->window(), GWL_STYLE)) & (WS_CHILD | WS_VISIBLE),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    RECT rect;
    GetClientRect(first->window(), &rect);
    EXPECT_EQ(rect.right, 273);
    EXPECT_EQ(rect.bottom, 354);
    WNDCLASSA windowClass;
    ASSERT_TRUE(GetClassInfoA(moduleInstance(), name, &windowClass));
    EXPECT_EQ(windowClass.style & CS_GLOBALCLASS, static_cast<UINT>(CS_GLOBALCLASS));
    EXPECT_EQ(windowClass.hbrBackground, GetSysColorBrush(COLOR_BTNFACE));

    delete first;
    EXPECT_TRUE(classRegistered());
    EXPECT_TRUE(IsWindow(second->window()));
    delete second;
    EXPECT_FALSE(classRegistered());
}

TEST(FrameWindow, NoParentMeansNoWindowAndAFailedWindowGivesTheClassBack) {
    {
        Frame frame({0, 0, 10, 10}, nullptr, nullptr);
        EXPECT_EQ(frame.window(), nullptr);
        EXPECT_EQ(frame.dropTarget(), nullptr);
        EXPECT_FALSE(classRegistered());
        frame.setDirty(true);
        frame.idle();
        frame.redrawView(nullptr);
    }
    HWND stale;
    {
        HostWindow host(0, 0, 10, 10);
        stale = host.handle();
    }
    Frame frame({0, 0, 10, 10}, stale, nullptr);
    EXPECT_EQ(frame.window(), nullptr);
    EXPECT_FALSE(classRegistered());
}

TEST(FrameWindow, DestroyMessageBeforeDeletionClosesTheFrame) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    auto host = std::make_unique<HostWindow>(0, 0, 200, 200);
    int destroyed = 0;
    auto* frame = new Frame({0, 0, 200, 200}, host->handle(), nullptr);
    auto* child = new CountingControl({0, 0, 10, 10}, &destroyed);
    frame->addChild(child);
    UpdateWindow(frame->window());
    ASSERT_TRUE(frame->isOpen());
    ASSERT_NE(frame->dropTarget(), nullptr);
    const int drawsBefore = child->draws;

    host->destroy();
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->parentWindow(), nullptr);
    EXPECT_EQ(frame->dropTarget(), nullptr);
    child->setValue(0.75f);
    frame->idle();
    frame->redrawView(child);
    frame->setDirty(true);
    ScriptedContext context;
    frame->updateIfDirty(&context);
    EXPECT_EQ(child->draws, drawsBefore);
    EXPECT_EQ(destroyed, 0) << "the views stay until the editor deletes the frame";
    EXPECT_TRUE(classRegistered());
    delete frame;
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(classRegistered());
}

TEST(FramePainting, IdlePaintsNothingBeforeTheFirstPaintThenOnlyDirtyViews) {
    HostWindow host(0, 0, 200, 200);
    Frame frame({0, 0, 200, 200}, host.handle(), nullptr);
    auto* first = new CountingControl({0, 0, 10, 10});
    auto* second = new CountingControl({20, 0, 30, 10});
    frame.addChild(first);
    frame.addChild(second);
    ASSERT_TRUE(frame.anyDirty());
    frame.idle();
    EXPECT_EQ(first->draws, 0);
    EXPECT_EQ(second->draws, 0);

    UpdateWindow(frame.window()); // the first paint message
    EXPECT_EQ(first->draws, 1);
    EXPECT_EQ(second->draws, 1);
    EXPECT_FALSE(frame.anyDirty());
    frame.idle();
    EXPECT_EQ(first->draws, 1);

    second->setValue(0.5f);
    frame.idle();
    EXPECT_EQ(first->draws, 1);
    EXPECT_EQ(second->draws, 2);
    frame.idle();
    EXPECT_EQ(second->draws, 2);

    frame.setDirty(true); // the frame itself dirty: everything repaints once
    frame.idle();
    EXPECT_EQ(first->draws, 2);
    EXPECT_EQ(second->draws, 3);
    EXPECT_FALSE(frame.anyDirty());
}

TEST(FramePainting, RedrawViewOfANonChildRepaintsTheWholeFrame) {
    HostWindow host(0, 0, 200, 200);
    Frame frame({0, 0, 200, 200}, host.handle(), nullptr);
    auto* first = new CountingControl({0, 0, 10, 10});
    auto* second = new CountingControl({20, 0, 30, 10});
    frame.addChild(first);
    frame.addChild(second);
    CountingControl stranger({0, 0, 10, 10});

    frame.redrawView(second);
    EXPECT_EQ(first->draws, 0);
    EXPECT_EQ(second->draws, 1);
    frame.idle();
    EXPECT_EQ(first->draws, 0) << "a child's redraw is not the frame's first paint";

    frame.redrawView(&stranger);
    EXPECT_EQ(stranger.draws, 0);
    EXPECT_EQ(first->draws, 1);
    EXPECT_EQ(second->draws, 2);
    frame.redrawView(nullptr);
    EXPECT_EQ(first->draws, 2);
    EXPECT_EQ(second->draws, 3);

    second->setValue(0.5f);
    frame.idle(); // the whole-frame redraw counted as the first paint
    EXPECT_EQ(second->draws, 4);
    second->setValue(0.25f);
    second->redraw();
    EXPECT_EQ(second->draws, 5);
    EXPECT_EQ(first->draws, 2);
}

TEST(FramePainting, DrawAreaCopiesTheBackgroundForTheRectangleAndPaintsIntersectingChildren) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    Frame frame({0, 0, 64, 48}, nullptr, nullptr);
    Bitmap* background = new Bitmap(kGradientBitmap);
    frame.setBackground(background);
    background->release();
    frame.addChild(new RecordingView({0, 0, 4, 4}, "touching", &log));
    frame.addChild(new RecordingView({40, 30, 50, 40}, "far", &log));
    frame.addChild(new RecordingView({10, 10, 12, 12}, "inside", &log));
    log.clear();
    const COLORREF paper = RGB(9, 9, 9);
    Canvas canvas(64, 48, paper);
    DrawContext context(&frame, canvas.deviceContext(), nullptr);
    frame.drawArea(&context, {4, 4, 20, 16});
    EXPECT_EQ(log, (std::vector<std::string>{"touching draw", "inside draw"}));
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool copied = x >= 4 && x < 20 && y >= 4 && y < 16;
            ASSERT_EQ(canvas.pixel(x, y), copied ? gradientColor(x, y) : paper) << x << "," << y;
        }
    }
    log.clear();
    frame.draw(&context);
    EXPECT_EQ(log, (std::vector<std::string>{"touching draw", "far draw", "inside draw"}));
    EXPECT_EQ(canvas.pixel(63, 47), gradientColor(63, 47));
}

TEST(FrameInput, APressOnASharedEdgeGoesToTheLaterChild) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    HostWindow host(0, 0, 200, 200);
    Frame frame({0, 0, 200, 200}, host.handle(), nullptr);
    auto* left = new RecordingView({10, 10, 30, 30}, "left", &log);
    auto* right = new RecordingView({30, 10, 50, 30}, "right", &log);
    auto* disabled = new RecordingView({0, 0, 200, 200}, "disabled", &log);
    frame.addChild(left);
    frame.addChild(right);
    frame.addChild(disabled);
    disabled->setInputEnabled(false);
    log.clear();
    for (UINT message : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        SendMessageA(frame.window(), message, 0, MAKELPARAM(30, 20));
        SendMessageA(frame.window(), message, 0, MAKELPARAM(29, 30));
        SendMessageA(frame.window(), message, 0, MAKELPARAM(100, 100));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"right mouseDown", "left mouseDown", "right mouseDown",
                                             "left mouseDown", "right mouseDown", "left mouseDown"}));
    EXPECT_EQ(left->lastPoint.h, 29);
    EXPECT_EQ(left->lastPoint.v, 30);

    // A later child on top of the whole of an earlier one takes every press.
    frame.removeChild(right, true);
    auto* cover = new RecordingView({10, 10, 30, 30}, "cover", &log);
    frame.addChild(cover);
    log.clear();
    SendMessageA(frame.window(), WM_LBUTTONDOWN, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(log, (std::vector<std::string>{"cover mouseDown"}));
}

TEST(FrameInput, APressClearsTheFocusViewFirst) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    HostWindow host(0, 0, 200, 200);
    Frame frame({0, 0, 200, 200}, host.handle(), nullptr);
    auto* focus = new RecordingView({100, 100, 110, 110}, "focus", &log);
    auto* target = new RecordingView({10, 10, 30, 30}, "target", &log);
    frame.addChild(focus);
    frame.addChild(target);
    frame.setFocusView(focus);
    log.clear();
    SendMessageA(frame.window(), WM_LBUTTONDOWN, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(log, (std::vector<std::string>{"focus focusLost", "target mouseDown"}));
    EXPECT_EQ(frame.focusView(), nullptr);

    // A press that hits nothing clears it as well; a new focus view ends the old one after the store.
    frame.setFocusView(target);
    frame.setFocusView(focus);
    log.clear();
    SendMessageA(frame.window(), WM_LBUTTONDOWN, 0, MAKELPARAM(150, 150));
    EXPECT_EQ(log, (std::vector<std::string>{"focus focusLost"}));
}

TEST(FrameInput, DropsGoToTheTopmostEnabledChildUnderThePoint) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    Frame frame({0, 0, 100, 100}, nullptr, nullptr);
    auto* under = new RecordingView({0, 0, 50, 50}, "under", &log);
    auto* over = new RecordingView({20, 20, 50, 50}, "over", &log);
    auto* disabled = new RecordingView({0, 0, 100, 100}, "disabled", &log);
    frame.addChild(under);
    frame.addChild(over);
    frame.addChild(disabled);
    disabled->setInputEnabled(false);
    log.clear();
    char text[] = "x";
    void* data[] = {text};
    EXPECT_FALSE(frame.dropData(data, 2, kDropKindText, {50, 50}));
    EXPECT_EQ(log, (std::vector<std::string>{"over dropData", "under dropData"}));
    over->dropAnswer = true;
    log.clear();
    EXPECT_TRUE(frame.dropData(data, 2, kDropKindText, {20, 20}));
    EXPECT_FALSE(frame.dropData(data, 2, kDropKindText, {10, 10}));
    EXPECT_FALSE(frame.dropData(data, 2, kDropKindText, {51, 10}));
    EXPECT_EQ(log, (std::vector<std::string>{"over dropData", "under dropData"}));
    frame.setFocusView(under);
    log.clear();
    EXPECT_FALSE(frame.dropData(data, 2, kDropKindText, {30, 30}));
    EXPECT_TRUE(log.empty());
}

TEST(FrameInput, WheelGoesToTheViewUnderTheCursorWithTheCursorPosition) {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    HostWindow host(100, 120, 200, 200);
    Frame frame({0, 0, 200, 200}, host.handle(), nullptr);
    auto* under = new RecordingView({0, 0, 60, 60}, "under", &log);
    auto* over = new RecordingView({40, 40, 60, 60}, "over", &log);
    frame.addChild(under);
    frame.addChild(over);
    log.clear();

    SetCursorPos(100 + 60, 120 + 60);
    Point cursor;
    EXPECT_TRUE(frame.cursorPosition(cursor));
    EXPECT_EQ(cursor.h, 60);
    EXPECT_EQ(cursor.v, 60);
    EXPECT_EQ(frame.viewUnderCursor(), over);
    over->wheelAnswer = true;
    EXPECT_TRUE(frame.wheel(nullptr, {0, 0}, -3));
    EXPECT_EQ(over->lastPoint.h, 60);
    EXPECT_EQ(over->lastPoint.v, 60);

    SetCursorPos(100 + 10, 120 + 5);
    ScriptedContext context;
    EXPECT_FALSE(frame.wheel(&context, {90, 90}, 2));
    EXPECT_EQ(under->lastPoint.h, 10);
    EXPECT_EQ(under->lastPoint.v, 5);
    SetCursorPos(100 + 150, 120 + 150);
    EXPECT_EQ(frame.viewUnderCursor(), nullptr);
    EXPECT_FALSE(frame.wheel(nullptr, {0, 0}, 1));
    EXPECT_EQ(log, (std::vector<std::string>{"over wheel -3", "under wheel 2"}));
}

TEST(FrameEditorBridge, EditsAndIdleReachTheEditor) {
    RecordingEditor editor;
    Frame frame({0, 0, 10, 10}, nullptr, &editor);
    EXPECT_EQ(frame.owningEditor(), &editor);
    EXPECT_TRUE(frame.beginParameterEdit(3));
    EXPECT_TRUE(frame.endParameterEdit(3));
    frame.pumpIdle();
    EXPECT_EQ(editor.edits, (std::vector<std::string>{"begin 3", "end 3"}));
    EXPECT_EQ(editor.idlePumps, 1);
    Frame lonely({0, 0, 10, 10}, nullptr, nullptr);
    EXPECT_FALSE(lonely.beginParameterEdit(1));
    EXPECT_FALSE(lonely.endParameterEdit(1));
    lonely.pumpIdle();
}

// A press reaches these inside the host's calls: they allocate nothing, so nothing can throw there, and an
// edit past their fixed room is refused whole, its end included, so the host still sees every begin ended
// once.
TEST(FrameEditorBridge, EditsPastTheRoomForOpenOnesAreRefusedWithTheirEnds) {
    static_assert(noexcept(std::declval<Frame&>().beginParameterEdit(0))&& noexcept(
        std::declval<Frame&>().endParameterEdit(0)));
    RecordingEditor editor;
    Frame* frame = new Frame({0, 0, 10, 10}, nullptr, &editor);
    std::vector<std::string> expected;
    for (int index = 0; index <= Frame::kMostOpenEdits; ++index) {
        EXPECT_EQ(frame->beginParameterEdit(index), index < Frame::kMostOpenEdits) << index;
        if (index < Frame::kMostOpenEdits) expected.push_back("begin " + std::to_string(index));
    }
    EXPECT_FALSE(frame->endParameterEdit(Frame::kMostOpenEdits));
    EXPECT_TRUE(frame->endParameterEdit(3));
    expected.push_back("end 3");
    frame->close();
    for (int index = Frame::kMostOpenEdits - 1; index >= 0; --index)
        if (index != 3) expected.push_back("end " + std::to_string(index));
    EXPECT_EQ(editor.edits, expected);
}

// The timer reaches the editor through the window's messages, and stops reaching it once the frame is closed.
TEST(FrameEditorBridge, TimerTicksReachTheEditorUntilTheFrameCloses) {
    HostWindow host(0, 0, 50, 50);
    RecordingEditor editor;
    Frame* frame = new Frame({0, 0, 10, 10}, host.handle(), &editor);
    frame->startTimer(10);
    for (int wait = 0; wait < 200 && editor.timerTicks < 2; ++wait) {
        Sleep(5);
        pumpMessages();
    }
    EXPECT_GE(editor.timerTicks, 2);
    frame->retain();
    frame->close();
    const int ticks = editor.timerTicks;
    Sleep(50);
    pumpMessages();
    EXPECT_EQ(editor.timerTicks, ticks);
    frame->release();
}

TEST(FrameEditorBridge, ADragTheHostClosesStopsAndTheFrameGoesWhenThePressReturns) {
    Bitmap* strip = new Bitmap(kSwitch5Bitmap);
    const std::function<Control*(ControlListener*)> makers[] = {
        [](ControlListener* listener) {
            return new ToggleButton({10, 10, 43, 21}, listener, 2, 11, nullptr, {0, 0});
        },
        [strip](ControlListener* listener) {
            return new SegmentSwitch({10, 10, 191, 21}, listener, 4, 5, 11, 5, strip, {0, 0});
        },
        [](ControlListener* listener) {
            return new VerticalFader({10, 10, 48, 25}, listener, 0, 10, 14, nullptr, nullptr, {0, 0}, 64);
        },
    };
    for (const auto& make : makers) {
        RecordingEditor editor;
        RecordingListener listener;
        std::vector<std::string> log;
        int destroyed = 0;
        Frame* frame = new Frame({0, 0, 300, 300}, nullptr, &editor);
        // Its host closes the editor from the second idle of the drag.
        editor.onIdle = [&] {
            if (editor.idlePumps == 2) frame->close();
        };
        frame->addChild(new RecordingView({0, 0, 1, 1}, "witness", &log, &destroyed));
        Control* control = make(&listener);
        frame->addChild(control);
        control->setDirty(false);
        // The press handler's reference.
        frame->retain();

        ScriptedContext context;
        context.buttons.assign(40, kButtonPrimary);
        context.buttons.push_back(0);
        for (int step = 0; step < 40; ++step)
            context.points.push_back({10 + 36 * (step % 5), 30 - step});
        control->onMouseDown(&context, {12, 12});

        EXPECT_LE(context.buttonQueries, 3) << "the drag went on after the close";
        const std::string tag = std::to_string(control->tag());
        EXPECT_EQ(editor.edits, (std::vector<std::string>{"begin " + tag, "end " + tag}));
        EXPECT_EQ(destroyed, 0) << "the frame went while the press was still handled";
        frame->release();
        EXPECT_EQ(destroyed, 1);
    }
    strip->release();
}

TEST(FrameOle, InAMultithreadedApartmentTheFrameLeavesTheHostsComAlone) {
    onOwnThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            HostWindow host(0, 0, 50, 50);
            Frame frame({0, 0, 50, 50}, host.handle(), nullptr);
            ASSERT_NE(frame.window(), nullptr);
            EXPECT_EQ(frame.dropTarget(), nullptr) << "no drop target without OLE";
        }
        // Still initialised once by this thread: the frame did not take the host's initialisation away.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
}

TEST(FrameOle, TheFrameBalancesItsOwnInitialisation) {
    onOwnThread([] {
        {
            HostWindow host(0, 0, 50, 50);
            Frame frame({0, 0, 50, 50}, host.handle(), nullptr);
            EXPECT_NE(frame.dropTarget(), nullptr);
            EXPECT_EQ(RegisterDragDrop(frame.window(), frame.dropTarget()), DRAGDROP_E_ALREADYREGISTERED);
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "nothing left initialised";
        CoUninitialize();
    });
    onOwnThread([] {
        // An editor base that initialised OLE first keeps its own initialisation after the frame is gone.
        ASSERT_EQ(OleInitialize(nullptr), S_OK);
        {
            HostWindow host(0, 0, 50, 50);
            Frame frame({0, 0, 50, 50}, host.handle(), nullptr);
            EXPECT_NE(frame.dropTarget(), nullptr);
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        OleUninitialize();
    });
}
