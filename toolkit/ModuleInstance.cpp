#include "ModuleInstance.h"

namespace {
HINSTANCE recordedInstance = nullptr;
}

HINSTANCE moduleInstance() {
    // A host program that links the toolkit directly (the test programs) has no load notification.
    return recordedInstance ? recordedInstance : GetModuleHandleA(nullptr);
}

void setModuleInstance(HINSTANCE instance) {
    recordedInstance = instance;
}
