#include "toolkit/SegmentSwitch.h"

#include "toolkit/Bitmap.h"
#include "toolkit/DrawContext.h"

SegmentSwitch::SegmentSwitch(const Rect& bounds, ControlListener* listener, int tag, int pictureCount,
                             int imageHeight, int positions, Bitmap* background, const Point& offset)
    : Control(bounds, listener, tag, background), offset_(offset), pictureCount_(pictureCount),
      imageHeight_(imageHeight), positions_(positions) {
    defaultValue_ = 0.0f;
}

void SegmentSwitch::draw(DrawContext* context) {
    if (background_) {
        const int picture =
            static_cast<int>(static_cast<double>(positions_ - 1) * static_cast<double>(value_) + 0.5);
        const Point source{0, picture * imageHeight_};
        if (transparent()) {
            background_->drawKeyed(context, bounds_, source);
        } else {
            background_->draw(context, bounds_, source);
        }
    }
    setDirty(false);
}

void SegmentSwitch::onMouseDown(DrawContext* context, const Point& point) {
    const int buttons = context->mouseButtons();
    if (!inputEnabled() || !(buttons & kButtonPrimary) || !background_) return;
    if (buttons == (kButtonPrimary | kModControl)) {
        value_ = defaultValue();
        notifyIfDirty(context);
        return;
    }

    const double segmentWidth = static_cast<double>(background_->width()) / positions_;
    const double scale = 1.0 / segmentWidth;
    beginEdit();
    Point where = point;
    do {
        const int index = static_cast<int>((where.h - bounds_.left) * scale);
        value_ = static_cast<float>(index) / static_cast<float>(positions_ - 1);
        if (value_ > 1.0f) {
            value_ = 1.0f;
        } else if (value_ < 0.0f) {
            value_ = 0.0f;
        }
        notifyIfDirty(context);
        context->mousePosition(where);
        pumpIdle();
    } while (!frameClosed() && context->mouseButtons() == buttons);
    endEdit();
}
