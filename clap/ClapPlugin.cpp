#include "clap/ClapPlugin.h"

#include "Version.h"
#include "core/BuildConfig.h"

#include <cstring>

namespace {
const char* kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_LIMITER,
                           CLAP_PLUGIN_FEATURE_MASTERING,
                           kStereoBuild ? CLAP_PLUGIN_FEATURE_STEREO : CLAP_PLUGIN_FEATURE_MONO, nullptr};

bool CLAP_ABI initEntry(const clap_plugin_t* plugin) { return ClapPlugin::of(plugin).init(); }
void CLAP_ABI destroyEntry(const clap_plugin_t* plugin) { delete &ClapPlugin::of(plugin); }
bool CLAP_ABI activateEntry(const clap_plugin_t* plugin, double sampleRate, std::uint32_t, std::uint32_t) {
    return ClapPlugin::of(plugin).activate(sampleRate);
}
void CLAP_ABI deactivateEntry(const clap_plugin_t* plugin) { ClapPlugin::of(plugin).deactivate(); }
bool CLAP_ABI startProcessingEntry(const clap_plugin_t*) { return true; }
void CLAP_ABI stopProcessingEntry(const clap_plugin_t*) {}
void CLAP_ABI resetEntry(const clap_plugin_t* plugin) { ClapPlugin::of(plugin).reset(); }
clap_process_status CLAP_ABI processEntry(const clap_plugin_t* plugin,
                                          const clap_process_t* process) QV3_NONBLOCKING {
    return process ? ClapPlugin::of(plugin).process(*process) : CLAP_PROCESS_ERROR;
}
const void* CLAP_ABI extensionEntry(const clap_plugin_t* plugin, const char* id) {
    return id ? ClapPlugin::of(plugin).extension(id) : nullptr;
}
void CLAP_ABI onMainThreadEntry(const clap_plugin_t*) {}

bool is(const char* id, const char* name) { return std::strcmp(id, name) == 0; }
} // namespace

// Ids are reverse-domain and never change: hosts store them in their projects.
const clap_plugin_descriptor_t ClapPlugin::kDescriptor = {
    CLAP_VERSION_INIT,
    kStereoBuild ? "com.tarnwick.orvanta-qv3" : "com.tarnwick.orvanta-qv3-mono",
    kEffectName,
    kVendorName,
    "",
    "",
    "",
    QV3_VERSION,
    kStereoBuild ? "Look-ahead peak limiter and loudness maximizer"
                 : "Look-ahead peak limiter and loudness maximizer, one channel",
    kFeatures,
};

ClapPlugin::ClapPlugin(const clap_host_t* host)
    : record_{&kDescriptor,
              this,
              initEntry,
              destroyEntry,
              activateEntry,
              deactivateEntry,
              startProcessingEntry,
              stopProcessingEntry,
              resetEntry,
              processEntry,
              extensionEntry,
              onMainThreadEntry},
      host_(host), edits_(core_, host) {
    editorFailed_ = !makeEditor(edits_, editor_);
    edits_.setEditor(editor_.get());
    core_.setListener(this);
}

ClapPlugin::~ClapPlugin() {
    destroyGui();
    edits_.setEditor(nullptr);
    editor_.reset();
    core_.setListener(nullptr);
}

bool ClapPlugin::init() {
    hostParams_ = static_cast<const clap_host_params_t*>(host_->get_extension(host_, CLAP_EXT_PARAMS));
    edits_.setHostParams(hostParams_);
    hostTimers_ =
        static_cast<const clap_host_timer_support_t*>(host_->get_extension(host_, CLAP_EXT_TIMER_SUPPORT));
    hostPresetLoad_ =
        static_cast<const clap_host_preset_load_t*>(host_->get_extension(host_, kClapExtPresetLoad));
    if (!hostPresetLoad_)
        hostPresetLoad_ = static_cast<const clap_host_preset_load_t*>(
            host_->get_extension(host_, kClapExtPresetLoadCompat));
    return !editorFailed_;
}

bool ClapPlugin::activate(double sampleRate) {
    core_.setSampleRate(sampleRate);
    core_.reset();
    return true;
}

void ClapPlugin::deactivate() { core_.reset(); }

void ClapPlugin::reset() { core_.reset(); }

const void* ClapPlugin::extension(const char* id) const {
    if (is(id, CLAP_EXT_AUDIO_PORTS)) return &kClapAudioPorts;
    if (is(id, CLAP_EXT_GUI)) return editor_ ? &kClapGui : nullptr;
    if (is(id, CLAP_EXT_TIMER_SUPPORT)) return editor_ ? &kClapTimerSupport : nullptr;
    if (is(id, CLAP_EXT_LATENCY)) return &kClapLatency;
    if (is(id, CLAP_EXT_PARAMS)) return &kClapParams;
    if (is(id, CLAP_EXT_STATE)) return &kClapState;
    if (is(id, kClapExtPresetLoad) || is(id, kClapExtPresetLoadCompat)) return &kClapPresetLoad;
    return nullptr;
}

void ClapPlugin::valueChanged(ParameterId id, float) QV3_NONBLOCKING { showInEditor(id); }

void ClapPlugin::rescanValues() {
    if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
}
