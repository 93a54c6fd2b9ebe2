// What the library's exported entry does: ask for a host, build one effect, hand out its record.
#pragma once

#include "vst2/VstInterface.h"

// Null when the host does not answer audioMasterVersion, or when the effect or its editor cannot be made.
AEffect* createPluginInstance(audioMasterCallback host);
