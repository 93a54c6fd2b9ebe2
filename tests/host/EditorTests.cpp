// The editor through the host's editor opcodes: its rectangle before any window exists, the answers while
// closed, and its window inside a parent window of the host's, opened and closed repeatedly.
#include "HostedEffect.h"

namespace {

class Editor : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(Editor);

// A top-level window of the host's into which the editor opens.
class HostWindow {
  public:
    HostWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
        handle_ = CreateWindowExA(0, kClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~HostWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return handle_; }
    HWND editorWindow() const { return GetWindow(handle_, GW_CHILD); }
    // Delivers what the windows of this thread have waiting, as a host's message loop does.
    static void pumpMessages() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

  private:
    static constexpr const char* kClassName = "Qv3HostTestWindow";
    HWND handle_ = nullptr;
};

TEST_P(Editor, AnswersWhileItsWindowIsClosed) {
    auto effect = instantiate();
    ERect* rect = nullptr;
    EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 354);
    EXPECT_EQ(rect->right, 273);
    EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, nullptr), 0);
    EXPECT_EQ(effect->dispatch(effEditKeyDown, 'a', VK_LEFT, nullptr, 2.0f), 0);
    EXPECT_EQ(effect->dispatch(effEditKeyUp, 'a', VK_LEFT, nullptr, 2.0f), 0);
    EXPECT_EQ(effect->dispatch(effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(effect->dispatch(effEditIdle), 0);
    EXPECT_EQ(effect->dispatch(effEditClose), 0);
    effect->set(0, 0.5f);
    EXPECT_EQ(effect->display(0), "24.0");
    EXPECT_EQ(RecordingHost::calls().size(), 1u) << "the editor called the host";
}

TEST_P(Editor, OpensAndClosesItsWindowInTheHostsWindow) {
    HostWindow host;
    ASSERT_NE(host.handle(), nullptr);
    auto effect = instantiate();
    const ChannelBuffers loud = [&] {
        ChannelBuffers buffers = silence(build().channels, 44100);
        for (std::vector<float>& channel : buffers) {
            for (std::size_t i = 0; i < channel.size(); ++i)
                channel[i] = i % 50 < 25 ? 0.9f : -0.9f;
        }
        return buffers;
    }();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("opening " + std::to_string(round + 1));
        EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, host.handle()), 1);
        HWND window = host.editorWindow();
        ASSERT_NE(window, nullptr) << "no child window in the host's window";
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right - client.left, 273);
        EXPECT_EQ(client.bottom - client.top, 354);

        // Audio publishes meter readings; parameter changes arrive while the window shows them.
        effect->replacing(loud, 512);
        effect->set(0, 0.25f * static_cast<float>(round + 1));
        effect->set(2, 1.0f);
        for (int pass = 0; pass < 5; ++pass) {
            EXPECT_EQ(effect->dispatch(effEditIdle), 0);
            HostWindow::pumpMessages();
        }

        // No view takes keys: the host keeps its shortcuts (0 means the plug-in did not use the key).
        EXPECT_EQ(effect->dispatch(effEditKeyDown, ' ', VK_SPACE, nullptr, 0.0f), 0);
        EXPECT_EQ(effect->dispatch(effEditKeyUp, ' ', VK_SPACE, nullptr, 0.0f), 0);

        EXPECT_EQ(effect->dispatch(effEditClose), 0);
        HostWindow::pumpMessages();
        EXPECT_EQ(host.editorWindow(), nullptr) << "the editor window outlived effEditClose";
        EXPECT_EQ(effect->dispatch(effEditKeyDown, 'a', VK_LEFT, nullptr, 0.0f), 0);
    }
    EXPECT_EQ(effect->display(0), "24.0");
    EXPECT_EQ(RecordingHost::calls().size(), 1u) << "the editor called the host";
}

// A careless host closes the effect while the editor window is still open: the window goes with it.
TEST_P(Editor, ClosingTheEffectTakesTheOpenWindowAlong) {
    HostWindow host;
    ASSERT_NE(host.handle(), nullptr);
    auto effect = instantiate();
    EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, host.handle()), 1);
    ASSERT_NE(host.editorWindow(), nullptr);
    EXPECT_EQ(effect->close(), 1);
    HostWindow::pumpMessages();
    EXPECT_EQ(host.editorWindow(), nullptr);
}

} // namespace
