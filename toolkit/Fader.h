// An invisible drag area: moving the mouse up raises the value, one pixel by 1 / (range * zoom), with the
// cursor hidden for the drag and put back where the press began. It draws nothing.
#pragma once

#include "toolkit/Control.h"

// Other style bits are accepted and have no effect, except 0x08 and 0x20: either one puts value 0 at the top
// of the travel for the handle hit test (the drag still raises the value upwards).
enum FaderStyle { kFaderVertical = 0x02 };

class Fader : public Control {
  public:
    // The travel (range) is maximumPosition - minimumPosition pixels; the handle's picture gives its size (1
    // x 1 without one). handle and background are retained; offset is kept and not used.
    Fader(const Rect& bounds, ControlListener* listener, int tag, int minimumPosition, int maximumPosition,
          Bitmap* handle, Bitmap* background, const Point& offset, int style);
    ~Fader() override;

    // Paints nothing; only records the value as painted.
    void draw(DrawContext* context) override;
    // Control-click resets to the default. Without free click only a press on the handle starts a drag. The
    // fader becomes the frame's focus view for the drag and stays it until the next press.
    void onMouseDown(DrawContext* context, const Point& point) override;

    virtual void setFreeClick(bool freeClick);
    virtual bool freeClick() const;
    virtual void setHandleOffset(const Point& offset);
    // A null handle keeps the old handle size.
    virtual void setHandle(Bitmap* handle);
    virtual Bitmap* handle() const;
    virtual void setZoom(float zoom);
    virtual float zoom() const;

    int range() const { return range_; }
    int style() const { return style_; }
    int handleWidth() const { return handleWidth_; }
    int handleHeight() const { return handleHeight_; }
    Point handleOffset() const { return handleOffset_; }
    Point offset() const { return offset_; }

  private:
    Point offset_;
    Point handleOffset_;
    Bitmap* handle_;
    int handleWidth_ = 1;
    int handleHeight_ = 1;
    int range_;
    int style_;
    float zoom_ = 200.0f;
    bool freeClick_ = true;
};
