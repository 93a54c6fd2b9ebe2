// The Linux library boundary: hosts look for VSTPluginMain or main; both build an instance.
#include "vst2/PluginEntry.h"

#define QV3_EXPORT extern "C" __attribute__((visibility("default")))

QV3_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    return createPluginInstance(host);
}

// A C++ function cannot be named main, so the second export gets that symbol name from the assembler.
QV3_EXPORT AEffect* pluginMainAlias(audioMasterCallback host) __asm__("main");
AEffect* pluginMainAlias(audioMasterCallback host) {
    return createPluginInstance(host);
}
