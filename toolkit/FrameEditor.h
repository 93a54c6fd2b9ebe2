// What the Frame needs from the editor that owns it. The plug-in's editor base implements it; the toolkit
// knows nothing else of the editor.
#pragma once

class FrameEditor {
  public:
    // Idle work while a control's drag loop holds the user-interface thread.
    virtual void pumpIdle() = 0;
    // The frame's timer (Frame::startTimer) went off.
    virtual void timerTick() = 0;
    // The host's begin and end of an edit, bracketing a drag of the control with this tag.
    virtual bool beginParameterEdit(int index) = 0;
    virtual bool endParameterEdit(int index) = 0;

  protected:
    ~FrameEditor() = default;
};
