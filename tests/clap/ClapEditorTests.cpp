// The editor of the Windows .clap files as a CLAP host meets it through the gui extension: embedded in a host
// window on the test display at its fixed size, meters moving on its own timer, a drag reaching the host as a
// gesture of value events, and the host closing the editor or the instance at awkward moments.
#include "TestHosts.h"
#include "tests/editor/EditorTestSupport.h"

#include <clap/ext/gui.h>

#include <gtest/gtest.h>

#include <memory>

namespace {
constexpr std::uint32_t kEditorWidth = 273;
constexpr std::uint32_t kEditorHeight = 354;
constexpr int kMakeupFieldLeft = 138, kMakeupFieldTop = 162, kFieldWidth = 38, kFieldHeight = 15;

void noIdle() {}

class ClapEditorTest : public testing::TestWithParam<Variant> {
  protected:
    const clap_plugin_gui_t& gui() const { return *plugin_->extension<clap_plugin_gui_t>(CLAP_EXT_GUI); }
    const clap_plugin_t* plugin() const { return plugin_->plugin(); }
    bool open() const {
        const clap_window_t parent = {CLAP_WINDOW_API_WIN32, {window_.handle()}};
        const bool opened = gui().create(plugin(), CLAP_WINDOW_API_WIN32, false) &&
                            gui().set_parent(plugin(), &parent) && gui().show(plugin());
        runHost(noIdle, 200);
        return opened;
    }
    int editorWindows() const {
        int count = 0;
        for (HWND child = GetWindow(window_.handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ++count;
        return count;
    }
    Pixels makeupField() const {
        return captureWindow(window_.editorWindow())
            .crop(kMakeupFieldLeft, kMakeupFieldTop, kFieldWidth, kFieldHeight);
    }
    // Drags the makeup field up, as the host tests of the VST 2.x editor do.
    static void dragMakeupUp() {
        runWithInput(noIdle, [] {
            input::moveTo(157, 168);
            input::press();
            for (int y = 164; y >= 140; y -= 4)
                input::moveTo(157, y);
            input::release();
        });
    }

    ClapModule module_{GetParam()};
    std::unique_ptr<ClapInstance> plugin_ = std::make_unique<ClapInstance>(module_, GetParam().pluginId);
    HostWindow window_{static_cast<int>(kEditorWidth), static_cast<int>(kEditorHeight)};
};

TEST_P(ClapEditorTest, EmbedsInAWin32WindowAtItsOneFixedSize) {
    EXPECT_TRUE(gui().is_api_supported(plugin(), CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(gui().is_api_supported(plugin(), CLAP_WINDOW_API_WIN32, true));
    EXPECT_FALSE(gui().is_api_supported(plugin(), CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui().create(plugin(), CLAP_WINDOW_API_WIN32, true));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui().get_size(plugin(), &width, &height));
    EXPECT_EQ(width, kEditorWidth);
    EXPECT_EQ(height, kEditorHeight);
    EXPECT_FALSE(gui().can_resize(plugin()));
    EXPECT_TRUE(gui().set_size(plugin(), kEditorWidth, kEditorHeight));
    EXPECT_FALSE(gui().set_size(plugin(), 400, 400));

    ASSERT_TRUE(open());
    ASSERT_NE(window_.editorWindow(), nullptr);
    RECT client{};
    GetClientRect(window_.editorWindow(), &client);
    EXPECT_EQ(client.right, static_cast<LONG>(kEditorWidth));
    EXPECT_EQ(client.bottom, static_cast<LONG>(kEditorHeight));
    ASSERT_TRUE(open()) << "a second create and set_parent";
    EXPECT_EQ(editorWindows(), 1);
    gui().destroy(plugin());
    EXPECT_EQ(window_.editorWindow(), nullptr);
}

TEST_P(ClapEditorTest, MetersMoveOnTheEditorsOwnTimerWithoutHostIdle) {
    ASSERT_TRUE(open());
    const Pixels quiet = captureWindow(window_.editorWindow());
    ChannelBuffers loud = testMaterial(GetParam().channels, 8192);
    plugin_->processBlock(loud, {});
    runHost(noIdle, 400);
    EXPECT_NE(captureWindow(window_.editorWindow()), quiet);
}

TEST_P(ClapEditorTest, HostChangesRepaintTheBoundControls) {
    ASSERT_TRUE(open());
    const Pixels before = makeupField();
    plugin_->flush({{0, 0, 0.5}});
    runHost(noIdle, 200);
    EXPECT_NE(makeupField(), before);
}

TEST_P(ClapEditorTest, ADragReachesTheHostAsOneGestureOfValues) {
    plugin_->flush({{0, 0, 0.5}});
    ASSERT_TRUE(open());
    ASSERT_EQ(plugin_->log().timers.size(), 1u) << "a timer while the editor exists";
    dragMakeupUp();
    EXPECT_GT(plugin_->log().flushRequests, 0) << "asked from the drag's idle";
    const int requests = plugin_->log().flushRequests;
    plugin_->fireTimers();
    EXPECT_EQ(plugin_->log().flushRequests, requests + 1) << "asked from the timer while edits wait";
    const std::vector<OutputEvent> sent = plugin_->flush();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(sent.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (const OutputEvent& event : sent)
        EXPECT_EQ(event.id, 0u);
    EXPECT_EQ(sent[sent.size() - 2].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_GT(sent[sent.size() - 2].value, 0.5);
    EXPECT_EQ(plugin_->value(0), sent[sent.size() - 2].value);
    EXPECT_TRUE(plugin_->flush().empty()) << "each event is sent once";
    plugin_->fireTimers();
    EXPECT_EQ(plugin_->log().flushRequests, requests + 1) << "nothing waits";
    gui().destroy(plugin());
    EXPECT_TRUE(plugin_->log().timers.empty());
}

TEST_P(ClapEditorTest, TheHostMayCloseTheEditorOrTheInstanceInTheMiddleOfADrag) {
    for (bool wholeInstance : {false, true}) {
        SCOPED_TRACE(wholeInstance ? "instance destroyed" : "editor destroyed");
        if (!plugin_) plugin_ = std::make_unique<ClapInstance>(module_, GetParam().pluginId);
        ASSERT_TRUE(open());
        bool closed = false;
        plugin_->onFlushRequest([&] {
            if (closed) return;
            closed = true;
            if (wholeInstance) {
                plugin_->destroy();
            } else {
                gui().destroy(plugin());
            }
        });
        dragMakeupUp();
        EXPECT_TRUE(closed);
        EXPECT_EQ(window_.editorWindow(), nullptr);
        if (!wholeInstance) {
            ASSERT_TRUE(open()) << "the editor opens again";
            EXPECT_NE(window_.editorWindow(), nullptr);
            plugin_->onFlushRequest(nullptr);
            plugin_.reset();
        } else {
            plugin_.reset();
        }
    }
}

TEST_P(ClapEditorTest, DestroyingTheInstanceWithTheEditorOpenClosesIt) {
    ASSERT_TRUE(open());
    plugin_->destroy();
    EXPECT_EQ(window_.editorWindow(), nullptr);
    runHost(noIdle, 100);
}

std::string buildLabel(const testing::TestParamInfo<Variant>& build) { return build.param.label; }
INSTANTIATE_TEST_SUITE_P(Build, ClapEditorTest, testing::ValuesIn(kVariants), buildLabel);
} // namespace
