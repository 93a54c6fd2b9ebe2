#include "editor/PluginEditor.h"

// This build has no editor window; the effect works without one.
bool makeEditor(EditInterface&, std::unique_ptr<PluginEditor>& editor) {
    editor.reset();
    return true;
}
