#include "shell/EditorFactory.h"

// This build has no editor window; the effect works without one.
bool attachEditor(LimiterEffect&) { return true; }
