// The preset-discovery factory and the preset-load extension, as far as this plug-in uses them. The
// CLAP 1.1.1 headers we build with predate both; these declarations follow their published, stable ABI
// (CLAP 1.2), field for field, so every struct here must keep its layout.
#pragma once

#include <clap/plugin.h>
#include <clap/version.h>

#include <cstdint>

extern "C" {

static constexpr char kClapPresetDiscoveryFactoryId[] = "clap.preset-discovery-factory/2";
// The draft id some hosts still ask for; the draft's ABI is the same.
static constexpr char kClapPresetDiscoveryFactoryIdCompat[] = "clap.preset-discovery-factory/draft-2";
static constexpr char kClapExtPresetLoad[] = "clap.preset-load/2";
static constexpr char kClapExtPresetLoadCompat[] = "clap.preset-load.draft/2";

enum : std::uint32_t {
    kClapPresetLocationFile = 0,
    // The presets live inside the plug-in itself; the location is then null.
    kClapPresetLocationPlugin = 1,
};

enum : std::uint32_t {
    kClapPresetIsFactoryContent = 1 << 0,
    kClapPresetIsUserContent = 1 << 1,
};

using clap_timestamp_t = std::uint64_t;

typedef struct clap_universal_plugin_id {
    const char* abi; // "clap" for a CLAP plug-in id
    const char* id;
} clap_universal_plugin_id_t;

typedef struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    void(CLAP_ABI* on_error)(const struct clap_preset_discovery_metadata_receiver* receiver,
                             std::int32_t os_error, const char* error_message);
    // False: the provider stops calling the receiver.
    bool(CLAP_ABI* begin_preset)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                 const char* name, const char* load_key);
    void(CLAP_ABI* add_plugin_id)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                  const clap_universal_plugin_id_t* plugin_id);
    void(CLAP_ABI* set_soundpack_id)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                     const char* soundpack_id);
    void(CLAP_ABI* set_flags)(const struct clap_preset_discovery_metadata_receiver* receiver,
                              std::uint32_t flags);
    void(CLAP_ABI* add_creator)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                const char* creator);
    void(CLAP_ABI* set_description)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                    const char* description);
    void(CLAP_ABI* set_timestamps)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                   clap_timestamp_t creation_time, clap_timestamp_t modification_time);
    void(CLAP_ABI* add_feature)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                const char* feature);
    void(CLAP_ABI* add_extra_info)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                   const char* key, const char* value);
} clap_preset_discovery_metadata_receiver_t;

typedef struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;
    const char* file_extension;
} clap_preset_discovery_filetype_t;

typedef struct clap_preset_discovery_location {
    std::uint32_t flags;
    const char* name;
    std::uint32_t kind;
    const char* location;
} clap_preset_discovery_location_t;

typedef struct clap_preset_discovery_soundpack {
    std::uint32_t flags;
    const char* id;
    const char* name;
    const char* description;
    const char* homepage_url;
    const char* vendor;
    const char* image_path;
    clap_timestamp_t release_timestamp;
} clap_preset_discovery_soundpack_t;

typedef struct clap_preset_discovery_provider_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
} clap_preset_discovery_provider_descriptor_t;

typedef struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor_t* desc;
    void* provider_data;
    bool(CLAP_ABI* init)(const struct clap_preset_discovery_provider* provider);
    void(CLAP_ABI* destroy)(const struct clap_preset_discovery_provider* provider);
    bool(CLAP_ABI* get_metadata)(const struct clap_preset_discovery_provider* provider,
                                 std::uint32_t location_kind, const char* location,
                                 const clap_preset_discovery_metadata_receiver_t* metadata_receiver);
    const void*(CLAP_ABI* get_extension)(const struct clap_preset_discovery_provider* provider,
                                         const char* extension_id);
} clap_preset_discovery_provider_t;

typedef struct clap_preset_discovery_indexer {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(CLAP_ABI* declare_filetype)(const struct clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_filetype_t* filetype);
    bool(CLAP_ABI* declare_location)(const struct clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_location_t* location);
    bool(CLAP_ABI* declare_soundpack)(const struct clap_preset_discovery_indexer* indexer,
                                      const clap_preset_discovery_soundpack_t* soundpack);
    const void*(CLAP_ABI* get_extension)(const struct clap_preset_discovery_indexer* indexer,
                                         const char* extension_id);
} clap_preset_discovery_indexer_t;

typedef struct clap_preset_discovery_factory {
    std::uint32_t(CLAP_ABI* count)(const struct clap_preset_discovery_factory* factory);
    const clap_preset_discovery_provider_descriptor_t*(CLAP_ABI* get_descriptor)(
        const struct clap_preset_discovery_factory* factory, std::uint32_t index);
    const clap_preset_discovery_provider_t*(CLAP_ABI* create)(
        const struct clap_preset_discovery_factory* factory, const clap_preset_discovery_indexer_t* indexer,
        const char* provider_id);
} clap_preset_discovery_factory_t;

typedef struct clap_plugin_preset_load {
    // [main-thread]
    bool(CLAP_ABI* from_location)(const clap_plugin_t* plugin, std::uint32_t location_kind,
                                  const char* location, const char* load_key);
} clap_plugin_preset_load_t;

typedef struct clap_host_preset_load {
    // [main-thread]
    void(CLAP_ABI* on_error)(const clap_host_t* host, std::uint32_t location_kind, const char* location,
                             const char* load_key, std::int32_t os_error, const char* msg);
    // [main-thread]
    void(CLAP_ABI* loaded)(const clap_host_t* host, std::uint32_t location_kind, const char* location,
                           const char* load_key);
} clap_host_preset_load_t;
}
