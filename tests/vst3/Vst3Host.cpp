#include "Vst3Host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#define QV3_VST3_ARCHITECTURE (sizeof(void*) == 8 ? "x86_64-win" : "x86-win")
#define QV3_VST3_SUFFIX ".vst3"
#else
#define QV3_VST3_ARCHITECTURE "x86_64-linux"
#define QV3_VST3_SUFFIX ".so"
#endif

std::string bundleModule(const Variant& variant) {
    const std::string name = variant.channels == 2 ? "Orvanta_QV3" : "Orvanta_QV3mono";
    return name + ".vst3/Contents/" + QV3_VST3_ARCHITECTURE + "/" + name + QV3_VST3_SUFFIX;
}

std::string narrow(const int16_t* text) {
    std::string result;
    for (; *text; ++text)
        result += static_cast<char>(*text);
    return result;
}

namespace {
// The host's objects live on the test's stack: references count nothing.
v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
    *object = nullptr;
    return V3_NO_INTERFACE;
}
uint32_t V3_API oneReference(void*) { return 1; }
constexpr v3_funknown kStackObject = {noInterface, oneReference, oneReference};

template <typename Table, typename Data> struct HostObject {
    const Table* table;
    Data* data;
    static Data& of(void* self) { return *static_cast<HostObject*>(self)->data; }
    template <typename Interface> Interface** as() { return reinterpret_cast<Interface**>(this); }
};

using QueueObject = HostObject<v3_param_value_queue_cpp, Vst3Queue>;
v3_param_id V3_API queueId(void* self) { return QueueObject::of(self).id; }
int32_t V3_API pointCount(void* self) { return static_cast<int32_t>(QueueObject::of(self).points.size()); }
v3_result V3_API point(void* self, int32_t index, int32_t* offset, double* value) {
    const auto& points = QueueObject::of(self).points;
    if (index < 0 || static_cast<std::size_t>(index) >= points.size()) return V3_INVALID_ARG;
    *offset = points[static_cast<std::size_t>(index)].first;
    *value = points[static_cast<std::size_t>(index)].second;
    return V3_OK;
}
v3_result V3_API addPoint(void*, int32_t, double, int32_t*) { return V3_FALSE; }
const v3_param_value_queue_cpp kQueueTable = {kStackObject, {queueId, pointCount, point, addPoint}};

using ChangesObject = HostObject<v3_param_changes_cpp, std::vector<QueueObject>>;
int32_t V3_API queueCount(void* self) { return static_cast<int32_t>(ChangesObject::of(self).size()); }
v3_param_value_queue** V3_API queue(void* self, int32_t index) {
    auto& queues = ChangesObject::of(self);
    if (index < 0 || static_cast<std::size_t>(index) >= queues.size()) return nullptr;
    return queues[static_cast<std::size_t>(index)].as<v3_param_value_queue>();
}
v3_param_value_queue** V3_API addQueue(void*, v3_param_id*, int32_t*) { return nullptr; }
const v3_param_changes_cpp kChangesTable = {kStackObject, {queueCount, queue, addQueue}};

// A byte vector behind a state stream, moving at most `chunk` bytes per call.
struct ByteStream {
    std::vector<std::uint8_t>* bytes;
    std::size_t chunk;
    std::size_t position = 0;
};
struct StreamTable : v3_funknown {
    v3_bstream stream;
};
using StreamObject = HostObject<StreamTable, ByteStream>;
v3_result V3_API readStream(void* self, void* buffer, int32_t size, int32_t* done) {
    ByteStream& stream = StreamObject::of(self);
    const std::size_t count =
        std::min({static_cast<std::size_t>(size), stream.chunk, stream.bytes->size() - stream.position});
    if (count > 0) std::memcpy(buffer, stream.bytes->data() + stream.position, count);
    stream.position += count;
    if (done) *done = static_cast<int32_t>(count);
    return V3_OK;
}
v3_result V3_API writeStream(void* self, void* buffer, int32_t size, int32_t* done) {
    ByteStream& stream = StreamObject::of(self);
    const std::size_t count = std::min(static_cast<std::size_t>(size), stream.chunk);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    stream.bytes->insert(stream.bytes->end(), bytes, bytes + count);
    if (done) *done = static_cast<int32_t>(count);
    return V3_OK;
}
v3_result V3_API seekStream(void*, int64_t, int32_t, int64_t*) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API tellStream(void* self, int64_t* position) {
    *position = static_cast<int64_t>(StreamObject::of(self).position);
    return V3_OK;
}
const StreamTable kStreamTable = {kStackObject, {readStream, writeStream, seekStream, tellStream}};

struct HandlerTable : v3_funknown {
    v3_component_handler handler;
};
using HandlerObject = HostObject<HandlerTable, HandlerLog>;
v3_result V3_API beginEdit(void* self, v3_param_id) {
    ++HandlerObject::of(self).begins;
    return V3_OK;
}
v3_result V3_API performEdit(void* self, v3_param_id, double value) {
    HandlerObject::of(self).lastPerformed = value;
    return V3_OK;
}
v3_result V3_API endEdit(void* self, v3_param_id) {
    ++HandlerObject::of(self).ends;
    return V3_OK;
}
v3_result V3_API restart(void* self, int32_t flags) {
    ++HandlerObject::of(self).restarts;
    HandlerObject::of(self).lastRestartFlags = flags;
    return V3_OK;
}
const HandlerTable kHandlerTable = {kStackObject, {beginEdit, performEdit, endEdit, restart}};

template <typename Interface, typename Object> Interface** query(Object** object, const v3_tuid iid) {
    Interface** result = nullptr;
    if (v3_cpp_obj_query_interface(object, iid, &result) != V3_OK || !result)
        throw std::runtime_error("interface missing");
    return result;
}
} // namespace

struct Vst3Instance::Handler : HandlerObject {};

Vst3Module::Vst3Module(const Variant& variant) : module_(bundleModule(variant)) {
#ifdef _WIN32
    using Load = bool(V3_API*)();
    auto load = reinterpret_cast<Load>(module_.symbol("InitDll"));
    const bool loaded = load && load();
#else
    using Load = bool (*)(void*);
    auto load = reinterpret_cast<Load>(module_.symbol("ModuleEntry"));
    const bool loaded = load && load(nullptr);
#endif
    using Factory = v3_plugin_factory**(V3_API*)();
    auto factory = reinterpret_cast<Factory>(module_.symbol("GetPluginFactory"));
    factory_ = loaded && factory ? factory() : nullptr;
    if (!factory_) throw std::runtime_error("no plug-in factory");
}

Vst3Module::~Vst3Module() {
    v3_cpp_obj_unref(factory_);
    using Unload = bool(V3_API*)();
#ifdef _WIN32
    auto unload = reinterpret_cast<Unload>(module_.symbol("ExitDll"));
#else
    auto unload = reinterpret_cast<Unload>(module_.symbol("ModuleExit"));
#endif
    if (unload) unload();
}

Vst3Instance::Vst3Instance(const Vst3Module& module) : handler_(new Handler{{&kHandlerTable, &log_}}) {
    v3_class_info info{};
    v3_cpp_obj(module.factory())->get_class_info(module.factory(), 0, &info);
    void* object = nullptr;
    if (v3_cpp_obj(module.factory())
            ->create_instance(module.factory(), info.class_id, v3_component_iid, &object) != V3_OK)
        throw std::runtime_error("no component");
    component_ = static_cast<v3_component**>(object);
    v3_cpp_obj_initialize(component_, nullptr);
    processor_ = query<v3_audio_processor>(component_, v3_audio_processor_iid);
    controller_ = query<v3_edit_controller>(component_, v3_edit_controller_iid);
    unitInfo_ = query<v3_unit_information>(component_, v3_unit_information_iid);
    v3_cpp_obj(controller_)->set_component_handler(controller_, handler_->as<v3_component_handler>());
    v3_process_setup setup = {V3_REALTIME, V3_SAMPLE_32, 4096, 44100.0};
    v3_cpp_obj(processor_)->setup_processing(processor_, &setup);
    v3_cpp_obj(component_)->set_active(component_, true);
    v3_cpp_obj(processor_)->set_processing(processor_, true);
}

Vst3Instance::~Vst3Instance() {
    v3_cpp_obj(processor_)->set_processing(processor_, false);
    v3_cpp_obj(component_)->set_active(component_, false);
    v3_cpp_obj(controller_)->set_component_handler(controller_, nullptr);
    v3_cpp_obj_terminate(component_);
    v3_cpp_obj_unref(unitInfo_);
    v3_cpp_obj_unref(controller_);
    v3_cpp_obj_unref(processor_);
    v3_cpp_obj_unref(component_);
    delete handler_;
}

double Vst3Instance::value(v3_param_id id) const {
    return v3_cpp_obj(controller_)->get_parameter_normalised(controller_, id);
}

v3_result Vst3Instance::set(v3_param_id id, double normalised) const {
    return v3_cpp_obj(controller_)->set_parameter_normalised(controller_, id, normalised);
}

std::string Vst3Instance::text(v3_param_id id, double normalised) const {
    v3_str_128 text = {};
    if (v3_cpp_obj(controller_)->get_parameter_string_for_value(controller_, id, normalised, text) != V3_OK)
        return "(refused)";
    return narrow(text);
}

std::optional<double> Vst3Instance::parse(v3_param_id id, const char* text) const {
    v3_str_128 wide = {};
    for (std::size_t i = 0; text[i] && i < 127; ++i)
        wide[i] = static_cast<int16_t>(text[i]);
    double value = -1.0;
    if (v3_cpp_obj(controller_)->get_parameter_value_for_string(controller_, id, wide, &value) != V3_OK)
        return std::nullopt;
    return value;
}

std::string Vst3Instance::programName(std::int32_t index) const {
    v3_str_128 name = {};
    if (v3_cpp_obj(unitInfo_)->get_program_name(unitInfo_, 1, index, name) != V3_OK) return "(refused)";
    return narrow(name);
}

std::vector<std::uint8_t> Vst3Instance::state(std::size_t chunk) const {
    std::vector<std::uint8_t> bytes;
    ByteStream stream{&bytes, chunk};
    StreamObject object{&kStreamTable, &stream};
    EXPECT_EQ(v3_cpp_obj(component_)->get_state(component_, object.as<v3_bstream>()), V3_OK);
    return bytes;
}

bool Vst3Instance::setState(const std::vector<std::uint8_t>& bytes, std::size_t chunk) const {
    std::vector<std::uint8_t> copy = bytes;
    ByteStream stream{&copy, chunk};
    StreamObject object{&kStreamTable, &stream};
    return v3_cpp_obj(component_)->set_state(component_, object.as<v3_bstream>()) == V3_OK;
}

bool Vst3Instance::setControllerState(const std::vector<std::uint8_t>& bytes) const {
    std::vector<std::uint8_t> copy = bytes;
    ByteStream stream{&copy, 1 << 20};
    StreamObject object{&kStreamTable, &stream};
    return v3_cpp_obj(controller_)->set_component_state(controller_, object.as<v3_bstream>()) == V3_OK;
}

v3_result Vst3Instance::processBlock(ChannelBuffers& buffers, const std::vector<Vst3Queue>& queues) const {
    std::vector<Vst3Queue> data = queues;
    std::vector<QueueObject> queueObjects;
    for (Vst3Queue& queue : data)
        queueObjects.push_back({&kQueueTable, &queue});
    ChangesObject changes{&kChangesTable, &queueObjects};
    std::vector<float*> channels;
    for (auto& channel : buffers)
        channels.push_back(channel.data());
    v3_audio_bus_buffers bus{};
    bus.num_channels = static_cast<int32_t>(buffers.size());
    bus.channel_buffers_32 = channels.data();
    v3_audio_bus_buffers outputBus = bus;
    v3_process_data process{};
    process.process_mode = V3_REALTIME;
    process.symbolic_sample_size = V3_SAMPLE_32;
    process.nframes = static_cast<int32_t>(buffers[0].size());
    process.num_input_buses = 1;
    process.num_output_buses = 1;
    process.inputs = &bus;
    process.outputs = &outputBus;
    process.input_params = changes.as<v3_param_changes>();
    return v3_cpp_obj(processor_)->process(processor_, &process);
}

ChannelBuffers Vst3Instance::render(const ChannelBuffers& input, std::uint32_t blockSize,
                                    const std::vector<Vst3Change>& changes) const {
    ChannelBuffers output(input.size());
    for (std::size_t first = 0; first < input[0].size(); first += blockSize) {
        const std::size_t frames = std::min<std::size_t>(blockSize, input[0].size() - first);
        std::vector<Vst3Queue> queues;
        for (const Vst3Change& change : changes) {
            if (change.frame < first || change.frame >= first + frames) continue;
            auto queue = std::find_if(queues.begin(), queues.end(),
                                      [&](const Vst3Queue& q) { return q.id == change.id; });
            if (queue == queues.end()) queue = queues.insert(queues.end(), {change.id, {}});
            queue->points.push_back({static_cast<std::int32_t>(change.frame - first), change.value});
        }
        ChannelBuffers block(input.size());
        for (std::size_t c = 0; c < input.size(); ++c)
            block[c].assign(input[c].begin() + static_cast<std::ptrdiff_t>(first),
                            input[c].begin() + static_cast<std::ptrdiff_t>(first + frames));
        EXPECT_EQ(processBlock(block, queues), V3_OK);
        for (std::size_t c = 0; c < input.size(); ++c)
            output[c].insert(output[c].end(), block[c].begin(), block[c].end());
    }
    return output;
}
