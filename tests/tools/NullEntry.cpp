// A library that looks like a plug-in but whose entry creates nothing, as when it refuses the host.
#include "shell/VstInterface.h"

extern "C" __attribute__((visibility("default")))
AEffect* pluginEntryThatRefuses(audioMasterCallback) __asm__("main");
AEffect* pluginEntryThatRefuses(audioMasterCallback) { return nullptr; }
