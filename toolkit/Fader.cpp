#include "toolkit/Fader.h"

#include "toolkit/Bitmap.h"
#include "toolkit/DrawContext.h"
#include "toolkit/Frame.h"

namespace {

constexpr int kStylesZeroAtTop = 0x08 | 0x20;

} // namespace

Fader::Fader(const Rect& bounds, ControlListener* listener, int tag, int minimumPosition, int maximumPosition,
             Bitmap* handle, Bitmap* background, const Point& offset, int style)
    : Control(bounds, listener, tag, background), offset_(offset), handle_(handle),
      range_(maximumPosition - minimumPosition), style_(style) {
    if (handle_) {
        handle_->retain();
        handleWidth_ = handle_->width();
        handleHeight_ = handle_->height();
    }
}

Fader::~Fader() {
    if (handle_) handle_->release();
}

void Fader::draw(DrawContext*) { setDirty(false); }

void Fader::onMouseDown(DrawContext* context, const Point& point) {
    if (!inputEnabled()) return;
    const int buttons = context->mouseButtons();
    if (buttons == (kButtonPrimary | kModControl)) {
        value_ = defaultValue();
        notifyIfDirty(context);
        return;
    }
    if (!(buttons & kButtonPrimary)) return;

    // delta: the row whose target value is 1.0.
    int delta;
    if (freeClick_) {
        delta = bounds_.top + handleOffset_.v + handleHeight_ / 2 - 1;
    } else {
        const float fraction = (style_ & kStylesZeroAtTop) ? value_ : 1.0f - value_;
        const int handleTop =
            bounds_.top + handleOffset_.v + static_cast<int>(fraction * static_cast<float>(range_));
        const int handleLeft = bounds_.left + handleOffset_.h;
        const Rect handleRect{handleLeft, handleTop, handleLeft + handleWidth_, handleTop + handleHeight_};
        if (!containsPoint(handleRect, point)) return;
        delta = bounds_.top + handleOffset_.v + (point.v - handleTop);
    }

    const float startValue = value_;
    beginEdit();
    if (parentFrame_) parentFrame_->setFocusView(this);

    POINT pressCursor{};
    bool firstPass = true;
    Point where = point;
    for (;;) {
        if (firstPass) {
            GetCursorPos(&pressCursor);
            ShowCursor(FALSE);
            firstPass = false;
        }
        if (frameClosed() || !(context->mouseButtons() & kButtonPrimary)) break;
        const double target = 1.0 - static_cast<double>(where.v - delta) / range_;
        const double start = startValue;
        value_ = static_cast<float>(start + (target - start) / static_cast<double>(zoom_));
        clampValue();
        notifyIfDirty(context);
        context->mousePosition(where);
        pumpIdle();
    }
    SetCursorPos(pressCursor.x, pressCursor.y);
    ShowCursor(TRUE);
    endEdit();
}

void Fader::setFreeClick(bool freeClick) { freeClick_ = freeClick; }

bool Fader::freeClick() const { return freeClick_; }

void Fader::setHandleOffset(const Point& offset) { handleOffset_ = offset; }

void Fader::setHandle(Bitmap* handle) {
    if (handle) handle->retain();
    if (handle_) handle_->release();
    handle_ = handle;
    if (handle_) {
        handleWidth_ = handle_->width();
        handleHeight_ = handle_->height();
    }
}

Bitmap* Fader::handle() const { return handle_; }

void Fader::setZoom(float zoom) { zoom_ = zoom; }

float Fader::zoom() const { return zoom_; }
