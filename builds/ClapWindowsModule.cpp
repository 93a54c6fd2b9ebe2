// The load notification of the Windows .clap files: records the module handle, where the toolkit finds the
// editor's skin among the file's resources. The export, clap_entry, is the CLAP layer's.
#include <windows.h>

#include "toolkit/ModuleInstance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    setModuleInstance(instance);
    return TRUE;
}
