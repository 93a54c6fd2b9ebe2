#include "ToolkitTestSupport.h"

#include "toolkit/ModuleInstance.h"

#include <algorithm>
#include <cstdio>

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    surface_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t*>(bits);
    deviceContext_ = CreateCompatibleDC(nullptr);
    replaced_ = SelectObject(deviceContext_, surface_);
    const std::uint32_t value = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    for (int i = 0; i < width * height; ++i)
        bits_[i] = value;
}

Canvas::~Canvas() {
    SelectObject(deviceContext_, replaced_);
    DeleteDC(deviceContext_);
    DeleteObject(surface_);
}

COLORREF Canvas::pixel(int x, int y) const {
    GdiFlush();
    const std::uint32_t value = bits_[y * width_ + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

std::vector<COLORREF> Canvas::pixels() const {
    std::vector<COLORREF> all;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x)
            all.push_back(pixel(x, y));
    }
    return all;
}

int Canvas::firstColumnNot(COLORREF colour) const {
    for (int x = 0; x < width_; ++x) {
        for (int y = 0; y < height_; ++y) {
            if (pixel(x, y) != colour) return x;
        }
    }
    return -1;
}

namespace {

constexpr char kHostClassName[] = "ToolkitTestHost";

ATOM registerHostClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = moduleInstance();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kHostClassName;
    return RegisterClassA(&windowClass);
}

} // namespace

HostWindow::HostWindow(int x, int y, int width, int height) {
    static const ATOM hostClass = registerHostClass();
    (void)hostClass;
    window_ = CreateWindowExA(WS_EX_TOPMOST, kHostClassName, "Host", WS_POPUP | WS_VISIBLE, x, y, width,
                              height, nullptr, nullptr, moduleInstance(), nullptr);
    SetForegroundWindow(window_);
    pumpMessages();
}

HostWindow::~HostWindow() { destroy(); }

void HostWindow::destroy() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    pumpMessages();
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

RecordingEditor::RecordingEditor() : editBegun(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

RecordingEditor::~RecordingEditor() { CloseHandle(editBegun); }

void RecordingEditor::pumpIdle() {
    ++idlePumps;
    if (onIdle) onIdle();
    Sleep(1);
}

bool RecordingEditor::beginParameterEdit(int index) {
    edits.push_back("begin " + std::to_string(index));
    SetEvent(editBegun);
    return true;
}

bool RecordingEditor::endParameterEdit(int index) {
    edits.push_back("end " + std::to_string(index));
    return true;
}

void RecordingListener::onControlChanged(DrawContext*, Control* control) {
    values.push_back(control->value());
    tags.push_back(control->tag());
    control->setDirty(false);
}

ScriptedContext::ScriptedContext(HDC deviceContext, Frame* frame)
    : DrawContext(frame, deviceContext, nullptr) {}

int ScriptedContext::mouseButtons() {
    const std::size_t index = std::min(static_cast<std::size_t>(buttonQueries), buttons.size() - 1);
    ++buttonQueries;
    return buttons[index];
}

void ScriptedContext::mousePosition(Point& point) {
    const std::size_t index = std::min(static_cast<std::size_t>(positionQueries), points.size() - 1);
    ++positionQueries;
    point = points[index];
}

RecordingView::RecordingView(const Rect& bounds, std::string viewName, std::vector<std::string>* eventLog,
                             int* destroyedCount)
    : View(bounds), name(std::move(viewName)), log(eventLog), destroyed(destroyedCount) {}

RecordingView::~RecordingView() {
    if (destroyed) ++*destroyed;
}

void RecordingView::draw(DrawContext* context) {
    log->push_back(name + " draw");
    View::draw(context);
}

void RecordingView::onMouseDown(DrawContext*, const Point& point) {
    lastPoint = point;
    log->push_back(name + " mouseDown");
}

bool RecordingView::dropData(void** data, int count, int kind, const Point& point) {
    log->push_back(name + " dropData");
    droppedCount = count;
    droppedKind = kind;
    lastPoint = point;
    droppedNames.clear();
    droppedText.clear();
    if (kind == kDropKindFiles) {
        for (int i = 0; i < count; ++i)
            droppedNames.emplace_back(static_cast<const char*>(data[i]));
    } else {
        droppedText = static_cast<const char*>(data[0]);
    }
    return dropAnswer;
}

bool RecordingView::wheel(DrawContext*, const Point& point, int distance) {
    lastPoint = point;
    log->push_back(name + " wheel " + std::to_string(distance));
    return wheelAnswer;
}

void RecordingView::focusLost(DrawContext*) { log->push_back(name + " focusLost"); }

bool RecordingView::detachedFrom(View*) {
    log->push_back(name + " detached");
    return true;
}

bool RecordingView::attachedTo(View*) {
    log->push_back(name + " attached");
    return true;
}

CountingControl::CountingControl(const Rect& bounds, int* destroyedCount)
    : Control(bounds, nullptr, 0, nullptr), destroyed(destroyedCount) {}

CountingControl::~CountingControl() {
    if (destroyed) ++*destroyed;
}

void CountingControl::draw(DrawContext*) {
    ++draws;
    setDirty(false);
}

namespace {

// Unbuffered output, so that a test that hangs under Wine still shows its name in the log.
const bool unbufferedOutput = std::setvbuf(stdout, nullptr, _IONBF, 0) == 0;

} // namespace
