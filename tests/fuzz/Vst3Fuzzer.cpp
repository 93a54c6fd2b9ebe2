// A libFuzzer target that plays a VST3 host against the module's own GetPluginFactory: arbitrary parameter
// queues (any id, offset and value, points out of order or past the block, points the queue fails to give),
// arbitrary and mutated state streams read in small pieces, values and programs set through the controller,
// texts both ways, deactivation and odd rates. After every call it checks what a host relies on: output
// finite and never above the larger of the ceiling and the input's own peak (the monitor's bypass passes the
// input), texts terminated, a refused state changing nothing, an accepted one reading back as it was written.
// A failed check prints what failed and aborts.
//
// Input grammar: a sequence of commands, one byte each, followed by their arguments.
#include "FuzzHost.h"

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

extern "C" v3_plugin_factory** GetPluginFactory();

namespace {
constexpr std::int32_t kLargestBlock = 4096;
constexpr v3_param_id kProgramParameter = 1000;
enum Command { kProcess, kSetValue, kLoadBlob, kLoadMutatedState, kTexts, kReactivate, kCommands };

double normalisedValue(FuzzInput& input) { return input.value(-0.1, 1.275); }
v3_param_id parameterId(FuzzInput& input) {
    const std::uint8_t tag = input.byte();
    return tag % 10 == 9 ? input.word() : tag % 10 == 8 ? kProgramParameter : tag % 8;
}

v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
    *object = nullptr;
    return V3_NO_INTERFACE;
}
uint32_t V3_API oneReference(void*) { return 1; }

// A queue whose points the host holds as given; a point flagged missing is refused when asked for.
struct Queue {
    const v3_param_value_queue_cpp* table;
    v3_param_id id;
    std::vector<std::pair<std::int32_t, double>> points;
    std::vector<bool> missing;
};
v3_param_id V3_API queueId(void* self) { return static_cast<Queue*>(self)->id; }
int32_t V3_API pointCount(void* self) {
    return static_cast<int32_t>(static_cast<Queue*>(self)->points.size());
}
v3_result V3_API point(void* self, int32_t index, int32_t* offset, double* value) {
    const Queue& queue = *static_cast<Queue*>(self);
    if (index < 0 || static_cast<std::size_t>(index) >= queue.points.size() || queue.missing[index])
        return V3_INVALID_ARG;
    *offset = queue.points[static_cast<std::size_t>(index)].first;
    *value = queue.points[static_cast<std::size_t>(index)].second;
    return V3_OK;
}
v3_result V3_API addPoint(void*, int32_t, double, int32_t*) { return V3_FALSE; }
const v3_param_value_queue_cpp kQueueTable = {{noInterface, oneReference, oneReference},
                                              {queueId, pointCount, point, addPoint}};

struct Changes {
    const v3_param_changes_cpp* table;
    std::vector<Queue> queues;
};
int32_t V3_API queueCount(void* self) {
    return static_cast<int32_t>(static_cast<Changes*>(self)->queues.size());
}
v3_param_value_queue** V3_API queue(void* self, int32_t index) {
    auto& queues = static_cast<Changes*>(self)->queues;
    if (index < 0 || static_cast<std::size_t>(index) >= queues.size()) return nullptr;
    return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<std::size_t>(index)]);
}
v3_param_value_queue** V3_API addQueue(void*, v3_param_id*, int32_t*) { return nullptr; }
const v3_param_changes_cpp kChangesTable = {{noInterface, oneReference, oneReference},
                                            {queueCount, queue, addQueue}};

struct StreamTable : v3_funknown {
    v3_bstream stream;
};
struct Stream {
    const StreamTable* table;
    ChunkedBytes bytes;
};
v3_result V3_API readStream(void* self, void* buffer, int32_t size, int32_t* done) {
    *done = static_cast<int32_t>(
        static_cast<Stream*>(self)->bytes.read(buffer, static_cast<std::uint64_t>(size)));
    return V3_OK;
}
v3_result V3_API writeStream(void* self, void* buffer, int32_t size, int32_t* done) {
    *done = static_cast<int32_t>(
        static_cast<Stream*>(self)->bytes.write(buffer, static_cast<std::uint64_t>(size)));
    return V3_OK;
}
v3_result V3_API seekStream(void*, int64_t, int32_t, int64_t*) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API tellStream(void*, int64_t*) { return V3_NOT_IMPLEMENTED; }
const StreamTable kStreamTable = {{noInterface, oneReference, oneReference},
                                  {readStream, writeStream, seekStream, tellStream}};

template <typename Interface, typename Object> Interface** query(Object** object, const v3_tuid iid) {
    Interface** result = nullptr;
    if (v3_cpp_obj_query_interface(object, iid, &result) != V3_OK || !result) fail("interface");
    return result;
}

class Session {
  public:
    Session() {
        v3_plugin_factory** factory = GetPluginFactory();
        v3_class_info info{};
        void* object = nullptr;
        if (v3_cpp_obj(factory)->get_class_info(factory, 0, &info) != V3_OK ||
            v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid, &object) != V3_OK)
            fail("instance");
        component_ = static_cast<v3_component**>(object);
        v3_cpp_obj_initialize(component_, nullptr);
        processor_ = query<v3_audio_processor>(component_, v3_audio_processor_iid);
        controller_ = query<v3_edit_controller>(component_, v3_edit_controller_iid);
        v3_bus_info bus{};
        v3_cpp_obj(component_)->get_bus_info(component_, V3_AUDIO, V3_INPUT, 0, &bus);
        channels_ = bus.channel_count;
        activate(44100.0);
    }
    ~Session() {
        v3_cpp_obj(component_)->set_active(component_, false);
        v3_cpp_obj_terminate(component_);
        v3_cpp_obj_unref(controller_);
        v3_cpp_obj_unref(processor_);
        v3_cpp_obj_unref(component_);
    }

    void run(FuzzInput& input) {
        const int command = input.byte() % kCommands;
        switch (command) {
        case kProcess:
            process(input);
            break;
        case kSetValue: {
            const v3_param_id id = parameterId(input);
            v3_cpp_obj(controller_)->set_parameter_normalised(controller_, id, normalisedValue(input));
            const double value = v3_cpp_obj(controller_)->get_parameter_normalised(controller_, id);
            if (!(value >= 0.0 && value <= 1.0)) fail("a value outside 0..1");
            break;
        }
        case kLoadBlob:
        case kLoadMutatedState: {
            const std::size_t chunk = input.byte() % 16 + 1;
            loadChecked(command == kLoadBlob ? input.bytes(input.byte() * 4u) : mutated(save(), input),
                        chunk);
            break;
        }
        case kTexts:
            texts(input);
            break;
        case kReactivate:
            v3_cpp_obj(component_)->set_active(component_, false);
            activate(1000.0 + input.word() % 400000);
            break;
        }
    }

  private:
    void activate(double rate) {
        v3_process_setup setup = {V3_REALTIME, V3_SAMPLE_32, kLargestBlock, rate};
        if (v3_cpp_obj(processor_)->setup_processing(processor_, &setup) != V3_OK ||
            v3_cpp_obj(component_)->set_active(component_, true) != V3_OK)
            fail("activate");
    }

    void process(FuzzInput& input) {
        const auto frames = static_cast<std::int32_t>(input.word() % kLargestBlock);
        FuzzBlock block(input, static_cast<std::size_t>(channels_), static_cast<std::size_t>(frames),
                        inputPeak_);
        Changes changes{&kChangesTable, {}};
        for (std::uint8_t queues = input.byte() % 10; queues > 0; --queues) {
            Queue queue{&kQueueTable, parameterId(input), {}, {}};
            for (std::uint8_t points = input.byte() % 6; points > 0; --points) {
                const std::uint8_t shape = input.byte();
                const auto offset = static_cast<std::int32_t>(input.word() & 0x3FFF) - (shape & 1 ? 100 : 0);
                queue.points.push_back({offset, normalisedValue(input)});
                queue.missing.push_back(shape & 2);
            }
            changes.queues.push_back(std::move(queue));
        }
        v3_audio_bus_buffers inBus{channels_, 0, {block.inputs()}};
        v3_audio_bus_buffers outBus{channels_, 0, {block.outputs()}};
        v3_process_data data{};
        data.symbolic_sample_size = V3_SAMPLE_32;
        data.nframes = frames;
        data.num_input_buses = 1;
        data.num_output_buses = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        data.input_params = reinterpret_cast<v3_param_changes**>(&changes);
        if (v3_cpp_obj(processor_)->process(processor_, &data) != V3_OK)
            fail("process refused a fitting block");
        block.checkOutput(inputPeak_);
    }

    void texts(FuzzInput& input) {
        const v3_param_id id = parameterId(input);
        v3_str_128 text;
        std::fill(std::begin(text), std::end(text), int16_t{0x5A});
        if (v3_cpp_obj(controller_)
                    ->get_parameter_string_for_value(controller_, id, normalisedValue(input), text) ==
                V3_OK &&
            std::find(std::begin(text), std::end(text), 0) == std::end(text))
            fail("text not terminated");
        v3_str_128 typed = {};
        const std::vector<std::uint8_t> bytes = input.bytes(input.byte() % 12);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            typed[i] = static_cast<int16_t>(bytes[i] | (bytes[i] & 0x80) << 8);
        double value = 0.0;
        if (v3_cpp_obj(controller_)->get_parameter_value_for_string(controller_, id, typed, &value) ==
                V3_OK &&
            !(value >= 0.0 && value <= 1.0))
            fail("text read as a value outside 0..1");
    }

    std::vector<std::uint8_t> save() {
        Stream stream{&kStreamTable, {{}, 0, 3}};
        if (v3_cpp_obj(component_)->get_state(component_, reinterpret_cast<v3_bstream**>(&stream)) != V3_OK)
            fail("save");
        return stream.bytes.data;
    }

    void loadChecked(std::vector<std::uint8_t> blob, std::size_t chunk) {
        const auto load = [this](ChunkedBytes& bytes) {
            Stream stream{&kStreamTable, std::move(bytes)};
            return v3_cpp_obj(component_)->set_state(component_, reinterpret_cast<v3_bstream**>(&stream)) ==
                   V3_OK;
        };
        // The controller reads the component's state too, as hosts hand it over after a load.
        const auto reload = [this](ChunkedBytes& bytes) {
            Stream stream{&kStreamTable, std::move(bytes)};
            return v3_cpp_obj(controller_)
                       ->set_component_state(controller_, reinterpret_cast<v3_bstream**>(&stream)) == V3_OK;
        };
        ::loadChecked([this] { return save(); }, load, reload, std::move(blob), chunk);
    }

    v3_component** component_ = nullptr;
    v3_audio_processor** processor_ = nullptr;
    v3_edit_controller** controller_ = nullptr;
    std::int32_t channels_ = 0;
    float inputPeak_ = 0.0f;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runSession<Session>(data, size);
}
