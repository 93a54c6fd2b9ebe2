// Small hosts for the CLAP tests: the built .clap files and the VST 2.x libraries beside them, loaded from
// this program's folder as a host loads them, each instance driven through its format's own records.
#pragma once

#include "clap/PresetAbi.h"
#include "vst2/VstInterface.h"

#include <clap/entry.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What the tests expect of each build.
struct Variant {
    const char* label;
    const char* clapFile;
    const char* vst2File;
    const char* pluginId;
    std::uint32_t channels;
};
extern const Variant kVariants[2];
// Names the build in GoogleTest's messages.
void PrintTo(const Variant& variant, std::ostream* out);

// Audio as the host holds it: one vector of samples per channel.
using ChannelBuffers = std::vector<std::vector<float>>;
// Loud, varied material that keeps the limiter busy: tones, bursts and noise, peaks well above full scale.
ChannelBuffers testMaterial(std::uint32_t channels, std::size_t frames);
bool sameSamples(const ChannelBuffers& a, const ChannelBuffers& b); // bit for bit

// A library file beside this program, loaded for the life of the object.
class Module {
  public:
    explicit Module(const std::string& fileName);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    void* symbol(const char* name) const;

  private:
    void* handle_;
};

// A parameter change for the CLAP plug-in: `frame` counts from the start of the whole render.
struct Change {
    std::uint32_t frame;
    clap_id id;
    double value;
};

// An event the plug-in sent the host: a gesture begin or end, or a value.
struct OutputEvent {
    std::uint16_t type;
    clap_id id;
    double value;
};

// What the plug-ins told the host.
struct HostLog {
    int valueRescans = 0;
    std::vector<std::string> loadedKeys;
    int presetErrors = 0;
    int flushRequests = 0;
    std::vector<clap_id> timers; // registered now
};

// One .clap file: its entry initialised for the life of the object.
class ClapModule {
  public:
    explicit ClapModule(const Variant& variant);
    ~ClapModule();
    const clap_plugin_entry_t& entry() const { return *entry_; }
    const clap_plugin_factory_t& pluginFactory() const;

  private:
    Module module_;
    const clap_plugin_entry_t* entry_;
};

// One plug-in instance, initialised and activated at 44100 Hz, with a host of its own.
class ClapInstance {
  public:
    explicit ClapInstance(const ClapModule& module, const char* pluginId);
    ~ClapInstance();
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    const clap_plugin_t* plugin() const { return plugin_; }
    const HostLog& log() const { return log_; }
    template <typename Extension> const Extension* extension(const char* id) const {
        return static_cast<const Extension*>(plugin_->get_extension(plugin_, id));
    }

    double value(clap_id id) const;
    std::string text(clap_id id, double value) const;
    std::optional<double> parse(clap_id id, const char* text) const;
    // Changes applied through params.flush, as a host does while not processing; answers what the plug-in
    // sent.
    std::vector<OutputEvent> flush(const std::vector<Change>& changes = {}) const;
    // Called when the plug-in asks for a flush, after the request is counted.
    void onFlushRequest(std::function<void()> action) { onFlushRequest_ = std::move(action); }
    // Destroys the instance now, as a host may at any time; the instance is gone afterwards.
    void destroy();
    // Calls the plug-in's on_timer for every timer it registered, as the host's timers would.
    void fireTimers() const;
    bool loadPreset(const char* key) const;
    // `chunk` bytes at most per stream call, as hosts may pass them.
    std::vector<std::uint8_t> saveState(std::size_t chunk = 1 << 20) const;
    bool loadState(const std::vector<std::uint8_t>& bytes, std::size_t chunk = 1 << 20) const;

    // Runs `input` through process in blocks of the given sizes (the last repeated), each change sent in the
    // block that holds its frame; the buffers are separate or, with `inPlace`, the input's own.
    ChannelBuffers render(const ChannelBuffers& input, const std::vector<std::uint32_t>& blockSizes,
                          const std::vector<Change>& changes = {}, bool inPlace = false) const;
    // One block, with the events as they are given: times may be out of order or past the block.
    clap_process_status processBlock(ChannelBuffers& buffers,
                                     const std::vector<clap_event_param_value_t>& events) const;

  private:
    static const void* CLAP_ABI hostExtension(const clap_host_t* host, const char* id);
    static HostLog& logOf(const clap_host_t* host) {
        return static_cast<ClapInstance*>(host->host_data)->log_;
    }

    clap_host_t host_;
    clap_host_params_t hostParams_;
    clap_host_preset_load_t hostPresetLoad_;
    clap_host_timer_support_t hostTimers_;
    HostLog log_;
    std::function<void()> onFlushRequest_;
    const clap_plugin_t* plugin_ = nullptr;
};

// A parameter change for the VST 2.x library, made before the block that starts at `frame`.
struct Vst2Change {
    std::uint32_t frame;
    std::int32_t index;
    float value;
};

// One VST 2.x instance of the library beside this program, resumed at 44100 Hz.
class Vst2Instance {
  public:
    explicit Vst2Instance(const Variant& variant);
    ~Vst2Instance();
    Vst2Instance(const Vst2Instance&) = delete;
    Vst2Instance& operator=(const Vst2Instance&) = delete;

    void set(std::int32_t index, float value) const { effect_->setParameter(effect_, index, value); }
    float get(std::int32_t index) const { return effect_->getParameter(effect_, index); }
    std::string display(std::int32_t index) const;
    std::string programName(std::int32_t index) const;
    void selectProgram(std::int32_t program) const;
    ChannelBuffers render(const ChannelBuffers& input, std::uint32_t blockSize,
                          const std::vector<Vst2Change>& changes = {}) const;

  private:
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;

    Module module_;
    AEffect* effect_;
};
