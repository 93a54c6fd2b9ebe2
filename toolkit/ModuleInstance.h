// The plug-in module's own instance handle. The library's load notification records it; the toolkit loads its
// bitmap resources from it and names its window class after it.
#pragma once

#include <windows.h>

HINSTANCE moduleInstance();
void setModuleInstance(HINSTANCE instance);
