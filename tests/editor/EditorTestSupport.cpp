#include "EditorTestSupport.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

constexpr char kHostClassName[] = "Qv3EditorTestHost";
constexpr DWORD kInputSettleMs = 120;

// Waits until the system's key state shows the event (the drag loops poll that state), at most a second.
void awaitKeyState(int virtualKey, bool down) {
    for (int attempt = 0; attempt < 100 && (GetAsyncKeyState(virtualKey) < 0) != down; ++attempt)
        Sleep(10);
    Sleep(kInputSettleMs);
}

void sendMouse(DWORD flags, bool down) {
    INPUT event{};
    event.type = INPUT_MOUSE;
    event.mi.dwFlags = flags;
    SendInput(1, &event, sizeof event);
    awaitKeyState(VK_LBUTTON, down);
}

void sendKey(WORD key, bool down) {
    INPUT event{};
    event.type = INPUT_KEYBOARD;
    event.ki.wVk = key;
    event.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &event, sizeof event);
    awaitKeyState(key, down);
}

Pixels readPixels(HDC source, HBITMAP bitmap, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Pixels pixels{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width * height))};
    GetDIBits(source, bitmap, 0, static_cast<UINT>(height), pixels.rgb.data(), &info, DIB_RGB_COLORS);
    for (std::uint32_t& value : pixels.rgb)
        value &= 0xFFFFFF;
    return pixels;
}

} // namespace

void PrintTo(const Pixels& pixels, std::ostream* out) {
    // Both sides of a failed comparison are printed in turn; each shows where it departs from the previous.
    static Pixels previous;
    *out << pixels.width << "x" << pixels.height;
    if (previous.width == pixels.width && previous.height == pixels.height) {
        for (std::size_t i = 0; i < pixels.rgb.size(); ++i) {
            if (pixels.rgb[i] == previous.rgb[i]) continue;
            char text[64];
            std::snprintf(text, sizeof text, ", first difference at (%d, %d): %06x against %06x",
                          static_cast<int>(i) % pixels.width, static_cast<int>(i) / pixels.width,
                          static_cast<unsigned>(pixels.rgb[i]), static_cast<unsigned>(previous.rgb[i]));
            *out << text;
            break;
        }
    }
    previous = pixels;
}

Pixels Pixels::crop(int left, int top, int cropWidth, int cropHeight) const {
    Pixels part{cropWidth, cropHeight, {}};
    for (int y = top; y < top + cropHeight; ++y) {
        for (int x = left; x < left + cropWidth; ++x)
            part.rgb.push_back(at(x, y));
    }
    return part;
}

HostWindow::HostWindow(int width, int height) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kHostClassName;
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, kHostClassName, "editor test host", WS_POPUP | WS_VISIBLE, 0, 0, width,
                              height, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetForegroundWindow(window_);
    pumpMessages();
}

HostWindow::~HostWindow() {
    DestroyWindow(window_);
    pumpMessages();
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void runHost(const std::function<void()>& idle, int milliseconds) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        pumpMessages();
        idle();
        Sleep(10);
    } while (static_cast<std::int32_t>(end - GetTickCount()) > 0);
}

void runWithInput(const std::function<void()>& idle, const std::function<void()>& script) {
    std::atomic<bool> done{false};
    std::thread user([&] {
        script();
        done = true;
    });
    while (!done) {
        pumpMessages();
        idle();
        Sleep(5);
    }
    user.join();
    runHost(idle, 200);
}

Pixels captureWindow(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    HDC windowContext = GetDC(window);
    HDC memory = CreateCompatibleDC(windowContext);
    HBITMAP copy = CreateCompatibleBitmap(windowContext, width, height);
    HGDIOBJ previous = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, width, height, windowContext, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    Pixels pixels = readPixels(memory, copy, width, height);
    DeleteObject(copy);
    DeleteDC(memory);
    ReleaseDC(window, windowContext);
    return pixels;
}

Pixels loadBitmapPixels(HMODULE module, int resourceId) {
    auto bitmap =
        static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, 0));
    if (!bitmap) return {};
    BITMAP description{};
    GetObjectA(bitmap, sizeof description, &description);
    HDC screen = GetDC(nullptr);
    Pixels pixels = readPixels(screen, bitmap, description.bmWidth, description.bmHeight);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return pixels;
}

namespace {

DWORD countGdiObjects() {
    DWORD count = 0;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
    return count;
}

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, countWindow, count);
    return TRUE;
}

SIZE_T committedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* address = static_cast<const char*>(nullptr);
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

} // namespace

ResourceUse resourceUse() {
    ResourceUse use{GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                    GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), committedPrivateBytes()};
    if (use.gdiObjects == 0) use.gdiObjects = countGdiObjects();
    if (use.userObjects == 0)
        EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&use.userObjects));
    return use;
}

namespace input {

void moveTo(int x, int y) {
    SetCursorPos(x, y);
    Sleep(kInputSettleMs);
}

void press() { sendMouse(MOUSEEVENTF_LEFTDOWN, true); }

void release() { sendMouse(MOUSEEVENTF_LEFTUP, false); }

void click(int x, int y) {
    moveTo(x, y);
    press();
    release();
}

void controlClick(int x, int y) {
    moveTo(x, y);
    sendKey(VK_CONTROL, true);
    press();
    release();
    sendKey(VK_CONTROL, false);
}

} // namespace input
