// An on/off button drawn from a picture with the off state at the top and the on state onImageOffset pixels
// further down. A press toggles; dragged out of the bounds and released there it keeps the old value.
#pragma once

#include "toolkit/Control.h"

class ToggleButton : public Control {
  public:
    // offset is kept for callers and not used for drawing.
    ToggleButton(const Rect& bounds, ControlListener* listener, int tag, int onImageOffset,
                 Bitmap* background, const Point& offset);

    // Value 0.0 shows the off picture, any other value the on picture.
    void draw(DrawContext* context) override;
    // Tracks the press while the button set stays as it was; Control-click is a normal toggle here.
    void onMouseDown(DrawContext* context, const Point& point) override;

    int onImageOffset() const { return onImageOffset_; }
    Point offset() const { return offset_; }
    // The value at the end of the last paint or press.
    float lastValue() const { return lastValue_; }

  private:
    Point offset_;
    int onImageOffset_;
    float lastValue_;
};
