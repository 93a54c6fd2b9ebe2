#include "TestHosts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#ifdef _WIN32
const Variant kVariants[2] = {
    {"Stereo", "Orvanta_QV3.clap", "Orvanta_QV3.dll", "com.tarnwick.orvanta-qv3", 2},
    {"Mono", "Orvanta_QV3mono.clap", "Orvanta_QV3mono.dll", "com.tarnwick.orvanta-qv3-mono", 1},
};
#else
const Variant kVariants[2] = {
    {"Stereo", "Orvanta_QV3.clap", "Orvanta_QV3.so", "com.tarnwick.orvanta-qv3", 2},
    {"Mono", "Orvanta_QV3mono.clap", "Orvanta_QV3mono.so", "com.tarnwick.orvanta-qv3-mono", 1},
};
#endif

constexpr double kTwoPi = 6.283185307179586;

ChannelBuffers testMaterial(std::uint32_t channels, std::size_t frames) {
    ChannelBuffers buffers(channels, std::vector<float>(frames));
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / 44100.0;
        const double burst = (i / 3000) % 3 == 1 ? 2.5 : 0.6;
        const double random = static_cast<double>(noise >> 8) / 16777216.0 - 0.5;
        for (std::uint32_t c = 0; c < channels; ++c)
            buffers[c][i] =
                static_cast<float>(burst * std::sin(kTwoPi * (220.0 + 110.0 * c) * t) + 0.4 * random);
    }
    return buffers;
}

bool sameSamples(const ChannelBuffers& a, const ChannelBuffers& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t c = 0; c < a.size(); ++c)
        if (a[c].size() != b[c].size() ||
            std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0)
            return false;
    return true;
}

namespace {
std::string programFolder() {
#ifdef _WIN32
    char path[MAX_PATH] = {};
    std::string folder(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
#else
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder(path, length > 0 ? static_cast<std::size_t>(length) : 0);
#endif
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// Events of one block as the host hands them over.
struct EventList {
    clap_input_events_t record;
    const std::vector<clap_event_param_value_t>* events;

    explicit EventList(const std::vector<clap_event_param_value_t>& list)
        : record{this, sizeEntry, getEntry}, events(&list) {}
    static std::uint32_t CLAP_ABI sizeEntry(const clap_input_events_t* list) {
        return static_cast<std::uint32_t>(static_cast<const EventList*>(list->ctx)->events->size());
    }
    static const clap_event_header_t* CLAP_ABI getEntry(const clap_input_events_t* list,
                                                        std::uint32_t index) {
        return &(*static_cast<const EventList*>(list->ctx)->events)[index].header;
    }
};

bool CLAP_ABI refuseEvent(const clap_output_events_t*, const clap_event_header_t*) { return false; }
const clap_output_events_t kNoOutput = {nullptr, refuseEvent};

bool CLAP_ABI recordEvent(const clap_output_events_t* list, const clap_event_header_t* header) {
    auto& events = *static_cast<std::vector<OutputEvent>*>(list->ctx);
    if (header->type == CLAP_EVENT_PARAM_VALUE) {
        const auto& event = *reinterpret_cast<const clap_event_param_value_t*>(header);
        events.push_back({header->type, event.param_id, event.value});
    } else {
        const auto& event = *reinterpret_cast<const clap_event_param_gesture_t*>(header);
        events.push_back({header->type, event.param_id, 0.0});
    }
    return true;
}

clap_event_param_value_t parameterEvent(std::uint32_t time, clap_id id, double value) {
    clap_event_param_value_t event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = id;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    return event;
}

// A byte vector behind the state streams, moving at most `chunk` bytes per call.
struct ByteStream {
    std::vector<std::uint8_t>* bytes;
    std::size_t chunk;
    std::size_t position = 0;

    static std::int64_t CLAP_ABI write(const clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
        auto& self = *static_cast<ByteStream*>(stream->ctx);
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, self.chunk));
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        self.bytes->insert(self.bytes->end(), bytes, bytes + count);
        return static_cast<std::int64_t>(count);
    }
    static std::int64_t CLAP_ABI read(const clap_istream_t* stream, void* buffer, std::uint64_t size) {
        auto& self = *static_cast<ByteStream*>(stream->ctx);
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>({size, self.chunk, self.bytes->size() - self.position}));
        if (count > 0) std::memcpy(buffer, self.bytes->data() + self.position, count);
        self.position += count;
        return static_cast<std::int64_t>(count);
    }
};

const void* CLAP_ABI noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_ABI hostRequest(const clap_host_t*) {}
} // namespace

Module::Module(const std::string& fileName) {
    const std::string path = programFolder() + fileName;
#ifdef _WIN32
    handle_ = LoadLibraryA(path.c_str());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (!handle_) throw std::runtime_error("cannot load " + path);
}

Module::~Module() {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void* Module::symbol(const char* name) const {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

ClapModule::ClapModule(const Variant& variant)
    : module_(variant.clapFile),
      entry_(static_cast<const clap_plugin_entry_t*>(module_.symbol("clap_entry"))) {
    if (!entry_ || !entry_->init(variant.clapFile)) throw std::runtime_error("no usable clap_entry");
}

ClapModule::~ClapModule() { entry_->deinit(); }

const clap_plugin_factory_t& ClapModule::pluginFactory() const {
    return *static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
}

ClapInstance::ClapInstance(const ClapModule& module, const char* pluginId)
    : host_{CLAP_VERSION_INIT, this,        "qv3 test host", "tarnwick", "", "1",
            hostExtension,     hostRequest, hostRequest,     hostRequest},
      hostParams_{[](const clap_host_t* host, clap_param_rescan_flags flags) {
                      if (flags & CLAP_PARAM_RESCAN_VALUES) ++logOf(host).valueRescans;
                  },
                  [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
                  [](const clap_host_t* host) {
                      auto* self = static_cast<ClapInstance*>(host->host_data);
                      ++self->log_.flushRequests;
                      if (self->onFlushRequest_) self->onFlushRequest_();
                  }},
      hostPresetLoad_{[](const clap_host_t* host, std::uint32_t, const char*, const char*, std::int32_t,
                         const char*) { ++logOf(host).presetErrors; },
                      [](const clap_host_t* host, std::uint32_t, const char*, const char* key) {
                          logOf(host).loadedKeys.emplace_back(key ? key : "");
                      }},
      hostTimers_{[](const clap_host_t* host, std::uint32_t, clap_id* id) {
                      static clap_id next = 100;
                      *id = next++;
                      logOf(host).timers.push_back(*id);
                      return true;
                  },
                  [](const clap_host_t* host, clap_id id) {
                      std::vector<clap_id>& timers = logOf(host).timers;
                      const auto found = std::find(timers.begin(), timers.end(), id);
                      if (found == timers.end()) return false;
                      timers.erase(found);
                      return true;
                  }} {
    plugin_ = module.pluginFactory().create_plugin(&module.pluginFactory(), &host_, pluginId);
    if (!plugin_ || !plugin_->init(plugin_) || !plugin_->activate(plugin_, 44100.0, 1, 4096) ||
        !plugin_->start_processing(plugin_))
        throw std::runtime_error("the plug-in did not start");
}

ClapInstance::~ClapInstance() {
    if (plugin_) destroy();
}

void ClapInstance::destroy() {
    plugin_->stop_processing(plugin_);
    plugin_->deactivate(plugin_);
    plugin_->destroy(plugin_);
    plugin_ = nullptr;
}

const void* CLAP_ABI ClapInstance::hostExtension(const clap_host_t* host, const char* id) {
    auto* self = static_cast<ClapInstance*>(host->host_data);
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &self->hostParams_;
    if (std::strcmp(id, kClapExtPresetLoad) == 0) return &self->hostPresetLoad_;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &self->hostTimers_;
    return noExtension(host, id);
}

double ClapInstance::value(clap_id id) const {
    double value = -1.0;
    EXPECT_TRUE(extension<clap_plugin_params_t>(CLAP_EXT_PARAMS)->get_value(plugin_, id, &value));
    return value;
}

std::string ClapInstance::text(clap_id id, double value) const {
    char text[CLAP_NAME_SIZE] = {};
    EXPECT_TRUE(extension<clap_plugin_params_t>(CLAP_EXT_PARAMS)
                    ->value_to_text(plugin_, id, value, text, sizeof text));
    return text;
}

std::optional<double> ClapInstance::parse(clap_id id, const char* text) const {
    double value = 0.0;
    if (!extension<clap_plugin_params_t>(CLAP_EXT_PARAMS)->text_to_value(plugin_, id, text, &value))
        return std::nullopt;
    return value;
}

std::vector<OutputEvent> ClapInstance::flush(const std::vector<Change>& changes) const {
    std::vector<clap_event_param_value_t> events;
    for (const Change& change : changes)
        events.push_back(parameterEvent(0, change.id, change.value));
    EventList list(events);
    std::vector<OutputEvent> sent;
    const clap_output_events_t output = {&sent, recordEvent};
    extension<clap_plugin_params_t>(CLAP_EXT_PARAMS)->flush(plugin_, &list.record, &output);
    return sent;
}

void ClapInstance::fireTimers() const {
    const auto* timers = extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    for (clap_id timer : std::vector<clap_id>(log_.timers))
        timers->on_timer(plugin_, timer);
}

bool ClapInstance::loadPreset(const char* key) const {
    return extension<clap_plugin_preset_load_t>(kClapExtPresetLoad)
        ->from_location(plugin_, kClapPresetLocationPlugin, nullptr, key);
}

std::vector<std::uint8_t> ClapInstance::saveState(std::size_t chunk) const {
    std::vector<std::uint8_t> bytes;
    ByteStream stream{&bytes, chunk};
    const clap_ostream_t record = {&stream, ByteStream::write};
    EXPECT_TRUE(extension<clap_plugin_state_t>(CLAP_EXT_STATE)->save(plugin_, &record));
    return bytes;
}

bool ClapInstance::loadState(const std::vector<std::uint8_t>& bytes, std::size_t chunk) const {
    std::vector<std::uint8_t> copy = bytes;
    ByteStream stream{&copy, chunk};
    const clap_istream_t record = {&stream, ByteStream::read};
    return extension<clap_plugin_state_t>(CLAP_EXT_STATE)->load(plugin_, &record);
}

clap_process_status ClapInstance::processBlock(ChannelBuffers& buffers,
                                               const std::vector<clap_event_param_value_t>& events) const {
    std::vector<float*> channels;
    for (std::vector<float>& channel : buffers)
        channels.push_back(channel.data());
    clap_audio_buffer_t audio = {channels.data(), nullptr, static_cast<std::uint32_t>(channels.size()), 0, 0};
    EventList list(events);
    const clap_process_t process = {
        -1,        static_cast<std::uint32_t>(buffers[0].size()), nullptr, &audio, &audio, 1, 1, &list.record,
        &kNoOutput};
    return plugin_->process(plugin_, &process);
}

ChannelBuffers ClapInstance::render(const ChannelBuffers& input, const std::vector<std::uint32_t>& blockSizes,
                                    const std::vector<Change>& changes, bool inPlace) const {
    ChannelBuffers output(input.size(), std::vector<float>(input[0].size()));
    ChannelBuffers working = input;
    std::size_t block = 0;
    for (std::size_t first = 0; first < input[0].size(); ++block) {
        const std::size_t frames = std::min<std::size_t>(blockSizes[std::min(block, blockSizes.size() - 1)],
                                                         input[0].size() - first);
        std::vector<clap_event_param_value_t> events;
        for (const Change& change : changes)
            if (change.frame >= first && change.frame < first + frames)
                events.push_back(parameterEvent(static_cast<std::uint32_t>(change.frame - first), change.id,
                                                change.value));
        std::vector<const float*> inputs;
        std::vector<float*> outputs;
        for (std::size_t c = 0; c < input.size(); ++c) {
            inputs.push_back((inPlace ? working[c].data() : input[c].data()) + first);
            outputs.push_back((inPlace ? working[c].data() : output[c].data()) + first);
        }
        const auto channels = static_cast<std::uint32_t>(input.size());
        const clap_audio_buffer_t in = {const_cast<float**>(inputs.data()), nullptr, channels, 0, 0};
        clap_audio_buffer_t out = {outputs.data(), nullptr, channels, 0, 0};
        EventList list(events);
        const clap_process_t process = {static_cast<std::int64_t>(first),
                                        static_cast<std::uint32_t>(frames),
                                        nullptr,
                                        &in,
                                        &out,
                                        1,
                                        1,
                                        &list.record,
                                        &kNoOutput};
        EXPECT_EQ(plugin_->process(plugin_, &process), CLAP_PROCESS_CONTINUE);
        first += frames;
    }
    return inPlace ? working : output;
}

namespace {
VstIntPtr QV3_VSTCALL vst2Host(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
} // namespace

Vst2Instance::Vst2Instance(const Variant& variant) : module_(variant.vst2File) {
#ifdef _WIN32
    const char* entryName = "main";
#else
    const char* entryName = "VSTPluginMain";
#endif
    auto entry = reinterpret_cast<AEffect*(QV3_VSTCALL*)(audioMasterCallback)>(module_.symbol(entryName));
    effect_ = entry ? entry(vst2Host) : nullptr;
    if (!effect_) throw std::runtime_error("no VST 2.x instance");
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(effSetBlockSize, 0, 4096);
    dispatch(effMainsChanged, 0, 1);
}

Vst2Instance::~Vst2Instance() {
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
}

VstIntPtr Vst2Instance::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                 float opt) const {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string Vst2Instance::display(std::int32_t index) const {
    char text[64] = {};
    dispatch(effGetParamDisplay, index, 0, text);
    return text;
}

std::string Vst2Instance::programName(std::int32_t index) const {
    char text[64] = {};
    dispatch(effGetProgramNameIndexed, index, 0, text);
    return text;
}

void Vst2Instance::selectProgram(std::int32_t program) const { dispatch(effSetProgram, 0, program); }

ChannelBuffers Vst2Instance::render(const ChannelBuffers& input, std::uint32_t blockSize,
                                    const std::vector<Vst2Change>& changes) const {
    ChannelBuffers output(input.size(), std::vector<float>(input[0].size()));
    for (std::size_t first = 0; first < input[0].size(); first += blockSize) {
        for (const Vst2Change& change : changes)
            if (change.frame == first) set(change.index, change.value);
        std::vector<float*> inputs, outputs;
        for (std::size_t c = 0; c < input.size(); ++c) {
            inputs.push_back(const_cast<float*>(input[c].data()) + first);
            outputs.push_back(output[c].data() + first);
        }
        effect_->processReplacing(
            effect_, inputs.data(), outputs.data(),
            static_cast<std::int32_t>(std::min<std::size_t>(blockSize, input[0].size() - first)));
    }
    return output;
}
