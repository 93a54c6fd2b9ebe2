// The bank's 31 programs as presets: a discovery factory whose one provider declares the plug-in itself as
// their location and lists them by key, and the preset-load extension that selects one by key. A program's
// key is its index in the bank, which never changes.
#include "clap/ClapPlugin.h"

#include "core/BuildConfig.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
constexpr std::size_t kKeySize = 4;

void keyOf(int program, char (&key)[kKeySize]) { std::snprintf(key, sizeof key, "%d", program); }

// The program a key names, or -1.
int programOfKey(const char* key) {
    if (!key) return -1;
    for (int program = 0; program < LimiterCore::programCount(); ++program) {
        char known[kKeySize];
        keyOf(program, known);
        if (std::strcmp(key, known) == 0) return program;
    }
    return -1;
}

const clap_preset_discovery_provider_descriptor_t kProviderDescriptor = {
    CLAP_VERSION_INIT,
    kStereoBuild ? "com.tarnwick.orvanta-qv3.factory-presets"
                 : "com.tarnwick.orvanta-qv3-mono.factory-presets",
    kStereoBuild ? "Orvanta_QV3 factory presets" : "Orvanta_QV3mono factory presets",
    kVendorName,
};

// One provider a host's indexer created; it lives until the indexer destroys it.
class PresetProvider {
  public:
    explicit PresetProvider(const clap_preset_discovery_indexer_t* indexer)
        : record_{&kProviderDescriptor, this, initEntry, destroyEntry, metadataEntry, extensionEntry},
          indexer_(indexer) {}

    const clap_preset_discovery_provider_t* record() const { return &record_; }

  private:
    static PresetProvider& of(const clap_preset_discovery_provider_t* provider) {
        return *static_cast<PresetProvider*>(provider->provider_data);
    }
    static bool CLAP_ABI initEntry(const clap_preset_discovery_provider_t* provider) {
        return of(provider).init();
    }
    static void CLAP_ABI destroyEntry(const clap_preset_discovery_provider_t* provider) {
        delete &of(provider);
    }
    static bool CLAP_ABI metadataEntry(const clap_preset_discovery_provider_t*, std::uint32_t kind,
                                       const char*,
                                       const clap_preset_discovery_metadata_receiver_t* receiver) {
        return receiver && kind == kClapPresetLocationPlugin && listPresets(*receiver);
    }
    static const void* CLAP_ABI extensionEntry(const clap_preset_discovery_provider_t*, const char*) {
        return nullptr;
    }

    bool init() const {
        const clap_preset_discovery_location_t location = {kClapPresetIsFactoryContent, "Factory presets",
                                                           kClapPresetLocationPlugin, nullptr};
        return indexer_->declare_location && indexer_->declare_location(indexer_, &location);
    }

    static bool listPresets(const clap_preset_discovery_metadata_receiver_t& receiver) {
        const auto bank = std::make_unique<LimiterCore>();
        const clap_universal_plugin_id_t plugin = {"clap", ClapPlugin::kDescriptor.id};
        for (int program = 0; program < LimiterCore::programCount(); ++program) {
            char name[kProgramNameSize];
            char key[kKeySize];
            bank->programName(program, name);
            keyOf(program, key);
            if (!receiver.begin_preset(&receiver, name, key)) break;
            receiver.add_plugin_id(&receiver, &plugin);
            receiver.set_flags(&receiver, kClapPresetIsFactoryContent);
        }
        return true;
    }

    const clap_preset_discovery_provider_t record_;
    const clap_preset_discovery_indexer_t* const indexer_;
};

std::uint32_t CLAP_ABI providerCountEntry(const clap_preset_discovery_factory_t*) { return 1; }
const clap_preset_discovery_provider_descriptor_t* CLAP_ABI
providerDescriptorEntry(const clap_preset_discovery_factory_t*, std::uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}
const clap_preset_discovery_provider_t* CLAP_ABI createProviderEntry(
    const clap_preset_discovery_factory_t*, const clap_preset_discovery_indexer_t* indexer, const char* id) {
    if (!indexer || !id || std::strcmp(id, kProviderDescriptor.id) != 0) return nullptr;
    return (new PresetProvider(indexer))->record();
}

bool CLAP_ABI loadPresetEntry(const clap_plugin_t* plugin, std::uint32_t kind, const char* location,
                              const char* key) {
    return ClapPlugin::of(plugin).loadPreset(kind, location, key);
}
} // namespace

const clap_preset_discovery_factory_t kClapPresetDiscoveryFactory = {
    providerCountEntry, providerDescriptorEntry, createProviderEntry};
const clap_plugin_preset_load_t kClapPresetLoad = {loadPresetEntry};

bool ClapPlugin::loadPreset(std::uint32_t kind, const char* location, const char* key) {
    const int program = kind == kClapPresetLocationPlugin ? programOfKey(key) : -1;
    if (program < 0) {
        if (hostPresetLoad_ && hostPresetLoad_->on_error)
            hostPresetLoad_->on_error(host_, kind, location, key, 0, "no factory preset has this key");
        return false;
    }
    core_.selectProgram(program);
    rescanValues();
    if (hostPresetLoad_ && hostPresetLoad_->loaded) hostPresetLoad_->loaded(host_, kind, location, key);
    return true;
}
