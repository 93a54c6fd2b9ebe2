// A libFuzzer target that plays a CLAP host against the plug-in's own clap_entry: arbitrary event lists (any
// type, space, size, time, id and value, times out of order or past the block), arbitrary state blobs and
// preset keys, texts both ways, resets and reactivation at odd rates. After every call it checks what a host
// relies on: output finite and never above the larger of the ceiling and the input's own peak (the monitor's
// bypass passes the input), texts terminated within the size given, a refused state changing nothing, an
// accepted one reading back as it was written. A failed check prints what failed and aborts.
//
// Input grammar: a sequence of commands, one byte each, followed by their arguments.
#include "FuzzHost.h"
#include "clap/PresetAbi.h"

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/plugin-factory.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
constexpr std::uint32_t kLargestBlock = 4096;
enum Command {
    kProcess,
    kFlush,
    kLoadBlob,
    kLoadMutatedState,
    kLoadPreset,
    kTexts,
    kReset,
    kReactivate,
    kCommands
};

double eventValue(FuzzInput& input) { return input.value(-0.5, 5.1); }

struct Events {
    std::vector<clap_event_param_value_t> list;
    clap_input_events_t record{
        this,
        [](const clap_input_events_t* events) {
            return static_cast<std::uint32_t>(static_cast<Events*>(events->ctx)->list.size());
        },
        [](const clap_input_events_t* events, std::uint32_t index) {
            const clap_event_header_t* header = &static_cast<Events*>(events->ctx)->list[index].header;
            return header;
        }};

    // Event headers as a careless host may fill them: any type and space, sizes too small or too large.
    void read(FuzzInput& input) {
        const std::uint8_t count = input.byte() % 12;
        for (std::uint8_t i = 0; i < count; ++i) {
            clap_event_param_value_t event{};
            const std::uint8_t shape = input.byte();
            event.header.size = shape & 1 ? 8 : sizeof event;
            event.header.space_id = shape & 2 ? 7 : CLAP_CORE_EVENT_SPACE_ID;
            event.header.type = static_cast<std::uint16_t>(shape >> 2 & 15);
            event.header.time = input.word() & 0x3FFF;
            event.param_id = input.byte() % 10 == 9 ? input.word() : input.byte() % 8;
            event.value = eventValue(input);
            list.push_back(event);
        }
    }
};

bool CLAP_ABI acceptOutput(const clap_output_events_t*, const clap_event_header_t*) { return true; }
const clap_output_events_t kOutput = {nullptr, acceptOutput};

std::int64_t CLAP_ABI readBytes(const clap_istream_t* stream, void* buffer, std::uint64_t size) {
    return static_cast<std::int64_t>(static_cast<ChunkedBytes*>(stream->ctx)->read(buffer, size));
}
std::int64_t CLAP_ABI writeBytes(const clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
    return static_cast<std::int64_t>(static_cast<ChunkedBytes*>(stream->ctx)->write(buffer, size));
}

const void* CLAP_ABI noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_ABI noRequest(const clap_host_t*) {}
const clap_host_t kHost = {CLAP_VERSION_INIT, nullptr,   "fuzz",    "",       "", "1",
                           noExtension,       noRequest, noRequest, noRequest};

class Session {
  public:
    Session() {
        const auto* factory =
            static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin_ = factory->create_plugin(factory, &kHost, factory->get_plugin_descriptor(factory, 0)->id);
        if (!plugin_ || !plugin_->init(plugin_) || !plugin_->activate(plugin_, 44100.0, 1, kLargestBlock))
            fail("instance");
        params_ = static_cast<const clap_plugin_params_t*>(plugin_->get_extension(plugin_, CLAP_EXT_PARAMS));
        state_ = static_cast<const clap_plugin_state_t*>(plugin_->get_extension(plugin_, CLAP_EXT_STATE));
        presets_ = static_cast<const clap_plugin_preset_load_t*>(
            plugin_->get_extension(plugin_, kClapExtPresetLoad));
        clap_audio_port_info_t port{};
        static_cast<const clap_plugin_audio_ports_t*>(plugin_->get_extension(plugin_, CLAP_EXT_AUDIO_PORTS))
            ->get(plugin_, 0, true, &port);
        channels_ = port.channel_count;
    }
    ~Session() {
        plugin_->deactivate(plugin_);
        plugin_->destroy(plugin_);
    }

    void run(FuzzInput& input) {
        const int command = input.byte() % kCommands;
        switch (command) {
        case kProcess:
            process(input);
            break;
        case kFlush: {
            Events events;
            events.read(input);
            params_->flush(plugin_, &events.record, &kOutput);
            break;
        }
        case kLoadBlob:
        case kLoadMutatedState: {
            const std::size_t chunk = input.byte() % 16 + 1;
            loadChecked(command == kLoadBlob ? input.bytes(input.byte() * 4u) : mutated(save(), input),
                        chunk);
            break;
        }
        case kLoadPreset: {
            std::vector<std::uint8_t> key = input.bytes(input.byte() % 4);
            key.push_back(0);
            presets_->from_location(plugin_, input.byte() % 3, nullptr,
                                    reinterpret_cast<const char*>(key.data()));
            break;
        }
        case kTexts:
            texts(input);
            break;
        case kReset:
            plugin_->reset(plugin_);
            break;
        case kReactivate:
            plugin_->deactivate(plugin_);
            if (!plugin_->activate(plugin_, 1000.0 + input.word() % 400000, 1, kLargestBlock))
                fail("activate");
            break;
        }
    }

  private:
    void process(FuzzInput& input) {
        const std::uint32_t frames = input.word() % kLargestBlock;
        FuzzBlock block(input, channels_, frames, inputPeak_);
        clap_audio_buffer_t inBuffer = {block.inputs(), nullptr, channels_, 0, 0};
        clap_audio_buffer_t outBuffer = {block.outputs(), nullptr, channels_, 0, 0};
        Events events;
        events.read(input);
        const clap_process_t process = {-1, frames, nullptr,        &inBuffer, &outBuffer,
                                        1,  1,      &events.record, &kOutput};
        if (plugin_->process(plugin_, &process) != CLAP_PROCESS_CONTINUE)
            fail("process refused a fitting block");
        block.checkOutput(inputPeak_);
    }

    void texts(FuzzInput& input) {
        const clap_id id = input.byte() % 9;
        char text[64];
        std::memset(text, 0x5A, sizeof text);
        const std::uint32_t size = input.byte() % 40;
        if (params_->value_to_text(plugin_, id, eventValue(input), text, size) &&
            (size == 0 || std::memchr(text, 0, size) == nullptr))
            fail("text not terminated within its size");
        if (std::find_if(text + size, text + sizeof text, [](char c) { return c != 0x5A; }) !=
            text + sizeof text)
            fail("text written past its size");
        std::vector<std::uint8_t> typed = input.bytes(input.byte() % 12);
        typed.push_back(0);
        double value = 0.0;
        if (params_->text_to_value(plugin_, id, reinterpret_cast<const char*>(typed.data()), &value) &&
            !std::isfinite(value))
            fail("text read as a value that is not finite");
    }

    std::vector<std::uint8_t> save() const {
        ChunkedBytes bytes;
        bytes.chunk = 3;
        const clap_ostream_t stream = {&bytes, writeBytes};
        if (!state_->save(plugin_, &stream)) fail("save");
        return bytes.data;
    }

    bool load(ChunkedBytes& bytes) const {
        const clap_istream_t stream = {&bytes, readBytes};
        return state_->load(plugin_, &stream);
    }

    void loadChecked(std::vector<std::uint8_t> blob, std::size_t chunk) const {
        const auto load = [this](ChunkedBytes& bytes) { return this->load(bytes); };
        ::loadChecked([this] { return save(); }, load, load, std::move(blob), chunk);
    }

    const clap_plugin_t* plugin_ = nullptr;
    const clap_plugin_params_t* params_ = nullptr;
    const clap_plugin_state_t* state_ = nullptr;
    const clap_plugin_preset_load_t* presets_ = nullptr;
    std::uint32_t channels_ = 0;
    float inputPeak_ = 0.0f;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runSession<Session>(data, size);
}
