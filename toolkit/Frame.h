// The top of the view tree and the only toolkit object that owns a window: a child window inside the host's
// parent window that paints a background and the child views, routes presses, wheel steps and dropped data to
// the topmost child, repaints dirty views when idle asks, and bridges controls to the editor (idle during
// drags, its timer, begin and end of parameter edits). It owns its children: addChild takes over the caller's
// reference.
//
// User-interface thread, with one exception: redrawView (and View::redraw) may be called from the thread that
// changes a parameter; it paints through its own device context of the window.
#pragma once

#include "toolkit/View.h"

#include <windows.h>

#include <array>

class Bitmap;
class FrameDropTarget;
class FrameEditor;
struct IDropTarget;

using TransparentBltFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, UINT);

class Frame : public View {
  public:
    // Without a parent window there is no window: the frame never paints and receives no input.
    Frame(const Rect& bounds, HWND parentWindow, FrameEditor* editor);
    ~Frame() override;

    // The editor's end of the frame, in place of deleting it: the edits still open are ended, the editor is
    // forgotten and the editor's reference released. A press being handled holds a reference of its own, so
    // when the host closes the editor from inside a drag (in its idle, automation or edit notifications), the
    // frame and the control that tracks the mouse live until that handler returns; the drag sees closed() and
    // stops.
    void close();
    bool closed() const { return closed_; }

    void draw(DrawContext* context) override;
    void drawArea(DrawContext* context, const Rect& rect) override;
    // Clears the focus view, then hands the press to the topmost child that takes input and is hit.
    void onMouseDown(DrawContext* context, const Point& point) override;
    void updateIfDirty(DrawContext* context) override;
    bool dropData(void** data, int count, int kind, const Point& point) override;
    // The view under the cursor gets the steps with the cursor position read afresh; point is not used. A
    // null context is replaced by a temporary one on the window.
    bool wheel(DrawContext* context, const Point& point, int distance) override;
    FrameEditor* owningEditor() override;

    // Appends; the last child is the topmost. False (and nothing attached) for null or when the list cannot
    // grow.
    virtual bool addChild(View* view);
    // Removes every occurrence, keeping the order of the rest.
    virtual bool removeChild(View* view, bool withRelease);
    virtual bool removeAllChildren(bool withRelease);
    virtual bool hasChild(View* view) const;
    virtual int childCount() const;
    // Null outside 0..childCount() - 1.
    virtual View* childAt(int index) const;

    // Retained while set.
    void setBackground(Bitmap* background);
    Bitmap* background() const { return background_; }
    // Paints a child at once; anything else (null included) repaints the whole frame.
    void redrawView(View* view);
    // Repaints dirty views; nothing before the window's first paint or after it was destroyed.
    void idle();
    void pumpIdle();
    // From now on the editor's timerTick runs every `milliseconds` on the user-interface thread, through the
    // window's messages, until the frame is closed or its window goes.
    void startTimer(unsigned milliseconds);
    // Brackets a drag of parameter index; nothing reaches the editor once the frame is closed. Called from
    // the window's message handling, inside the host's calls: they allocate nothing and never throw. An edit
    // begun beyond kMostOpenEdits at once is refused (false), and its end then reaches nobody either.
    bool beginParameterEdit(int index) noexcept;
    bool endParameterEdit(int index) noexcept;
    // More edits than a user can hold at once with one mouse and one keyboard.
    static constexpr int kMostOpenEdits = 16;
    // The previous focus view, if any, hears focusLost after the new one is stored.
    void setFocusView(View* view);
    View* focusView() const { return focusView_; }
    // Cursor relative to the window's top-left corner (screen coordinates without a window). Always true.
    bool cursorPosition(Point& point) const;
    View* viewUnderCursor() const;
    bool anyDirty() const;

    HWND window() const { return window_; }
    HWND parentWindow() const { return parentWindow_; }
    bool isOpen() const { return open_; }
    // The registered OLE drop target, or null when registration failed or was never made.
    IDropTarget* dropTarget() const;

    // Module-wide state shared by all frames of the module.
    static bool buttonsSwapped();
    // The system's TransparentBlt, or null where keyed drawing must use the mask method.
    static TransparentBltFunction transparentBlt();

  protected:
    // Grows or allocates the child array; null when that is impossible (the list then stays as it was).
    virtual View** resizeChildArray(View** children, int capacity);

  private:
    bool createWindow(HWND parentWindow);
    void registerDropTarget();
    void revokeDropTarget();
    static void registerWindowClass();
    static void releaseWindowClass();
    static LRESULT CALLBACK frameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    FrameEditor* editor_;
    HWND parentWindow_;
    Bitmap* background_ = nullptr;
    int childCount_ = 0;
    int childCapacity_ = 0;
    View** children_ = nullptr;
    View* focusView_ = nullptr;
    bool firstPaintPending_ = true;
    bool open_ = true;
    bool dropRegistered_ = false;
    HWND window_ = nullptr;
    HMODULE imageLibrary_ = nullptr;
    // OleInitialize answered S_OK or S_FALSE: this frame owes the thread one OleUninitialize.
    bool oleInitialized_ = false;
    FrameDropTarget* dropTarget_ = nullptr;
    bool closed_ = false;
    // Indices of the edits begun and not yet ended, oldest first, so that a close can end them.
    std::array<int, kMostOpenEdits> openEdits_ = {};
    int openEditCount_ = 0;
};
