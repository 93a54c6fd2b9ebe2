// The editor as a host meets it: the real plug-in libraries loaded with LoadLibrary, the editor opened in a
// host window on the test display, worked with synthesized mouse input, and read back as window pixels.
#include "EditorTestSupport.h"

#include "vst2/VstInterface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using PluginMain = AEffect*(QV3_VSTCALL*)(audioMasterCallback host);

struct Build {
    const char* label;
    const char* fileName;
    int decorativeTag;
};

const Build kBuilds[] = {{"Stereo", "Orvanta_QV3.dll", 12}, {"Mono", "Orvanta_QV3mono.dll", 10}};

constexpr int kEditorWidth = 273;
constexpr int kEditorHeight = 354;

struct HostCall {
    std::int32_t opcode;
    std::int32_t index;
    float opt;
};

std::vector<HostCall> hostCalls;

// A host that closes the editor (effEditClose) or the effect (effClose) from its idle once a drag has changed
// a value; closedAt is the number of calls it had heard when the close returned.
std::int32_t closeFromIdle = 0;
std::size_t closedAt = 0;
AEffect** hostedEffect = nullptr;

std::vector<HostCall> callsOf(std::int32_t opcode) {
    std::vector<HostCall> found;
    for (const HostCall& call : hostCalls)
        if (call.opcode == opcode) found.push_back(call);
    return found;
}

VstIntPtr QV3_VSTCALL recordingHost(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr,
                                    void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit)
        hostCalls.push_back({opcode, index, opt});
    // An end carries the value the host reads back when it hears it.
    if (opcode == audioMasterEndEdit)
        hostCalls.push_back({opcode, index, effect->getParameter(effect, index)});
    if (opcode == audioMasterIdle && closeFromIdle && !callsOf(audioMasterAutomate).empty()) {
        const std::int32_t closer = closeFromIdle;
        closeFromIdle = 0;
        effect->dispatcher(effect, closer, 0, 0, nullptr, 0.0f);
        closedAt = hostCalls.size();
        if (closer == effClose) *hostedEffect = nullptr;
    }
    return 0;
}

std::string programFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// A picture band of a switch or toggle: band k of a resource whose bands are bandHeight high.
struct ViewPlace {
    int left;
    int top;
    int bitmapId;
    int bandHeight;
};

constexpr ViewPlace kReleaseToggle{141, 240, 10007, 11};
constexpr ViewPlace kHelp1{86, 161, 10010, 50};
constexpr ViewPlace kHelp2{86, 239, 10011, 60};
constexpr ViewPlace kMonitorSwitch{89, 31, 10006, 25};
constexpr ViewPlace kClipSwitch{65, 110, 10008, 11};
constexpr ViewPlace kCredit{154, 326, 10012, 27};

struct Field {
    int left;
    int top;
};
constexpr Field kReleaseField{138, 261};
constexpr Field kMakeupField{138, 162};
constexpr Field kCeilingField{138, 191};
constexpr int kFieldWidth = 38;
constexpr int kFieldHeight = 15;

class EditorHost : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        hostCalls.clear();
        hostedEffect = &effect_;
        library_ = LoadLibraryA((programFolder() + GetParam().fileName).c_str());
        ASSERT_NE(library_, nullptr);
        entry_ = reinterpret_cast<PluginMain>(reinterpret_cast<void*>(GetProcAddress(library_, "main")));
        ASSERT_NE(entry_, nullptr);
        effect_ = entry_(recordingHost);
        ASSERT_NE(effect_, nullptr);
        dispatch(effOpen);
    }

    void TearDown() override {
        if (effect_) {
            dispatch(effEditClose);
            dispatch(effClose);
        }
        window_.reset();
        if (library_) FreeLibrary(library_);
    }

    VstIntPtr dispatch(std::int32_t opcode, VstIntPtr value = 0, void* ptr = nullptr) {
        return effect_->dispatcher(effect_, opcode, 0, value, ptr, 0.0f);
    }
    void set(int index, float value) { effect_->setParameter(effect_, index, value); }
    float get(int index) { return effect_->getParameter(effect_, index); }
    void idle() {
        if (effect_) dispatch(effEditIdle);
    }

    void openEditor() {
        if (!window_) window_ = std::make_unique<HostWindow>(kEditorWidth, kEditorHeight);
        ASSERT_EQ(dispatch(effEditOpen, 0, window_->handle()), 1);
        runHost([this] { idle(); }, 300);
    }
    void userDoes(const std::function<void()>& script) {
        runWithInput([this] { idle(); }, script);
    }
    Pixels capture() { return captureWindow(window_->editorWindow()); }
    Pixels bitmap(int id) { return loadBitmapPixels(library_, id); }
    Pixels band(const ViewPlace& place, int index) {
        const Pixels picture = bitmap(place.bitmapId);
        return picture.crop(0, index * place.bandHeight, picture.width, place.bandHeight);
    }
    Pixels shown(const Pixels& editor, const ViewPlace& place) {
        return editor.crop(place.left, place.top, bitmap(place.bitmapId).width, place.bandHeight);
    }
    static Pixels field(const Pixels& editor, const Field& place) {
        return editor.crop(place.left, place.top, kFieldWidth, kFieldHeight);
    }
    // Drags the makeup field up while the host closes with closer from its idle. Then: one end for the one
    // begin, heard before the close returned with the last value automated, and nothing of the drag after it;
    // the frame window is gone and the cursor the drag hid is back.
    void dragEndsWhenTheHostCloses(std::int32_t closer) {
        set(0, 0.5f);
        openEditor();
        hostCalls.clear();
        closedAt = 0;
        closeFromIdle = closer;
        userDoes([] {
            input::moveTo(157, 168);
            input::press();
            for (int y = 164; y >= 140; y -= 4)
                input::moveTo(157, y);
            input::release();
        });
        closeFromIdle = 0;
        ASSERT_GT(closedAt, 0u) << "the host never closed";
        const std::vector<HostCall> ends = callsOf(audioMasterEndEdit);
        ASSERT_EQ(callsOf(audioMasterBeginEdit).size(), 1u);
        ASSERT_EQ(ends.size(), 1u);
        expectAnEditOf(0);
        EXPECT_EQ(hostCalls.size(), closedAt) << "the drag went on after the close";
        EXPECT_GT(ends[0].opt, 0.5f);
        EXPECT_EQ(ends[0].opt, callsOf(audioMasterAutomate).back().opt);
        EXPECT_EQ(window_->editorWindow(), nullptr);
        CURSORINFO cursor{};
        cursor.cbSize = sizeof cursor;
        GetCursorInfo(&cursor);
        EXPECT_TRUE(cursor.flags & CURSOR_SHOWING);
    }

    // The calls heard since the last clear open with a begin of `index` and close with its end.
    void expectAnEditOf(std::int32_t index) {
        ASSERT_GE(hostCalls.size(), 2u);
        EXPECT_EQ(hostCalls.front().opcode, audioMasterBeginEdit);
        EXPECT_EQ(hostCalls.front().index, index);
        EXPECT_EQ(hostCalls.back().opcode, audioMasterEndEdit);
        EXPECT_EQ(hostCalls.back().index, index);
    }

    HMODULE library_ = nullptr;
    PluginMain entry_ = nullptr;
    AEffect* effect_ = nullptr;
    std::unique_ptr<HostWindow> window_;
};

TEST_P(EditorHost, ReportsItsEditorAndItsRectangleBeforeOpening) {
    EXPECT_EQ(effect_->flags, 0x19);
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effEditGetRect, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 354);
    EXPECT_EQ(rect->right, 273);
}

TEST_P(EditorHost, OpenShowsTheWholeSkinWithEveryViewInPlace) {
    openEditor();
    const Pixels editor = capture();
    ASSERT_EQ(editor.width, kEditorWidth);
    ASSERT_EQ(editor.height, kEditorHeight);

    // Everything but the three value fields' text is predictable from the pictures and the default program.
    Pixels expected = bitmap(10001);
    ASSERT_EQ(expected.width, kEditorWidth);
    const auto paste = [&expected](const Pixels& picture, int left, int top) {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                expected.rgb[static_cast<std::size_t>((top + y) * expected.width + left + x)] =
                    picture.at(x, y);
    };
    const bool stereo = std::string(GetParam().label) == "Stereo";
    const Pixels well = bitmap(10009);
    const std::vector<int> wellLefts =
        stereo ? std::vector<int>{38, 64, 204, 230} : std::vector<int>{47, 213};
    for (int left : wellLefts)
        paste(well, left, 162);
    // A stopped signal path publishes no reduction: the marker box sits at columns 124 to 126.
    Pixels scale = bitmap(10002);
    for (int y = 0; y <= 12; ++y) {
        const bool edgeRow = y == 0 || y == 12;
        scale.rgb[static_cast<std::size_t>(y * scale.width + 124)] = rgbOf(255, 0, 102);
        scale.rgb[static_cast<std::size_t>(y * scale.width + 125)] =
            edgeRow ? rgbOf(255, 0, 102) : rgbOf(196, 0, 79);
        scale.rgb[static_cast<std::size_t>(y * scale.width + 126)] = rgbOf(255, 0, 102);
    }
    paste(scale, 118, 72);
    paste(band(kReleaseToggle, get(2) == 0.0f ? 0 : 1), kReleaseToggle.left, kReleaseToggle.top);
    paste(band(kHelp1, 0), kHelp1.left, kHelp1.top);
    paste(band(kHelp2, 0), kHelp2.left, kHelp2.top);
    paste(band(kMonitorSwitch, static_cast<int>(get(5) + 0.5f)), kMonitorSwitch.left, kMonitorSwitch.top);
    paste(band(kClipSwitch, static_cast<int>(4 * get(4) + 0.5f)), kClipSwitch.left, kClipSwitch.top);
    paste(band(kCredit, 0), kCredit.left, kCredit.top);
    const Pixels display = bitmap(10003);
    for (const Field& place : {kReleaseField, kMakeupField, kCeilingField})
        paste(display, place.left, place.top);

    int mismatches = 0;
    for (int y = 0; y < kEditorHeight; ++y) {
        for (int x = 0; x < kEditorWidth; ++x) {
            bool insideText = false;
            for (const Field& place : {kReleaseField, kMakeupField, kCeilingField})
                insideText |= x > place.left && x < place.left + kFieldWidth - 1 && y > place.top &&
                              y < place.top + kFieldHeight - 1;
            if (!insideText && editor.at(x, y) != expected.at(x, y)) ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
    // Each field shows text over its box.
    for (const Field& place : {kReleaseField, kMakeupField, kCeilingField})
        EXPECT_NE(field(editor, place), display);
}

TEST_P(EditorHost, DraggingTheMakeupFieldUpEightPixelsRaisesItByOneHundredth) {
    set(0, 0.5f);
    openEditor();
    hostCalls.clear();
    // Pressed where the fader's target equals the value, the press itself moves nothing.
    userDoes([] {
        input::moveTo(157, 168);
        input::press();
        input::moveTo(157, 164);
        input::moveTo(157, 160);
        input::release();
    });
    EXPECT_FLOAT_EQ(get(0), 0.51f);
    expectAnEditOf(0);
    const std::vector<HostCall> automated = callsOf(audioMasterAutomate);
    ASSERT_FALSE(automated.empty());
    for (const HostCall& call : automated)
        EXPECT_EQ(call.index, 0);
    EXPECT_FLOAT_EQ(automated.back().opt, 0.51f);
    // The cursor comes back where the drag began.
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 157);
    EXPECT_EQ(cursor.y, 168);
}

TEST_P(EditorHost, ControlClickOnTheMakeupFieldSetsTheMiddleValue) {
    set(0, 0.0f);
    openEditor();
    const Pixels before = field(capture(), kMakeupField);
    hostCalls.clear();
    userDoes([] { input::controlClick(150, 170); });
    EXPECT_EQ(get(0), 0.5f);
    ASSERT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(hostCalls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(hostCalls[0].index, 0);
    EXPECT_EQ(hostCalls[0].opt, 0.5f);
    const Pixels after = field(capture(), kMakeupField);
    EXPECT_NE(after, before);

    // The host setting the same value shows the same text ("24.0").
    set(0, 0.0f);
    EXPECT_EQ(field(capture(), kMakeupField), before);
    set(0, 0.5f);
    EXPECT_EQ(field(capture(), kMakeupField), after);
}

TEST_P(EditorHost, ClipAndMonitorSwitchesFollowThePressedSegment) {
    openEditor();
    for (int segment : {0, 4, 1, 3, 2}) {
        hostCalls.clear();
        const int x = kClipSwitch.left + static_cast<int>(36.2 * segment + 18);
        userDoes([x] { input::click(x, 115); });
        EXPECT_EQ(get(4), static_cast<float>(segment) / 4.0f) << "segment " << segment;
        EXPECT_EQ(shown(capture(), kClipSwitch), band(kClipSwitch, segment));
        expectAnEditOf(4);
    }
    for (int position : {1, 0}) {
        const int x = kMonitorSwitch.left + 40 + 80 * position;
        userDoes([x] { input::click(x, 43); });
        EXPECT_EQ(get(5), static_cast<float>(position));
        EXPECT_EQ(shown(capture(), kMonitorSwitch), band(kMonitorSwitch, position));
    }
    userDoes([] { input::click(200, 43); });
    ASSERT_EQ(get(5), 1.0f);
    userDoes([] { input::controlClick(200, 43); });
    EXPECT_EQ(get(5), 0.0f) << "Control-click resets the switch to its default";
}

TEST_P(EditorHost, ReleaseModeToggleSwitchesModeAndReleaseUnit) {
    set(2, 0.0f);
    openEditor();
    const Pixels autoText = field(capture(), kReleaseField);
    hostCalls.clear();
    userDoes([] { input::click(157, 245); });
    EXPECT_EQ(get(2), 1.0f);
    const Pixels editor = capture();
    EXPECT_EQ(shown(editor, kReleaseToggle), band(kReleaseToggle, 1));
    EXPECT_NE(field(editor, kReleaseField), autoText);
    ASSERT_EQ(callsOf(audioMasterAutomate).size(), 1u);
    EXPECT_EQ(callsOf(audioMasterAutomate)[0].index, 2);
    EXPECT_EQ(callsOf(audioMasterAutomate)[0].opt, 1.0f);

    userDoes([] { input::click(157, 245); });
    EXPECT_EQ(get(2), 0.0f);
    EXPECT_EQ(shown(capture(), kReleaseToggle), band(kReleaseToggle, 0));
    EXPECT_EQ(field(capture(), kReleaseField), autoText);
}

TEST_P(EditorHost, DecorativeTogglesSwapPicturesAndNeverReachTheEffect) {
    openEditor();
    std::vector<float> before;
    for (int index = 0; index < 6; ++index)
        before.push_back(get(index));
    hostCalls.clear();
    userDoes([] {
        input::click(110, 185);
        input::click(110, 270);
        input::click(210, 340);
    });
    const Pixels editor = capture();
    EXPECT_EQ(shown(editor, kHelp1), band(kHelp1, 1));
    EXPECT_EQ(shown(editor, kHelp2), band(kHelp2, 1));
    EXPECT_EQ(shown(editor, kCredit), band(kCredit, 1));
    for (int index = 0; index < 6; ++index)
        EXPECT_EQ(get(index), before[static_cast<std::size_t>(index)]);
    EXPECT_TRUE(callsOf(audioMasterAutomate).empty());
    // A held press brackets with the toggles' own tag, which names no parameter.
    for (const HostCall& call : hostCalls)
        EXPECT_EQ(call.index, GetParam().decorativeTag);
}

TEST_P(EditorHost, HostAutomationRepaintsTheBoundControlsAtOnce) {
    openEditor();
    set(5, 1.0f);
    set(4, 0.25f);
    set(2, 1.0f);
    // No idle and no message in between: the views painted themselves.
    const Pixels editor = capture();
    EXPECT_EQ(shown(editor, kMonitorSwitch), band(kMonitorSwitch, 1));
    EXPECT_EQ(shown(editor, kClipSwitch), band(kClipSwitch, 1));
    EXPECT_EQ(shown(editor, kReleaseToggle), band(kReleaseToggle, 1));
}

TEST_P(EditorHost, ReleaseSwitchAtExactlyOneHalfShowsMilliseconds) {
    set(2, 0.0f);
    set(3, 0.4f);
    openEditor();
    const Pixels percent = field(capture(), kReleaseField);
    // At exactly 0.5 the effect still holds the automatic release value; the display shows it as a time.
    set(2, 0.5f);
    const Pixels atHalf = field(capture(), kReleaseField);
    EXPECT_NE(atHalf, percent);
    set(2, 0.0f);
    EXPECT_EQ(field(capture(), kReleaseField), percent);
}

TEST_P(EditorHost, ProgramChangeShowsWhatAFreshlyOpenedEditorShows) {
    openEditor();
    for (VstIntPtr program : {5, 17, 30, 0}) {
        dispatch(effSetProgram, program);
        const Pixels changed = capture();
        dispatch(effEditClose);
        openEditor();
        EXPECT_EQ(capture(), changed) << "program " << program;
    }
}

TEST_P(EditorHost, SecondOpenReplacesTheOpenWindow) {
    openEditor();
    ASSERT_EQ(dispatch(effEditOpen, 0, window_->handle()), 1);
    runHost([this] { idle(); }, 100);
    int frames = 0;
    for (HWND child = GetWindow(window_->handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ++frames;
    EXPECT_EQ(frames, 1);
}

TEST_P(EditorHost, ManyOpenCloseCyclesAndInstancesLeaveNothingBehind) {
    window_ = std::make_unique<HostWindow>(kEditorWidth, kEditorHeight);
    const auto cycle = [this] {
        dispatch(effEditOpen, 0, window_->handle());
        pumpMessages();
        idle();
        dispatch(effEditClose);
    };
    // Warm up: the first cycles create the module's lasting state (window class, fonts, caches).
    for (int i = 0; i < 20; ++i)
        cycle();
    const ResourceUse start = resourceUse();
    for (int i = 0; i < 500; ++i)
        cycle();
    for (int i = 0; i < 100; ++i) {
        AEffect* other = entry_(recordingHost);
        ASSERT_NE(other, nullptr);
        other->dispatcher(other, effOpen, 0, 0, nullptr, 0.0f);
        other->dispatcher(other, effEditOpen, 0, 0, window_->handle(), 0.0f);
        pumpMessages();
        other->dispatcher(other, effEditIdle, 0, 0, nullptr, 0.0f);
        other->dispatcher(other, effEditClose, 0, 0, nullptr, 0.0f);
        other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f);
    }
    const ResourceUse end = resourceUse();
    EXPECT_LE(end.gdiObjects, start.gdiObjects);
    EXPECT_LE(end.userObjects, start.userObjects);
    // Heap pages may come and go; one leaked set of views and pictures per cycle would be megabytes.
    EXPECT_LT(end.committedBytes, start.committedBytes + 256 * 1024)
        << start.committedBytes << " -> " << end.committedBytes;
}

TEST_P(EditorHost, ClosingTheEditorFromTheHostsIdleEndsTheDragInProgress) {
    dragEndsWhenTheHostCloses(effEditClose);
    EXPECT_EQ(get(0), callsOf(audioMasterEndEdit)[0].opt);
    openEditor();
    EXPECT_NE(window_->editorWindow(), nullptr) << "the editor opens again";
}

TEST_P(EditorHost, ClosingTheEffectFromTheHostsIdleEndsTheDragInProgress) {
    dragEndsWhenTheHostCloses(effClose);
    EXPECT_EQ(effect_, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Builds, EditorHost, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build>& build) {
                             return std::string(build.param.label);
                         });

} // namespace
