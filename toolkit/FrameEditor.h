// What the Frame needs from the editor that owns it. The plug-in's editor base implements it; the toolkit
// knows nothing else of the editor.
#pragma once

class FrameEditor {
  public:
    // Idle work while a control's drag loop holds the user-interface thread.
    virtual void pumpIdle() = 0;
    // Host notifications bracketing a drag of parameter index (audioMasterBeginEdit / audioMasterEndEdit).
    virtual bool beginParameterEdit(int index) = 0;
    virtual bool endParameterEdit(int index) = 0;

  protected:
    ~FrameEditor() = default;
};
