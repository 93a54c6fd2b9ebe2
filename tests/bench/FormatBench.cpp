// Cost per frame of the built plug-ins as hosts run them: the VST 2.x library through processReplacing beside
// the CLAP plug-in and the VST3 module through process, same material, same settings, 512-frame blocks, for
// both builds. The CLAP and VST3 builds also run with one parameter change per block, as an automated host
// sends them. Run by hand after tools/build.sh native; the CLAP and VST3 figures should stay within 5 % of
// the VST 2.x ones.
#include <benchmark/benchmark.h>

#include "BenchMaterial.h"
#include "vst2/VstInterface.h"

#include <clap/entry.h>
#include <clap/plugin-factory.h>
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/factory.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
constexpr std::uint32_t kBlock = 512;
constexpr float kMakeup = 0.5f; // +24 dB into the material: the limiter works all the time

void* openLibrary(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "cannot load %s\n", path);
        std::exit(1);
    }
    return handle;
}

struct Material {
    std::vector<std::vector<float>> input, output;
    explicit Material(int channels)
        : output(static_cast<std::size_t>(channels), std::vector<float>(kBenchFrames)) {
        for (int c = 0; c < channels; ++c)
            input.push_back(material(static_cast<std::uint32_t>(c + 1), 1.0));
    }
    // The channel pointers of the block at `position`.
    void block(std::size_t position, std::vector<float*>& in, std::vector<float*>& out) {
        in.clear();
        out.clear();
        for (std::size_t c = 0; c < input.size(); ++c) {
            in.push_back(input[c].data() + position);
            out.push_back(output[c].data() + position);
        }
    }
};

VstIntPtr QV3_VSTCALL vst2Host(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void vst2(benchmark::State& state, const char* path, int channels) {
    void* library = openLibrary(path);
    auto entry =
        reinterpret_cast<AEffect*(QV3_VSTCALL*)(audioMasterCallback)>(dlsym(library, "VSTPluginMain"));
    AEffect* effect = entry(vst2Host);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kBenchSampleRate));
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    effect->setParameter(effect, 0, kMakeup);
    Material audio(channels);
    std::vector<float*> in, out;
    std::size_t position = 0;
    for (auto _ : state) {
        audio.block(position, in, out);
        effect->processReplacing(effect, in.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out[0][0]);
        position += kBlock;
        if (position + kBlock > kBenchFrames) position = 0;
    }
    reportFrameRate(state, kBlock);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    dlclose(library);
}

const void* CLAP_ABI noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_ABI noRequest(const clap_host_t*) {}
std::uint32_t CLAP_ABI eventCount(const clap_input_events_t* events) { return events->ctx ? 1 : 0; }
const clap_event_header_t* CLAP_ABI eventAt(const clap_input_events_t* events, std::uint32_t) {
    return &static_cast<const clap_event_param_value_t*>(events->ctx)->header;
}
bool CLAP_ABI dropEvent(const clap_output_events_t*, const clap_event_header_t*) { return true; }

void clap(benchmark::State& state, const char* path, int channels, bool automated) {
    void* library = openLibrary(path);
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    entry->init(path);
    const auto* factory =
        static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_host_t host = {CLAP_VERSION_INIT, nullptr,   "bench",   "",       "", "1",
                              noExtension,       noRequest, noRequest, noRequest};
    const clap_plugin_t* plugin =
        factory->create_plugin(factory, &host, factory->get_plugin_descriptor(factory, 0)->id);
    plugin->init(plugin);
    plugin->activate(plugin, kBenchSampleRate, 1, kBlock);
    plugin->start_processing(plugin);
    // The makeup goes in as an event at the first block's start; automated runs send it again mid-block.
    clap_event_param_value_t makeup{};
    makeup.header = {sizeof makeup, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    makeup.param_id = 0;
    makeup.value = kMakeup;
    clap_input_events_t events = {&makeup, eventCount, eventAt};
    const clap_output_events_t output = {nullptr, dropEvent};
    Material audio(channels);
    std::vector<float*> in, out;
    std::size_t position = 0;
    for (auto _ : state) {
        audio.block(position, in, out);
        const clap_audio_buffer_t inBuffer = {in.data(), nullptr, static_cast<std::uint32_t>(channels), 0, 0};
        clap_audio_buffer_t outBuffer = {out.data(), nullptr, static_cast<std::uint32_t>(channels), 0, 0};
        const clap_process_t process = {-1, kBlock, nullptr, &inBuffer, &outBuffer, 1, 1, &events, &output};
        plugin->process(plugin, &process);
        benchmark::DoNotOptimize(out[0][0]);
        if (automated) {
            makeup.header.time = kBlock / 2;
        } else {
            events.ctx = nullptr;
        }
        position += kBlock;
        if (position + kBlock > kBenchFrames) position = 0;
    }
    reportFrameRate(state, kBlock);
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
    entry->deinit();
    dlclose(library);
}

// The VST3 host's one queue: the makeup at the block's start, or mid-block when automated.
struct MakeupQueue {
    const v3_param_value_queue_cpp* table;
    std::int32_t offset;
};
v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
    *object = nullptr;
    return V3_NO_INTERFACE;
}
uint32_t V3_API oneReference(void*) { return 1; }
v3_param_id V3_API makeupId(void*) { return 0; }
int32_t V3_API onePoint(void*) { return 1; }
v3_result V3_API makeupPoint(void* self, int32_t, int32_t* offset, double* value) {
    *offset = static_cast<MakeupQueue*>(self)->offset;
    *value = kMakeup;
    return V3_OK;
}
v3_result V3_API noPoint(void*, int32_t, double, int32_t*) { return V3_FALSE; }
const v3_param_value_queue_cpp kMakeupQueueTable = {{noInterface, oneReference, oneReference},
                                                    {makeupId, onePoint, makeupPoint, noPoint}};
struct Changes {
    const v3_param_changes_cpp* table;
    MakeupQueue* queue;
    bool send;
};
int32_t V3_API queueCount(void* self) { return static_cast<Changes*>(self)->send ? 1 : 0; }
v3_param_value_queue** V3_API queueAt(void* self, int32_t) {
    return reinterpret_cast<v3_param_value_queue**>(static_cast<Changes*>(self)->queue);
}
v3_param_value_queue** V3_API noQueue(void*, v3_param_id*, int32_t*) { return nullptr; }
const v3_param_changes_cpp kChangesTable = {{noInterface, oneReference, oneReference},
                                            {queueCount, queueAt, noQueue}};

void vst3(benchmark::State& state, const char* path, int channels, bool automated) {
    void* library = openLibrary(path);
    auto entry = reinterpret_cast<bool (*)(void*)>(dlsym(library, "ModuleEntry"));
    auto factoryOf = reinterpret_cast<v3_plugin_factory** (*)()>(dlsym(library, "GetPluginFactory"));
    entry(library);
    v3_plugin_factory** factory = factoryOf();
    v3_class_info info{};
    v3_cpp_obj(factory)->get_class_info(factory, 0, &info);
    void* object = nullptr;
    v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid, &object);
    auto** component = static_cast<v3_component**>(object);
    v3_cpp_obj_initialize(component, nullptr);
    v3_audio_processor** processor = nullptr;
    v3_cpp_obj_query_interface(component, v3_audio_processor_iid, &processor);
    v3_process_setup setup = {V3_REALTIME, V3_SAMPLE_32, kBlock, kBenchSampleRate};
    v3_cpp_obj(processor)->setup_processing(processor, &setup);
    v3_cpp_obj(component)->set_active(component, true);
    v3_cpp_obj(processor)->set_processing(processor, true);
    MakeupQueue makeup = {&kMakeupQueueTable, 0};
    Changes changes = {&kChangesTable, &makeup, true};
    Material audio(channels);
    std::vector<float*> in, out;
    std::size_t position = 0;
    for (auto _ : state) {
        audio.block(position, in, out);
        v3_audio_bus_buffers inBus{channels, 0, {in.data()}};
        v3_audio_bus_buffers outBus{channels, 0, {out.data()}};
        v3_process_data data{};
        data.symbolic_sample_size = V3_SAMPLE_32;
        data.nframes = kBlock;
        data.num_input_buses = 1;
        data.num_output_buses = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        data.input_params = reinterpret_cast<v3_param_changes**>(&changes);
        v3_cpp_obj(processor)->process(processor, &data);
        benchmark::DoNotOptimize(out[0][0]);
        if (automated) {
            makeup.offset = kBlock / 2;
        } else {
            changes.send = false;
        }
        position += kBlock;
        if (position + kBlock > kBenchFrames) position = 0;
    }
    reportFrameRate(state, kBlock);
    v3_cpp_obj(processor)->set_processing(processor, false);
    v3_cpp_obj(component)->set_active(component, false);
    v3_cpp_obj_terminate(component);
    v3_cpp_obj_unref(processor);
    v3_cpp_obj_unref(component);
    reinterpret_cast<bool (*)()>(dlsym(library, "ModuleExit"))();
    dlclose(library);
}

BENCHMARK_CAPTURE(vst2, stereo, QV3_VST2_STEREO, 2);
BENCHMARK_CAPTURE(clap, stereo, QV3_CLAP_STEREO, 2, false);
BENCHMARK_CAPTURE(clap, stereo_automated, QV3_CLAP_STEREO, 2, true);
BENCHMARK_CAPTURE(vst3, stereo, QV3_VST3_STEREO, 2, false);
BENCHMARK_CAPTURE(vst3, stereo_automated, QV3_VST3_STEREO, 2, true);
BENCHMARK_CAPTURE(vst2, mono, QV3_VST2_MONO, 1);
BENCHMARK_CAPTURE(clap, mono, QV3_CLAP_MONO, 1, false);
BENCHMARK_CAPTURE(clap, mono_automated, QV3_CLAP_MONO, 1, true);
BENCHMARK_CAPTURE(vst3, mono, QV3_VST3_MONO, 1, false);
BENCHMARK_CAPTURE(vst3, mono_automated, QV3_VST3_MONO, 1, true);
} // namespace

BENCHMARK_MAIN();
