#include "shell/EditorFactory.h"

#include "editor/LimiterEditor.h"
#include "shell/LimiterEffect.h"

#include <new>

// The editor registers itself with the effect, which owns it from then on.
bool attachEditor(LimiterEffect& effect) { return new (std::nothrow) LimiterEditor(&effect) != nullptr; }
