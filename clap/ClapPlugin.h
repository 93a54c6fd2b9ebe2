// One CLAP plug-in instance: the clap_plugin_t record a host holds, over one LimiterCore and, in builds with
// one, the editor. Each extension's static entries (in the file of that extension) recover the instance with
// ClapPlugin::of and call the member of the same name; the members translate between the host's terms and the
// core's.
//
// Threads, as the host's CLAP calls arrive:
// - main thread: init, destroy, activate, deactivate, extension, the parameter queries, the
//   state, preset loading, the gui and the editor's calls.
// - audio thread: reset, process; flushParameters while processing.
// - flushParameters while not processing: the main thread.
#pragma once

#include "clap/ClapEdits.h"
#include "clap/PresetAbi.h"
#include "core/LimiterCore.h"
#include "core/ParameterLayout.h"
#include "editor/PluginEditor.h"

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin.h>

#include <cstdint>
#include <memory>

class ClapPlugin final : private ValueListener {
  public:
    static const clap_plugin_descriptor_t kDescriptor;

    explicit ClapPlugin(const clap_host_t* host);
    // The editor goes first: whatever it still tells the instance on its way out finds the instance whole.
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    static ClapPlugin& of(const clap_plugin_t* plugin) {
        return *static_cast<ClapPlugin*>(plugin->plugin_data);
    }
    const clap_plugin_t* record() const { return &record_; }

    bool init();
    bool activate(double sampleRate);
    void deactivate();
    void reset();
    clap_process_status process(const clap_process_t& process) QV3_NONBLOCKING;
    const void* extension(const char* id) const;

    // Parameters (ClapParameters.cpp). Hosts see the core's ids; a stepped parameter's value is its step
    // number, a continuous one's the core's normalised value.
    static std::uint32_t parameterCount() { return kParameterIdCount; }
    static bool describeParameter(std::uint32_t index, clap_param_info_t& info);
    bool parameterValue(clap_id id, double& value) const;
    static bool valueToText(clap_id id, double value, char* text, std::uint32_t size);
    static bool textToValue(clap_id id, const char* text, double& value);
    void flushParameters(const clap_input_events_t* in, const clap_output_events_t* out) QV3_NONBLOCKING;

    // State (ClapState.cpp): the core's versioned bytes through the host's stream.
    bool saveState(const clap_ostream_t& stream) const;
    bool loadState(const clap_istream_t& stream);

    // Presets (ClapPresets.cpp): the bank's programs, by their index as the key.
    bool loadPreset(std::uint32_t locationKind, const char* location, const char* key);

    // Gui (ClapGui.cpp), offered only when this build made an editor. Its size is fixed. While it exists, a
    // host timer (where the host has timers) sends the editor's edits on when the host is not processing.
    bool createGui();
    void destroyGui();
    bool guiSize(std::uint32_t& width, std::uint32_t& height) const;
    bool openGui(void* parentWindow);
    void onTimer(clap_id timer);

    LimiterCore& core() { return core_; }
    const clap_host_t* host() const { return host_; }

  private:
    // Applies the parameter events of a block, the others ignored; with a splitter each at its frame.
    template <typename Apply>
    static void forEachParameterChange(const clap_input_events_t* in, Apply apply) QV3_NONBLOCKING;
    // Tells the editor, if there is one, of a value the host changed; from any thread.
    void showInEditor(ParameterId id) QV3_NONBLOCKING;
    // Tells the host that values changed without events: a preset or a state was loaded.
    void rescanValues();
    // The core's word of values it changed itself (a preset or a state was loaded), for the editor.
    void valueChanged(ParameterId id, float value) QV3_NONBLOCKING override;

    clap_plugin_t record_;
    const clap_host_t* host_;
    const clap_host_params_t* hostParams_ = nullptr;
    const clap_host_preset_load_t* hostPresetLoad_ = nullptr;
    LimiterCore core_;
    ClapEdits edits_;
    std::unique_ptr<PluginEditor> editor_;
    bool editorFailed_ = false;
    bool guiCreated_ = false;
    const clap_host_timer_support_t* hostTimers_ = nullptr;
    clap_id editTimer_ = CLAP_INVALID_ID;
};

// Host values in CLAP terms to the core's normalised values and back; false for an unknown id or a value that
// is not finite. Continuous values are bounded to 0..1 and steps rounded into 0..stepCount.
bool normalisedFromClap(clap_id id, double clapValue, float& normalised);
double clapFromNormalised(ParameterId id, float normalised);

// The extension tables, one per file; ClapPlugin::extension hands them out.
extern const clap_plugin_audio_ports_t kClapAudioPorts;
extern const clap_plugin_gui_t kClapGui;
extern const clap_plugin_timer_support_t kClapTimerSupport;
extern const clap_plugin_latency_t kClapLatency;
extern const clap_plugin_params_t kClapParams;
extern const clap_plugin_state_t kClapState;
extern const clap_plugin_preset_load_t kClapPresetLoad;
// The preset-discovery factory of this build's file (ClapPresets.cpp).
extern const clap_preset_discovery_factory_t kClapPresetDiscoveryFactory;
