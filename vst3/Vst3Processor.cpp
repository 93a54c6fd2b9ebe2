// The audio processor: one bus of this build's channels each way, 32-bit samples only, the latency, and the
// audio block, whose parameter changes take effect at their sample offsets through the core's block splitter.
#include "vst3/Vst3Effect.h"

#include "core/BlockSplitter.h"

#include <cmath>

namespace {
v3_result V3_API queryInterfaceEntry(void* self, const v3_tuid iid, void** object) {
    return Vst3Effect::of(self).queryInterface(iid, object);
}
uint32_t V3_API refEntry(void* self) { return Vst3Effect::of(self).ref(); }
uint32_t V3_API unrefEntry(void* self) { return Vst3Effect::of(self).unref(); }

v3_result V3_API setBusArrangementsEntry(void*, v3_speaker_arrangement* inputs, int32_t inputCount,
                                         v3_speaker_arrangement* outputs, int32_t outputCount) {
    return Vst3Effect::setBusArrangements(inputs, inputCount, outputs, outputCount);
}
v3_result V3_API busArrangementEntry(void*, int32_t, int32_t index, v3_speaker_arrangement* arrangement) {
    if (index != 0 || !arrangement) return V3_INVALID_ARG;
    *arrangement = kBusArrangement;
    return V3_OK;
}
// Every format computes in 32-bit floats, so every format gives the same samples.
v3_result V3_API sampleSizeEntry(void*, int32_t size) { return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE; }
uint32_t V3_API latencyEntry(void*) { return static_cast<uint32_t>(LimiterCore::latency()); }
v3_result V3_API setupProcessingEntry(void* self, v3_process_setup* setup) {
    if (!setup) return V3_INVALID_ARG;
    return Vst3Effect::of(self).setupProcessing(*setup);
}
v3_result V3_API setProcessingEntry(void*, v3_bool) { return V3_OK; }
v3_result V3_API processEntry(void* self, v3_process_data* data) QV3_NONBLOCKING {
    if (!data) return V3_INVALID_ARG;
    return Vst3Effect::of(self).process(*data);
}
// After the input stops, the look-ahead delay still holds that many samples of it.
uint32_t V3_API tailEntry(void*) { return static_cast<uint32_t>(LimiterCore::latency()); }

// No part of the host's transport or time line changes what the limiter does.
uint32_t V3_API contextRequirementsEntry(void*) { return 0; }

// One block's buffers of the main bus, if they are what the bus declares: 32-bit, this build's channels.
bool channelsOf(const v3_audio_bus_buffers* buses, int32_t busCount, float* const*& channels) {
    if (busCount < 1 || !buses || buses[0].num_channels != LimiterCore::kChannels ||
        !buses[0].channel_buffers_32)
        return false;
    for (int channel = 0; channel < LimiterCore::kChannels; ++channel)
        if (!buses[0].channel_buffers_32[channel]) return false;
    channels = buses[0].channel_buffers_32;
    return true;
}

// Where a queue's points stand while the block's changes are taken in time order across all queues.
struct QueueCursor {
    v3_param_value_queue** queue;
    ParameterId id;
    int32_t count;
    int32_t next;
    int32_t offset;
    float value;
};

// Moves to the queue's next readable point with a finite value; false when there is none.
bool advance(QueueCursor& cursor) QV3_NONBLOCKING {
    while (cursor.next < cursor.count) {
        int32_t offset = 0;
        double normalised = 0.0;
        const int32_t index = cursor.next++;
        QV3_UNCHECKED_CALLS_BEGIN
        const v3_result read = v3_cpp_obj(cursor.queue)->get_point(cursor.queue, index, &offset, &normalised);
        QV3_UNCHECKED_CALLS_END
        if (read != V3_OK) continue;
        ParameterId id;
        if (!coreValueOf(static_cast<v3_param_id>(cursor.id), normalised, id, cursor.value)) continue;
        cursor.offset = offset < 0 ? 0 : offset;
        return true;
    }
    return false;
}

// The last readable value of the program queue, the program the block ends with.
bool lastProgramOf(v3_param_value_queue** queue, int& program) QV3_NONBLOCKING {
    bool found = false;
    // The host's parameter queues are read on the audio thread by the format's rules: the host keeps them
    // real-time safe.
    QV3_UNCHECKED_CALLS_BEGIN
    for (int32_t index = 0, count = v3_cpp_obj(queue)->get_point_count(queue); index < count; ++index) {
        int32_t offset = 0;
        double normalised = 0.0;
        if (v3_cpp_obj(queue)->get_point(queue, index, &offset, &normalised) != V3_OK ||
            !std::isfinite(normalised))
            continue;
        program = programOf(normalised);
        found = true;
    }
    QV3_UNCHECKED_CALLS_END
    return found;
}
} // namespace

const v3_audio_processor_cpp kVst3ProcessorTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {setBusArrangementsEntry, busArrangementEntry, sampleSizeEntry, latencyEntry, setupProcessingEntry,
     setProcessingEntry, processEntry, tailEntry},
};

const v3_process_context_requirements_cpp kVst3ContextRequirementsTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {contextRequirementsEntry},
};

v3_result Vst3Effect::setBusArrangements(const v3_speaker_arrangement* inputs, std::int32_t inputCount,
                                         const v3_speaker_arrangement* outputs, std::int32_t outputCount) {
    const bool fits = inputCount == 1 && outputCount == 1 && inputs && outputs &&
                      inputs[0] == kBusArrangement && outputs[0] == kBusArrangement;
    return fits ? V3_OK : V3_FALSE;
}

v3_result Vst3Effect::setupProcessing(const v3_process_setup& setup) {
    if (setup.symbolic_sample_size != V3_SAMPLE_32) return V3_FALSE;
    core_.setSampleRate(setup.sample_rate);
    return V3_OK;
}

v3_result Vst3Effect::process(v3_process_data& data) QV3_NONBLOCKING {
    if (data.symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;

    // Without both buffers the block only carries parameter changes (a host's flush while stopped).
    float* const* inputs = nullptr;
    float* const* outputs = nullptr;
    const bool audio = data.nframes > 0 && channelsOf(data.inputs, data.num_input_buses, inputs) &&
                       channelsOf(data.outputs, data.num_output_buses, outputs);
    if (data.num_output_buses > 0 && data.outputs) data.outputs[0].channel_silence_bitset = 0;

    // A host sends a few queues per block, one per parameter; more than this many is not a real host's.
    constexpr int kMaxQueues = 32;
    QueueCursor cursors[kMaxQueues];
    int cursorCount = 0;
    if (v3_param_changes** changes = data.input_params) {
        // The host's parameter queues are read on the audio thread by the format's rules: the host keeps them
        // real-time safe.
        QV3_UNCHECKED_CALLS_BEGIN
        const int32_t queueCount = v3_cpp_obj(changes)->get_param_count(changes);
        for (int32_t index = 0; index < queueCount && cursorCount < kMaxQueues; ++index) {
            v3_param_value_queue** queue = v3_cpp_obj(changes)->get_param_data(changes, index);
            if (!queue) continue;
            const v3_param_id id = v3_cpp_obj(queue)->get_param_id(queue);
            int program = 0;
            // A program takes effect at the block's start, so changes of the same block land on it.
            if (id == kProgramParameterId && lastProgramOf(queue, program)) {
                core_.selectProgram(program);
                continue;
            }
            if (!isParameterId(id)) continue;
            QueueCursor& cursor = cursors[cursorCount];
            cursor = {queue, static_cast<ParameterId>(id), v3_cpp_obj(queue)->get_point_count(queue), 0, 0,
                      0.0f};
            if (advance(cursor)) ++cursorCount;
        }
        QV3_UNCHECKED_CALLS_END
    }

    BlockSplitter splitter(core_, inputs, outputs, audio ? static_cast<std::uint32_t>(data.nframes) : 0);
    while (cursorCount > 0) {
        int earliest = 0;
        for (int index = 1; index < cursorCount; ++index)
            if (cursors[index].offset < cursors[earliest].offset) earliest = index;
        QueueCursor& cursor = cursors[earliest];
        splitter.change(static_cast<std::uint32_t>(cursor.offset), cursor.id, cursor.value);
        if (!advance(cursor)) cursor = cursors[--cursorCount];
    }
    splitter.finish();
    return V3_OK;
}
