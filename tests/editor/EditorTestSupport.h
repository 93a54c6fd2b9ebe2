// What the editor tests share: a host window on the (window-manager-free) test display, message pumping,
// window captures and bitmap pixels as 0xRRGGBB values, and synthesized mouse and keyboard input.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

// A picture as 0xRRGGBB values, row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;

    std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y * width + x)]; }
    // The part of the picture at (left, top) of the given size.
    Pixels crop(int left, int top, int cropWidth, int cropHeight) const;
    bool operator==(const Pixels& other) const {
        return width == other.width && height == other.height && rgb == other.rgb;
    }
    bool operator!=(const Pixels& other) const { return !(*this == other); }
};

// Failure messages name the size and the first pixel that differs from the one compared with last.
void PrintTo(const Pixels& pixels, std::ostream* out);

constexpr std::uint32_t rgbOf(int red, int green, int blue) {
    return static_cast<std::uint32_t>((red << 16) | (green << 8) | blue);
}

// A borderless top-level window at the screen's top-left corner: its client coordinates are screen
// coordinates.
class HostWindow {
  public:
    HostWindow(int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return window_; }
    // The editor's frame window inside it, or null.
    HWND editorWindow() const { return GetWindow(window_, GW_CHILD); }

  private:
    HWND window_;
};

// Dispatches every waiting message of this thread.
void pumpMessages();
// Pumps messages and calls idle every 10 ms for the given time.
void runHost(const std::function<void()>& idle, int milliseconds);
// Runs `script` on a second thread (input has to come from outside while a control's drag loop holds this
// thread) and meanwhile pumps messages and idles here; then idles for another 200 ms.
void runWithInput(const std::function<void()>& idle, const std::function<void()>& script);

Pixels captureWindow(HWND window);
// A BITMAP resource of a module, or an empty picture.
Pixels loadBitmapPixels(HMODULE module, int resourceId);

// What the process holds of the things a leaking editor would pile up.
struct ResourceUse {
    DWORD gdiObjects;
    DWORD userObjects;
    SIZE_T committedBytes;
};
// GetGuiResources where the system keeps the counts; where it answers 0 (Wine), GDI objects are counted by
// asking every 16-bit handle index for its object type and USER objects as the windows of this thread.
ResourceUse resourceUse();

// Synthesized input as a user would give it; positions are screen pixels. Each step waits a moment so the
// polling drag loops see every state.
namespace input {
void moveTo(int x, int y);
void press();
void release();
void click(int x, int y);
// A click with Control held. The cursor moves first: Wine takes the modifier keys from the X server's pointer
// events, and the X server knows nothing of a synthesized Control key.
void controlClick(int x, int y);
} // namespace input
