#include "toolkit/Frame.h"

#include "toolkit/Bitmap.h"
#include "toolkit/DrawContext.h"
#include "toolkit/FrameDropTarget.h"
#include "toolkit/FrameEditor.h"
#include "toolkit/ModuleInstance.h"

#include <ole2.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace {

constexpr int kChildArrayStep = 20;
constexpr char kImageLibraryName[] = "msimg32.dll";
constexpr UINT_PTR kTimerId = 1;

// Shared by every frame of the module, written on the user-interface thread while frames are made.
char windowClassName[32];
int windowClassUseCount = 0;
bool buttonsSwappedState = false;
TransparentBltFunction transparentBltProc = nullptr;

Rect rectFrom(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

} // namespace

Frame::Frame(const Rect& bounds, HWND parentWindow, FrameEditor* editor)
    : View(bounds), editor_(editor), parentWindow_(parentWindow) {
    // A thread the host already put into the multithreaded apartment refuses: then nothing is owed back.
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));

    transparentBltProc = nullptr;
    imageLibrary_ = LoadLibraryA(kImageLibraryName);
    if (imageLibrary_) {
        OSVERSIONINFOEXA version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)) &&
            version.dwPlatformId >= VER_PLATFORM_WIN32_NT) {
            transparentBltProc = reinterpret_cast<TransparentBltFunction>(
                reinterpret_cast<void (*)()>(GetProcAddress(imageLibrary_, "TransparentBlt")));
        }
    }
    createWindow(parentWindow);
}

void Frame::close() {
    closed_ = true;
    // Newest first, as nested drags would end them.
    while (openEditCount_ > 0) {
        const int index = openEdits_[static_cast<std::size_t>(--openEditCount_)];
        if (editor_) editor_->endParameterEdit(index);
    }
    editor_ = nullptr;
    release();
}

Frame::~Frame() {
    revokeDropTarget();
    removeAllChildren(true);
    setBackground(nullptr);
    if (oleInitialized_) OleUninitialize();
    if (imageLibrary_) {
        FreeLibrary(imageLibrary_);
        // The last frame may have unloaded it; keep no pointer into a library that is gone.
        if (!GetModuleHandleA(kImageLibraryName)) transparentBltProc = nullptr;
    }
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        releaseWindowClass();
    }
}

bool Frame::createWindow(HWND parentWindow) {
    if (!parentWindow) return false;
    registerWindowClass();
    window_ = CreateWindowExA(0, windowClassName, "Window", WS_CHILD | WS_VISIBLE, 0, 0, bounds_.width(),
                              bounds_.height(), parentWindow, nullptr, moduleInstance(), nullptr);
    if (!window_) {
        releaseWindowClass();
        return false;
    }
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Drag and drop needs OLE in a single-threaded apartment; a thread without it gets no drop target.
    if (oleInitialized_) registerDropTarget();
    return true;
}

void Frame::registerDropTarget() {
    dropTarget_ = new FrameDropTarget(this);
    dropTarget_->AddRef();
    if (SUCCEEDED(RegisterDragDrop(window_, dropTarget_))) {
        dropRegistered_ = true;
        return;
    }
    dropTarget_->detachFrame();
    dropTarget_->Release();
    dropTarget_ = nullptr;
}

void Frame::revokeDropTarget() {
    if (dropRegistered_ && window_) RevokeDragDrop(window_);
    dropRegistered_ = false;
    if (!dropTarget_) return;
    // OLE may still hold the target for a moment; it must not reach a frame that is going away.
    dropTarget_->detachFrame();
    dropTarget_->Release();
    dropTarget_ = nullptr;
}

IDropTarget* Frame::dropTarget() const { return dropRegistered_ ? dropTarget_ : nullptr; }

void Frame::registerWindowClass() {
    if (windowClassUseCount++ > 0) return;
    std::snprintf(windowClassName, sizeof windowClassName, "Plugin%08x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(moduleInstance())));
    WNDCLASSA windowClass{};
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = frameWindowProc;
    windowClass.hInstance = moduleInstance();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = windowClassName;
    RegisterClassA(&windowClass);
    buttonsSwappedState = GetSystemMetrics(SM_SWAPBUTTON) > 0;
}

void Frame::releaseWindowClass() {
    if (--windowClassUseCount == 0) UnregisterClassA(windowClassName, moduleInstance());
}

bool Frame::buttonsSwapped() { return buttonsSwappedState; }

TransparentBltFunction Frame::transparentBlt() { return transparentBltProc; }

LRESULT CALLBACK Frame::frameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Frame* frame = reinterpret_cast<Frame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (frame) {
        switch (message) {
        case WM_DESTROY:
            frame->open_ = false;
            frame->parentWindow_ = nullptr;
            // The registration dies with the window; revoke it while the handle is still valid.
            frame->revokeDropTarget();
            break;
        case WM_PAINT: {
            RECT update;
            if (!GetUpdateRect(window, &update, FALSE)) break;
            PAINTSTRUCT paint;
            HDC deviceContext = BeginPaint(window, &paint);
            {
                DrawContext context(frame, deviceContext, window);
                frame->drawArea(&context, rectFrom(paint.rcPaint));
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_TIMER:
            if (wParam == kTimerId && frame->editor_) frame->editor_->timerTick();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            // The host may close the editor while a drag calls out to it; the frame then goes at the end.
            frame->retain();
            HDC deviceContext = GetDC(window);
            {
                DrawContext context(frame, deviceContext, window);
                const Point point{LOWORD(lParam), HIWORD(lParam)};
                frame->onMouseDown(&context, point);
            }
            ReleaseDC(window, deviceContext);
            frame->release();
            return 0;
        }
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Frame::draw(DrawContext* context) {
    firstPaintPending_ = false;
    if (background_) background_->draw(context, {0, 0, background_->width(), background_->height()}, {0, 0});
    for (int i = 0; i < childCount_; ++i)
        children_[i]->draw(context);
}

void Frame::drawArea(DrawContext* context, const Rect& rect) {
    firstPaintPending_ = false;
    if (background_) background_->draw(context, rect, {rect.left, rect.top});
    for (int i = 0; i < childCount_; ++i) {
        if (children_[i]->intersects(rect)) children_[i]->drawArea(context, rect);
    }
}

void Frame::onMouseDown(DrawContext* context, const Point& point) {
    if (focusView_) {
        focusView_->focusLost(nullptr);
        focusView_ = nullptr;
    }
    const int buttons = context->mouseButtons();
    for (int i = childCount_ - 1; i >= 0; --i) {
        View* child = children_[i];
        if (child->inputEnabled() && child->hitTest(point, buttons)) {
            child->onMouseDown(context, point);
            return;
        }
    }
}

void Frame::updateIfDirty(DrawContext* context) {
    if (!open_) return;
    if (View::isDirty()) {
        draw(context);
        setDirty(false);
        return;
    }
    for (int i = 0; i < childCount_; ++i)
        children_[i]->updateIfDirty(context);
}

bool Frame::dropData(void** data, int count, int kind, const Point& point) {
    if (focusView_) return false;
    for (int i = childCount_ - 1; i >= 0; --i) {
        View* child = children_[i];
        Rect childBounds;
        child->bounds(childBounds);
        if (!child->inputEnabled() || !containsPoint(childBounds, point)) continue;
        if (child->dropData(data, count, kind, point)) return true;
    }
    return false;
}

bool Frame::wheel(DrawContext* context, const Point&, int distance) {
    View* view = viewUnderCursor();
    if (!view) return false;
    HDC deviceContext = nullptr;
    std::unique_ptr<DrawContext> temporary;
    if (!context) {
        if (window_) deviceContext = GetDC(window_);
        temporary = std::make_unique<DrawContext>(this, deviceContext, window_);
        context = temporary.get();
    }
    Point cursor;
    cursorPosition(cursor);
    const bool taken = view->wheel(context, cursor, distance);
    temporary.reset();
    if (deviceContext) ReleaseDC(window_, deviceContext);
    return taken;
}

FrameEditor* Frame::owningEditor() { return editor_; }

bool Frame::addChild(View* view) {
    if (!view) return false;
    if (childCount_ == childCapacity_) {
        View** grown = resizeChildArray(children_, childCapacity_ + kChildArrayStep);
        if (!grown) return false;
        children_ = grown;
        childCapacity_ += kChildArrayStep;
    }
    children_[childCount_++] = view;
    view->setParentFrame(this);
    view->attachedTo(this);
    return true;
}

View** Frame::resizeChildArray(View** children, int capacity) {
    return static_cast<View**>(std::realloc(children, sizeof(View*) * static_cast<std::size_t>(capacity)));
}

bool Frame::removeChild(View* view, bool withRelease) {
    // A focus view that leaves the frame must not be called later.
    if (view && view == focusView_) {
        focusView_->focusLost(nullptr);
        focusView_ = nullptr;
    }
    int kept = 0;
    for (int i = 0; i < childCount_; ++i) {
        View* child = children_[i];
        if (child != view) {
            children_[kept++] = child;
            continue;
        }
        child->detachedFrom(this);
        if (withRelease) child->release();
    }
    childCount_ = kept;
    return true;
}

bool Frame::removeAllChildren(bool withRelease) {
    if (focusView_) {
        focusView_->focusLost(nullptr);
        focusView_ = nullptr;
    }
    for (int i = 0; i < childCount_; ++i) {
        children_[i]->detachedFrom(this);
        if (withRelease) children_[i]->release();
    }
    std::free(children_);
    children_ = nullptr;
    childCount_ = 0;
    childCapacity_ = 0;
    return true;
}

bool Frame::hasChild(View* view) const {
    for (int i = 0; i < childCount_; ++i) {
        if (children_[i] == view) return true;
    }
    return false;
}

int Frame::childCount() const { return childCount_; }

View* Frame::childAt(int index) const {
    return index < 0 || index >= childCount_ ? nullptr : children_[index];
}

void Frame::setBackground(Bitmap* background) {
    if (background) background->retain();
    if (background_) background_->release();
    background_ = background;
}

void Frame::redrawView(View* view) {
    // Without a live window there is nothing to paint into (GetDC(null) would be the whole screen).
    if (!window_ || !open_) return;
    HDC deviceContext = GetDC(window_);
    {
        DrawContext context(this, deviceContext, window_);
        if (view && hasChild(view)) {
            view->draw(&context);
        } else {
            draw(&context);
        }
    }
    ReleaseDC(window_, deviceContext);
}

void Frame::idle() {
    if (!open_ || firstPaintPending_ || !window_ || !anyDirty()) return;
    HDC deviceContext = GetDC(window_);
    {
        DrawContext context(this, deviceContext, window_);
        updateIfDirty(&context);
    }
    ReleaseDC(window_, deviceContext);
}

void Frame::pumpIdle() {
    if (editor_) editor_->pumpIdle();
}

void Frame::startTimer(unsigned milliseconds) {
    if (window_) SetTimer(window_, kTimerId, milliseconds, nullptr);
}

bool Frame::beginParameterEdit(int index) noexcept {
    if (!editor_ || openEditCount_ == kMostOpenEdits) return false;
    // Noted first: the host may close the editor inside the notification, and is owed the end then.
    openEdits_[static_cast<std::size_t>(openEditCount_++)] = index;
    return editor_->beginParameterEdit(index);
}

bool Frame::endParameterEdit(int index) noexcept {
    if (!editor_) return false;
    const auto begun = openEdits_.begin();
    const auto ended = begun + openEditCount_;
    const auto open = std::find(std::make_reverse_iterator(ended), std::make_reverse_iterator(begun), index);
    if (open == std::make_reverse_iterator(begun)) return false;
    std::copy(open.base(), ended, std::prev(open.base()));
    --openEditCount_;
    return editor_->endParameterEdit(index);
}

void Frame::setFocusView(View* view) {
    View* previous = focusView_;
    focusView_ = view;
    if (previous) previous->focusLost(nullptr);
}

bool Frame::cursorPosition(Point& point) const {
    POINT cursor{};
    GetCursorPos(&cursor);
    point = {cursor.x, cursor.y};
    RECT windowRect;
    if (window_ && GetWindowRect(window_, &windowRect)) {
        point.h -= windowRect.left;
        point.v -= windowRect.top;
    }
    return true;
}

View* Frame::viewUnderCursor() const {
    Point cursor;
    cursorPosition(cursor);
    for (int i = childCount_ - 1; i >= 0; --i) {
        Rect childBounds;
        children_[i]->bounds(childBounds);
        if (containsPoint(childBounds, cursor)) return children_[i];
    }
    return nullptr;
}

bool Frame::anyDirty() const {
    if (View::isDirty()) return true;
    for (int i = 0; i < childCount_; ++i) {
        if (children_[i]->isDirty()) return true;
    }
    return false;
}
