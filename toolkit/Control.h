// A View that stands for one parameter: a value normalised to 0..1, a tag (the parameter index), a default, a
// background picture and a listener told of every change the user makes. A control needs painting exactly
// when its value moved since its last paint or someone called setDirty(true).
#pragma once

#include "toolkit/View.h"

class Bitmap;
class ControlListener;

class Control : public View {
  public:
    // listener and background may be null; the background is retained.
    Control(const Rect& bounds, ControlListener* listener, int tag, Bitmap* background);
    ~Control() override;

    // Every concrete control's draw ends with setDirty(false), which records the painted value.
    void draw(DrawContext* context) override = 0;
    // True while the value differs from the one last painted (NaN counts as different) or the flag is set.
    bool isDirty() const override;
    void setDirty(bool dirty) override;

    // Lets the editor work while a drag holds the thread; nothing without a frame.
    virtual void pumpIdle();
    // Stores the value as given: no clamping, no repaint, no listener call.
    virtual void setValue(float value);
    virtual float value() const;
    virtual void setMin(float value);
    virtual float minValue() const;
    virtual void setMax(float value);
    virtual float maxValue() const;
    virtual void setLastDrawnValue(float value);
    virtual float lastDrawnValue() const;
    virtual void setDefaultValue(float value);
    virtual float defaultValue() const;
    virtual void setTag(int tag);
    // Releases the old background and retains the new one.
    virtual void setBackground(Bitmap* background);
    virtual Bitmap* background() const;
    virtual void setBackgroundOffset(const Point& offset);
    // Makes the background offset the bounds' top-left corner.
    virtual void alignBackgroundOffset();
    virtual void setWheelStep(float step);
    virtual float wheelStep() const;
    virtual void clampValue();

    int tag() const { return tag_; }
    ControlListener* listener() const { return listener_; }

  protected:
    // Tells the listener when the value needs painting (the value moved or the flag is set), unless the
    // frame was closed: the listener may be gone then.
    void notifyIfDirty(DrawContext* context);
    // The host closed the editor during this control's drag: stop tracking and tell nobody.
    bool frameClosed() const;
    // The host's begin-edit and end-edit notifications for this control's tag, through the frame.
    void beginEdit();
    void endEdit();

    ControlListener* listener_;
    int tag_;
    float lastDrawnValue_ = 1.0f;
    float defaultValue_ = 0.5f;
    float value_ = 0.0f;
    float minValue_ = 0.0f;
    float maxValue_ = 1.0f;
    float wheelStep_ = 0.1f;
    Bitmap* background_;
    Point backgroundOffset_;
};
