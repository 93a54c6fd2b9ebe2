// The editor as the VST3 plug view, as Windows hosts use it: an HWND child at the fixed size, opened, closed
// and reopened; closed by the host in the middle of a drag; and the effect released while its view is still
// open.
#include "Vst3Host.h"
#include "tests/editor/EditorTestSupport.h"

#include <travesty/view.h>

#include <gtest/gtest.h>

#include <memory>

namespace {
constexpr int kEditorWidth = 273;
constexpr int kEditorHeight = 354;
constexpr UINT kCloseView = WM_APP + 1;

// The host's own window procedure: the close request another thread posts reaches it through whatever loop
// pumps this thread's messages, the editor's drag loop included.
v3_plugin_view** viewToClose = nullptr;
LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCloseView && viewToClose) {
        v3_cpp_obj(viewToClose)->removed(viewToClose);
        viewToClose = nullptr;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class Vst3View : public testing::TestWithParam<Variant> {
  protected:
    void SetUp() override {
        module_ = std::make_unique<Vst3Module>(GetParam());
        effect_ = std::make_unique<Vst3Instance>(*module_);
        window_ = std::make_unique<HostWindow>(kEditorWidth, kEditorHeight);
    }
    void TearDown() override {
        effect_.reset();
        window_.reset();
    }
    v3_plugin_view** createView(const char* type) const {
        return v3_cpp_obj(effect_->controller())->create_view(effect_->controller(), type);
    }

    std::unique_ptr<Vst3Module> module_;
    std::unique_ptr<Vst3Instance> effect_;
    std::unique_ptr<HostWindow> window_;
};

TEST_P(Vst3View, OpensClosesAndReopensInTheHostsWindowAtItsFixedSize) {
    EXPECT_EQ(createView("X11EmbedWindowID"), nullptr);
    v3_plugin_view** view = createView(V3_VIEW_PLATFORM_TYPE_HWND);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(v3_cpp_obj(view)->is_platform_type_supported(view, "NSView"), V3_FALSE);
    EXPECT_EQ(v3_cpp_obj(view)->can_resize(view), V3_FALSE);
    v3_view_rect size{};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, kEditorWidth);
    EXPECT_EQ(size.bottom - size.top, kEditorHeight);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(v3_cpp_obj(view)->attached(view, window_->handle(), V3_VIEW_PLATFORM_TYPE_HWND), V3_OK);
        runHost([] {}, 200);
        EXPECT_NE(window_->editorWindow(), nullptr);
        ASSERT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
        EXPECT_EQ(window_->editorWindow(), nullptr);
    }
    v3_cpp_obj_unref(view);
}

TEST_P(Vst3View, ADragEndsWhenTheHostClosesTheView) {
    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = hostProcedure;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = "qv3 vst3 host messages";
    RegisterClassA(&hostClass);
    HWND messages = CreateWindowA(hostClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  hostClass.hInstance, nullptr);
    ASSERT_NE(messages, nullptr);
    v3_plugin_view** view = createView(V3_VIEW_PLATFORM_TYPE_HWND);
    ASSERT_EQ(v3_cpp_obj(view)->attached(view, window_->handle(), V3_VIEW_PLATFORM_TYPE_HWND), V3_OK);
    runHost([] {}, 300);
    effect_->set(0, 0.5);
    viewToClose = view;
    runWithInput([] {},
                 [messages] {
                     input::moveTo(157, 168);
                     input::press();
                     for (int y = 164; y >= 140; y -= 4) {
                         input::moveTo(157, y);
                         if (y == 152) PostMessageA(messages, kCloseView, 0, 0);
                     }
                     input::release();
                 });
    EXPECT_EQ(viewToClose, nullptr) << "the host never closed";
    EXPECT_EQ(window_->editorWindow(), nullptr);
    EXPECT_EQ(effect_->log().begins, 1);
    EXPECT_EQ(effect_->log().ends, 1);
    EXPECT_GT(effect_->log().lastPerformed, 0.5);
    EXPECT_EQ(effect_->value(0), effect_->log().lastPerformed);
    // The same view opens again afterwards.
    ASSERT_EQ(v3_cpp_obj(view)->attached(view, window_->handle(), V3_VIEW_PLATFORM_TYPE_HWND), V3_OK);
    runHost([] {}, 200);
    EXPECT_NE(window_->editorWindow(), nullptr);
    v3_cpp_obj(view)->removed(view);
    v3_cpp_obj_unref(view);
    DestroyWindow(messages);
}

TEST_P(Vst3View, TheEffectMayGoFirstWhileItsViewIsOpen) {
    v3_plugin_view** view = createView(V3_VIEW_PLATFORM_TYPE_HWND);
    ASSERT_EQ(v3_cpp_obj(view)->attached(view, window_->handle(), V3_VIEW_PLATFORM_TYPE_HWND), V3_OK);
    effect_->set(1, 0.25);
    effect_.reset();
    runHost([] {}, 300);
    EXPECT_NE(window_->editorWindow(), nullptr) << "the view keeps the effect";
    v3_cpp_obj(view)->removed(view);
    v3_cpp_obj_unref(view);
    EXPECT_EQ(window_->editorWindow(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Module, Vst3View, testing::ValuesIn(kVariants),
                         [](const testing::TestParamInfo<Variant>& variant) { return variant.param.label; });
} // namespace
