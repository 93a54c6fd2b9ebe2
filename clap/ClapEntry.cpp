// The library's one export, clap_entry: the plug-in factory with this build's one plug-in, and the
// preset-discovery factory under its stable and its draft id.
#include "clap/ClapPlugin.h"

#include <clap/entry.h>
#include <clap/plugin-factory.h>

#include <cstring>

namespace {
bool is(const char* id, const char* name) { return id && std::strcmp(id, name) == 0; }

std::uint32_t CLAP_ABI pluginCountEntry(const clap_plugin_factory_t*) { return 1; }
const clap_plugin_descriptor_t* CLAP_ABI pluginDescriptorEntry(const clap_plugin_factory_t*,
                                                               std::uint32_t index) {
    return index == 0 ? &ClapPlugin::kDescriptor : nullptr;
}
const clap_plugin_t* CLAP_ABI createPluginEntry(const clap_plugin_factory_t*, const clap_host_t* host,
                                                const char* id) {
    if (!host || !host->get_extension || !clap_version_is_compatible(host->clap_version) ||
        !is(id, ClapPlugin::kDescriptor.id))
        return nullptr;
    return (new ClapPlugin(host))->record();
}
const clap_plugin_factory_t kPluginFactory = {pluginCountEntry, pluginDescriptorEntry, createPluginEntry};

bool CLAP_ABI initEntry(const char*) { return true; }
void CLAP_ABI deinitEntry() {}
const void* CLAP_ABI factoryEntry(const char* id) {
    if (is(id, CLAP_PLUGIN_FACTORY_ID)) return &kPluginFactory;
    if (is(id, kClapPresetDiscoveryFactoryId) || is(id, kClapPresetDiscoveryFactoryIdCompat))
        return &kClapPresetDiscoveryFactory;
    return nullptr;
}
} // namespace

extern "C" const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, initEntry, deinitEntry, factoryEntry};
