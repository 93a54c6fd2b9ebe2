// Receives every value change a control makes while the user works it (the editor implements it).
#pragma once

class Control;
class DrawContext;

class ControlListener {
  public:
    virtual void onControlChanged(DrawContext* context, Control* control) = 0;

  protected:
    ~ControlListener() = default;
};
