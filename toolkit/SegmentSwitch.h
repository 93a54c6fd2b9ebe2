// An N-position switch drawn from a vertical strip of equal pictures, picture i for position i. The
// horizontal press position picks the position, measured on the picture's width, and follows the mouse while
// held.
#pragma once

#include "toolkit/Control.h"

class SegmentSwitch : public Control {
  public:
    // positions must be at least 2. pictureCount and offset are kept for callers and not used.
    SegmentSwitch(const Rect& bounds, ControlListener* listener, int tag, int pictureCount, int imageHeight,
                  int positions, Bitmap* background, const Point& offset);

    // Picture (int)((positions - 1) * value + 0.5).
    void draw(DrawContext* context) override;
    // Control-click resets to the default (0.0); a switch without a picture ignores presses.
    void onMouseDown(DrawContext* context, const Point& point) override;

    int positions() const { return positions_; }
    int imageHeight() const { return imageHeight_; }
    int pictureCount() const { return pictureCount_; }
    Point offset() const { return offset_; }

  private:
    Point offset_;
    int pictureCount_;
    int imageHeight_;
    int positions_;
};
