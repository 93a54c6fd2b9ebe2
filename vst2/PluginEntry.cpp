#include "vst2/PluginEntry.h"

#include "vst2/LimiterEffect.h"

#include <new>

AEffect* createPluginInstance(audioMasterCallback host) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    LimiterEffect* effect = new (std::nothrow) LimiterEffect(host);
    if (!effect) return nullptr;
    if (effect->editorFailed()) {
        delete effect;
        return nullptr;
    }
    return effect->record();
}
