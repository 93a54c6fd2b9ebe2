// The editor layer between a format and the toolkit: the window's size, the Frame while the window is open,
// idle that brings the views up to date and repaints dirty ones (on the frame's own timer, on a format's idle
// call, and about every 50 ms while a control's drag holds the user-interface thread), and the edits of the
// controls, which go to the effect through its EditInterface.
//
// Threads: everything runs on the host's user-interface thread except requestRefresh and parameterChanged,
// which may arrive from any thread.
#pragma once

#include "core/EditInterface.h"
#include "editor/PluginEditor.h"
#include "toolkit/FrameEditor.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class Frame;

class EditorBase : public PluginEditor, public FrameEditor {
  public:
    // Initialises OLE for the calling thread, which the frame's drop target needs.
    explicit EditorBase(EditInterface& effect);
    // Uninitialises OLE only when the constructor initialised it. The derived editor has closed the frame.
    ~EditorBase() override;

    int width() const override { return width_; }
    int height() const override { return height_; }
    // Requests a refresh so that the first idle pass after opening brings everything up to date; answers
    // false (the derived editor answers for itself). Remembers the calling thread as the user-interface
    // thread.
    bool open(void* parentWindow) override;
    // Serves a refresh request, repaints the meters whose readings changed and lets the frame repaint dirty
    // views; a call nested inside the host's answer to the drag's idle returns at once.
    void idle() override;

    // Called by the frame from inside a control's drag loop: runs idle about every 50 ms, dispatches one
    // waiting paint message and gives the effect its dragIdle.
    void pumpIdle() override;
    void timerTick() override { idle(); }
    // A control's tag names the parameter it edits (editParameter); other tags bracket nothing.
    bool beginParameterEdit(int tag) override;
    bool endParameterEdit(int tag) override;

  protected:
    // Any thread: only raises a flag that the next idle pass serves with refresh().
    void requestRefresh();
    // Brings every control up to date with the effect without painting.
    virtual void refresh() {}
    // Repaints the meters whose published readings changed since they last painted.
    virtual void refreshMeters() {}
    // The parameter a control's tag edits now; false for a tag that edits none.
    virtual bool editedParameter(int tag, ParameterId& id) = 0;
    // True on the thread that opened the window; parameter changes from other threads must not paint.
    bool onUserInterfaceThread() const;
    // Starts the frame's idle timer: meter readings are published about ten times a second.
    void startIdleTimer();

    // Millisecond tick source and sleep of pumpIdle; tests replace them to step time exactly.
    virtual std::uint32_t tickCount() const;
    virtual void sleepMilliseconds(std::uint32_t milliseconds);

    EditInterface& effect_;
    int width_ = 0;
    int height_ = 0;
    Frame* frame_ = nullptr;

  private:
    std::uint32_t nextIdleTime_;
    bool inIdle_ = false;
    bool oleInitialized_ = false;
    std::atomic<bool> refreshRequested_{false};
    std::atomic<DWORD> userInterfaceThread_{0};
    // While pumpIdle calls out to the host: its flag, which the destructor sets.
    bool* destroyedFlag_ = nullptr;
};
