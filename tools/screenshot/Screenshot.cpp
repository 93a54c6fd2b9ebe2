// screenshot PLUGIN.dll OUTPUT.bmp
// Plays a minimal host: loads the plug-in, opens its editor in a window of the size the editor asks for, lets
// it paint and idle for a moment, and writes the editor's pixels to a 24-bit BMP file. Before the editor
// opens, half a second of a loud tone runs through the effect so that the meters show levels and reduction.
#include "vst2/VstInterface.h"

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

using PluginMain = AEffect*(QV3_VSTCALL*)(audioMasterCallback host);

constexpr int kSettleMs = 600;
constexpr float kSampleRate = 44100.0f;
constexpr int kBlockSize = 512;
constexpr int kToneBlocks = 43;
constexpr double kToneAmplitude = 0.5;
constexpr double kToneHz = 220.0;
constexpr float kMakeupPlus12Db = 0.25f;

VstIntPtr QV3_VSTCALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr dispatch(AEffect* effect, std::int32_t opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
}

void runHostLoop(AEffect* effect, int milliseconds) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (static_cast<std::int32_t>(end - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        dispatch(effect, effEditIdle);
        Sleep(10);
    }
}

// Every channel gets the same tone, ramped in over the first block.
void playTone(AEffect* effect) {
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kSampleRate);
    dispatch(effect, effSetBlockSize, kBlockSize);
    dispatch(effect, effMainsChanged, 1);
    effect->setParameter(effect, 0, kMakeupPlus12Db);
    std::vector<float> input(kBlockSize);
    std::vector<float*> inputs(static_cast<std::size_t>(effect->numInputs), input.data());
    std::vector<std::vector<float>> outputBuffers(static_cast<std::size_t>(effect->numOutputs),
                                                  std::vector<float>(kBlockSize));
    std::vector<float*> outputs;
    for (auto& buffer : outputBuffers)
        outputs.push_back(buffer.data());
    const double step = 2.0 * 3.141592653589793 * kToneHz / static_cast<double>(kSampleRate);
    long sample = 0;
    for (int block = 0; block < kToneBlocks; ++block) {
        for (float& value : input) {
            const double ramp = sample < kBlockSize ? static_cast<double>(sample) / kBlockSize : 1.0;
            value = static_cast<float>(kToneAmplitude * ramp * std::sin(step * static_cast<double>(sample)));
            ++sample;
        }
        effect->processReplacing(effect, inputs.data(), outputs.data(), kBlockSize);
    }
}

bool writeBmp(const char* path, HDC source, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP picture = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();

    const int stride = (width * 3 + 3) & ~3;
    const DWORD imageSize = static_cast<DWORD>(stride * height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;

    bool written = false;
    if (FILE* out = std::fopen(path, "wb")) {
        written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                  std::fwrite(bits, imageSize, 1, out) == 1;
        written = std::fclose(out) == 0 && written;
    }
    SelectObject(memory, previous);
    DeleteObject(picture);
    DeleteDC(memory);
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot PLUGIN.dll OUTPUT.bmp\n");
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    auto entry = library
                     ? reinterpret_cast<PluginMain>(reinterpret_cast<void*>(GetProcAddress(library, "main")))
                     : nullptr;
    AEffect* effect = entry ? entry(hostCallback) : nullptr;
    if (!effect) {
        std::fprintf(stderr, "screenshot: %s is not a plug-in that loads here\n", argv[1]);
        return 1;
    }
    dispatch(effect, effOpen);
    playTone(effect);

    ERect* rect = nullptr;
    if (!dispatch(effect, effEditGetRect, 0, &rect) || !rect) {
        std::fprintf(stderr, "screenshot: %s has no editor\n", argv[1]);
        return 1;
    }
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Qv3ScreenshotHost";
    RegisterClassA(&windowClass);
    RECT outer{0, 0, width, height};
    AdjustWindowRect(&outer, WS_POPUP, FALSE);
    HWND host = CreateWindowExA(0, windowClass.lpszClassName, "screenshot", WS_POPUP | WS_VISIBLE, 0, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    dispatch(effect, effEditOpen, 0, host);
    runHostLoop(effect, kSettleMs);

    HWND editorWindow = GetWindow(host, GW_CHILD);
    HDC source = GetDC(editorWindow);
    const bool written = writeBmp(argv[2], source, width, height);
    ReleaseDC(editorWindow, source);

    dispatch(effect, effEditClose);
    DestroyWindow(host);
    dispatch(effect, effClose);
    FreeLibrary(library);
    if (!written) std::fprintf(stderr, "screenshot: could not write %s\n", argv[2]);
    return written ? 0 : 1;
}
