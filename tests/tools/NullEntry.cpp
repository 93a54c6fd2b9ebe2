// A library that looks like a plug-in but whose entry creates nothing, as when it refuses the host. The entry
// is exported as `main`: through its assembler name on Linux, through NullEntry.def on Windows.
#include "vst2/VstInterface.h"

#ifdef _WIN32
extern "C" AEffect* QV3_VSTCALL pluginEntryThatRefuses(audioMasterCallback) { return nullptr; }
#else
extern "C" __attribute__((visibility("default")))
AEffect* pluginEntryThatRefuses(audioMasterCallback) __asm__("main");
AEffect* pluginEntryThatRefuses(audioMasterCallback) { return nullptr; }
#endif
