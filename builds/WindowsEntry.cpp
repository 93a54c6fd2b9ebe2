// The Windows library boundary: the load notification records the module handle for the toolkit's resources,
// and the one export, `main` (see exports.def), builds an instance.
#include <windows.h>

#include "vst2/PluginEntry.h"
#include "toolkit/ModuleInstance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    setModuleInstance(instance);
    return TRUE;
}

extern "C" AEffect* QV3_VSTCALL VSTPluginMain(audioMasterCallback host) {
    return createPluginInstance(host);
}
