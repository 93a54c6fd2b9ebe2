#include "editor/LimiterEditor.h"

#include <new>

bool makeEditor(EditInterface& effect, std::unique_ptr<PluginEditor>& editor) {
    editor.reset(new (std::nothrow) LimiterEditor(effect));
    return editor != nullptr;
}
