// The editor window as a format layer holds it, without any window-system type: a format makes it over its
// EditInterface, opens it in the host's parent window, closes it, and tells it of values the host changed.
// Builds with a window system link the editor's factory; builds without one (the Linux plug-in) link the one
// that makes none.
//
// Threads: the host's user-interface thread, except parameterChanged (any thread, the audio thread included).
#pragma once

#include "core/ParameterLayout.h"

#include <memory>

class EditInterface;

class PluginEditor {
  public:
    virtual ~PluginEditor() = default;

    // The window's size in pixels, fixed for the editor's life.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Builds the window inside parentWindow (an HWND on Windows); a window still open is closed first.
    virtual bool open(void* parentWindow) = 0;
    virtual void close() = 0;
    // Brings the window up to date: values changed elsewhere, new meter readings, dirty views. The editor
    // does this on its own timer too; formats whose hosts send idle calls pass them on.
    virtual void idle() = 0;
    // A value changed by the host (automation, program change), already stored. On the user-interface thread
    // the bound views repaint at once; from another thread the change waits for the next idle pass.
    virtual void parameterChanged(ParameterId id) = 0;
};

// False only when an editor belongs to this build and could not be made; `editor` stays null in a build
// without one.
bool makeEditor(EditInterface& effect, std::unique_ptr<PluginEditor>& editor);
