// Shared helpers of the toolkit tests: a pixel canvas on a memory device context, host-like parent windows,
// a recording editor and listener, a scripted mouse for driving controls without real input, and views that
// record what the frame does to them.
#pragma once

#include "toolkit/Control.h"
#include "toolkit/ControlListener.h"
#include "toolkit/DrawContext.h"
#include "toolkit/FrameEditor.h"
#include "toolkit/View.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A 32-bit top-down DIB section selected into a memory device context, filled with one colour.
class Canvas {
  public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC deviceContext() const { return deviceContext_; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF pixel(int x, int y) const;
    // Every pixel, row by row.
    std::vector<COLORREF> pixels() const;
    // Leftmost column holding a pixel different from colour, or -1.
    int firstColumnNot(COLORREF colour) const;

  private:
    int width_;
    int height_;
    HDC deviceContext_ = nullptr;
    HBITMAP surface_ = nullptr;
    HGDIOBJ replaced_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// A visible, borderless, topmost top-level window standing in for the host's editor parent window.
class HostWindow {
  public:
    HostWindow(int x, int y, int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return window_; }
    // Destroys the window now (as a host closing its parent first would).
    void destroy();

  private:
    HWND window_ = nullptr;
};

// Dispatches the calling thread's pending messages.
void pumpMessages();

class RecordingEditor final : public FrameEditor {
  public:
    RecordingEditor();
    ~RecordingEditor();
    RecordingEditor(const RecordingEditor&) = delete;
    RecordingEditor& operator=(const RecordingEditor&) = delete;

    void pumpIdle() override;
    void timerTick() override { ++timerTicks; }
    bool beginParameterEdit(int index) override;
    bool endParameterEdit(int index) override;

    // "begin 3", "end 3" in call order.
    std::vector<std::string> edits;
    int idlePumps = 0;
    int timerTicks = 0;
    // Runs in every idle pump after the count, as a host's own work in its idle would.
    std::function<void()> onIdle;
    // Signalled by every beginParameterEdit: a control has entered its drag loop.
    HANDLE editBegun;
};

// Records every value it hears and marks the control painted, as an editor that repaints on change would.
class RecordingListener final : public ControlListener {
  public:
    void onControlChanged(DrawContext* context, Control* control) override;

    std::vector<float> values;
    std::vector<int> tags;
};

// Mouse state for tests: each mouseButtons() call answers the next entry of buttons and each mousePosition()
// call the next entry of points; the last entry of each repeats.
class ScriptedContext : public DrawContext {
  public:
    explicit ScriptedContext(HDC deviceContext = nullptr, Frame* frame = nullptr);

    int mouseButtons() override;
    void mousePosition(Point& point) override;

    std::vector<int> buttons{0};
    std::vector<Point> points{Point{}};
    int buttonQueries = 0;
    int positionQueries = 0;
};

// Appends "<name> <event>" to a shared log for every hook the frame calls; counts its destruction.
class RecordingView : public View {
  public:
    RecordingView(const Rect& bounds, std::string name, std::vector<std::string>* log,
                  int* destroyed = nullptr);
    ~RecordingView() override;

    void draw(DrawContext* context) override;
    void onMouseDown(DrawContext* context, const Point& point) override;
    bool dropData(void** data, int count, int kind, const Point& point) override;
    bool wheel(DrawContext* context, const Point& point, int distance) override;
    void focusLost(DrawContext* context) override;
    bool detachedFrom(View* parent) override;
    bool attachedTo(View* parent) override;

    std::string name;
    std::vector<std::string>* log;
    int* destroyed;
    // Answers of the input hooks.
    bool dropAnswer = false;
    bool wheelAnswer = false;
    // What the last dropData and wheel calls carried.
    std::vector<std::string> droppedNames;
    std::string droppedText;
    int droppedCount = 0;
    int droppedKind = -1;
    Point lastPoint;
};

// A control that counts its paints.
class CountingControl : public Control {
  public:
    explicit CountingControl(const Rect& bounds, int* destroyed = nullptr);
    ~CountingControl() override;
    void draw(DrawContext* context) override;

    int draws = 0;
    int* destroyed;
};
