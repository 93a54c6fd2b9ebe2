// The Windows load notification of the libraries without the VST 2.x entry: it records the module handle,
// from which the editor's toolkit loads the skin's bitmaps.
#include <windows.h>

#include "toolkit/ModuleInstance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    setModuleInstance(instance);
    return TRUE;
}
