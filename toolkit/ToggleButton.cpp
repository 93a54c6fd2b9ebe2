#include "toolkit/ToggleButton.h"

#include "toolkit/Bitmap.h"
#include "toolkit/ControlListener.h"
#include "toolkit/DrawContext.h"

ToggleButton::ToggleButton(const Rect& bounds, ControlListener* listener, int tag, int onImageOffset,
                           Bitmap* background, const Point& offset)
    : Control(bounds, listener, tag, background), offset_(offset), onImageOffset_(onImageOffset),
      lastValue_(value_) {}

void ToggleButton::draw(DrawContext* context) {
    clampValue();
    const int pictureTop = value_ == 0.0f ? 0 : onImageOffset_;
    if (background_) {
        if (transparent()) {
            background_->drawKeyed(context, bounds_, {0, pictureTop});
        } else {
            background_->draw(context, bounds_, {0, pictureTop});
        }
    }
    lastValue_ = value_;
    setDirty(false);
}

void ToggleButton::onMouseDown(DrawContext* context, const Point& point) {
    const int buttons = context->mouseButtons();
    if (!inputEnabled() || !(buttons & kButtonPrimary)) return;
    const float startValue = value_;
    const float toggledValue = startValue == 0.0f ? 1.0f : 0.0f;

    if (context->mouseButtons() == 0) {
        // Released before tracking began: a plain click.
        value_ = toggledValue;
        if (listener_) listener_->onControlChanged(context, this);
        lastValue_ = value_;
        return;
    }

    beginEdit();
    Point where = point;
    do {
        value_ = containsPoint(bounds_, where) ? toggledValue : startValue;
        notifyIfDirty(context);
        context->mousePosition(where);
        pumpIdle();
    } while (!frameClosed() && context->mouseButtons() == buttons);
    endEdit();
    lastValue_ = value_;
}
