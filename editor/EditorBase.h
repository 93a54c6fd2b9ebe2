// The editor layer between the host's editor opcodes and the toolkit: the editor rectangle, the Frame while
// the window is open, idle that serves the refresh requests and repaints dirty views, and idle pumping while
// a control's drag holds the user-interface thread.
//
// Threads: everything runs on the host's user-interface thread except requestRefresh, requestMeterRefresh and
// parameterChanged (PlainEditor), which may arrive from any thread.
#pragma once

#include "shell/PlainEditor.h"
#include "toolkit/FrameEditor.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class Frame;

class EditorBase : public PlainEditor, public FrameEditor {
  public:
    // Registers with the effect (which then owns the editor) and initialises OLE for the calling thread,
    // which the frame's drop target needs.
    explicit EditorBase(EffectBase* effect);
    // Uninitialises OLE only when the constructor initialised it. The derived editor has closed the frame.
    ~EditorBase() override;

    bool getRect(ERect** rect) override;
    // Requests every refresh so that the first idle pass after opening repaints everything; answers false
    // (the derived editor answers for itself). Remembers the calling thread as the user-interface thread.
    bool open(void* parentWindow) override;
    // Serves the refresh requests and lets the frame repaint dirty views; a call nested inside the host's
    // answer to audioMasterIdle returns at once.
    void idle() override;
    // Forwarded to the frame; -1 or false while the window is closed.
    std::int32_t keyDown(VstKeyCode& key) override;
    std::int32_t keyUp(VstKeyCode& key) override;
    std::int32_t setEditKnobMode(std::int32_t mode) override;
    bool wheel(float distance) override;

    // Called by the frame from inside a control's drag loop: runs idle about every 50 ms, dispatches one
    // waiting paint message and gives the host audioMasterIdle.
    void pumpIdle() override;
    bool beginParameterEdit(int index) override;
    bool endParameterEdit(int index) override;

    // The module-wide knob mode last set by the host. No view of this skin is a knob, so nothing else reads
    // it.
    static std::int32_t knobMode();

  protected:
    // True on the thread that opened the window; parameter changes from other threads must not paint.
    bool onUserInterfaceThread() const;

    // Millisecond tick source and sleep of pumpIdle; tests replace them to step time exactly.
    virtual std::uint32_t tickCount() const;
    virtual void sleepMilliseconds(std::uint32_t milliseconds);

    ERect rect_{};
    Frame* frame_ = nullptr;

  private:
    std::uint32_t nextIdleTime_;
    bool inIdle_ = false;
    bool oleInitialized_ = false;
    std::atomic<DWORD> userInterfaceThread_{0};
    // While pumpIdle calls out to the host: its flag, which the destructor sets.
    bool* destroyedFlag_ = nullptr;
};
