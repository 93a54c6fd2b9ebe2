// A libFuzzer target that plays a host: it decodes its input into calls on one or two instances of the
// plug-in, made through the library's entry and the effect record only, and checks what a host relies on
// after every call. Processed output is finite and within the ceiling; texts are terminated within their
// VST 2.x fields; nothing is written past them or into memory an opcode does not answer through; the record
// never changes. A failed check prints what failed and aborts, so libFuzzer keeps the input.
//
// Input grammar (tests/fuzz/make_corpus.py writes seeds in it): a sequence of commands, each one byte whose
// low bit picks the instance and whose upper bits pick the command, followed by its arguments. Reads past
// the end answer 0, so every input is a complete sequence.
#include "core/BuildConfig.h"
#include "dsp/ParameterCurves.h"
#include "vst2/MeterQuery.h"
#include "vst2/PluginEntry.h"
#include "vst2/VstInterface.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr double kOutputClamp = 0.999999;
// Frames of the bypass delay: the dry signal leaves 38 frames after it entered, so an output frame depends
// on the input frames from 38 back up to itself.
constexpr std::int32_t kDryWindow = 39;
constexpr std::int32_t kLargestBlock = 8192;
constexpr int kDecodedChannels = 2;
constexpr std::size_t kArenaSize = 4096;
constexpr unsigned char kCanary = 0xA5;

// VST 2.x text fields, terminator included. The classic 8-byte parameter field is too short for the name
// "lt_ClipSW"; names are held to 16 bytes.
constexpr std::size_t kProgramNameField = 24;
constexpr std::size_t kParameterTextField = 8;
constexpr std::size_t kParameterNameField = 16;
constexpr std::size_t kEffectNameField = 32;
constexpr std::size_t kVendorField = 64;

// Integers and floats that matter to a host interface, picked by the input's tag bytes.
// 0x100000006 is a meter index in its low 32 bits only.
constexpr std::int64_t kExtremeNumbers[16] = {INT32_MIN,
                                              INT32_MAX,
                                              INT64_MIN,
                                              INT64_MAX,
                                              kMeterValueQuery,
                                              kMeterValueQuery + 1,
                                              0x100000006,
                                              0x10000000000,
                                              -6,
                                              -1,
                                              0,
                                              1,
                                              31,
                                              4096,
                                              65536,
                                              1000000};
constexpr float kSpecialFloats[32] = {
    NAN,     INFINITY, -INFINITY, -0.0f,       FLT_MAX,     -FLT_MAX,  FLT_MIN / 2.0f, 1e-30f,
    1e30f,   -1.0f,    2.0f,      0.49999997f, 0.50000006f, 0.00001f,  -0.00001f,      0.0000099999f,
    8000.0f, 22050.0f, 44100.0f,  48000.0f,    96000.0f,    192000.0f, 384000.0f,      0.5f,
    0.9999f, 1.0f,     0.1f,      100.0f,      1e6f,        -1e30f,    128.0f,         3.0f};

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("check failed: ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
    va_end(arguments);
    std::abort();
}

// The fuzz input, read from the front; once it is used up every read answers 0.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return position_ >= size_; }
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | static_cast<std::uint32_t>(u16()) << 16;
    }
    float rawFloat() {
        const std::uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Integers as hosts send them: mostly small, sometimes arbitrary or extreme.
    std::int64_t number() {
        const std::uint8_t tag = byte();
        if (tag < 0xC0) return tag - 32;
        if (tag < 0xF0) return static_cast<std::int32_t>(u32());
        return kExtremeNumbers[tag - 0xF0];
    }

    // Floats: normalised steps of 0.01, finer normalised values, any bit pattern, or values that matter.
    float real() {
        const std::uint8_t tag = byte();
        if (tag < 0x80) return static_cast<float>(tag) / 100.0f;
        if (tag < 0xC0) return static_cast<float>(u16()) / 65535.0f;
        if (tag < 0xE0) return rawFloat();
        return kSpecialFloats[tag - 0xE0];
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

VstIntPtr QV3_VSTCALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Host memory handed over through ptr or value: canaries, zeroed records or a text, all of which must come
// back unchanged except the first `writable` bytes.
struct alignas(16) Arena {
    std::array<unsigned char, kArenaSize> bytes;
};

enum class Fill { Canary, Zeros, TextIn, None };
enum class Answer { Nothing, Text, TextOnOne };

// What an opcode is given and may write back through ptr.
struct OpcodeUse {
    Fill fill = Fill::Canary;
    std::size_t writable = 0;
    Answer answer = Answer::Nothing;
};

OpcodeUse useOf(std::int32_t opcode) {
    switch (opcode) {
    case effGetProgramName:
        return {Fill::Canary, kProgramNameField, Answer::Text};
    case effGetParamLabel:
    case effGetParamDisplay:
        return {Fill::Canary, kParameterTextField, Answer::Text};
    case effGetParamName:
        return {Fill::Canary, kParameterNameField, Answer::Text};
    case effGetProgramNameIndexed:
        return {Fill::Canary, kProgramNameField, Answer::TextOnOne};
    case effGetEffectName:
        return {Fill::Canary, kEffectNameField, Answer::TextOnOne};
    case effGetVendorString:
    case effGetProductString:
        return {Fill::Canary, kVendorField, Answer::TextOnOne};
    case effVendorSpecific:
        return {Fill::Canary, sizeof(double), Answer::Nothing};
    case effGetSpeakerArrangement:
        return {Fill::Canary, sizeof(void*), Answer::Nothing};
    case effSetProgramName:
    case effString2Parameter:
    case effCanDo:
        return {Fill::TextIn, 0, Answer::Nothing};
    // Records the host fills in: empty ones, with no events, files, tasks or speakers to follow.
    case effEditDraw:
    case effSetChunk:
    case effProcessEvents:
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
    case effProcessVarIo:
    case effSetSpeakerArrangement:
    case effBeginLoadBank:
    case effBeginLoadProgram:
        return {Fill::Zeros, 0, Answer::Nothing};
    // A parent window cannot be made here; this build has no editor and ignores the opcode.
    case effEditOpen:
        return {Fill::None, 0, Answer::Nothing};
    default:
        return {};
    }
}

class Plugin {
  public:
    Plugin() { create(); }
    ~Plugin() { close(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Closes the instance and makes a new one through the entry, as a host reopens a plug-in.
    void reopen() {
        close();
        create();
    }

    void dispatch(Input& in) {
        const std::uint8_t tag = in.byte();
        const std::int32_t opcode =
            tag < 0xF0 ? tag % (effBeginLoadProgram + 1) : static_cast<std::int32_t>(in.number());
        const auto index = static_cast<std::int32_t>(in.number());
        const VstIntPtr value = static_cast<VstIntPtr>(in.number());
        const float opt = in.real();
        if (opcode == effClose) {
            reopen();
            return;
        }
        dispatchChecked(opcode, index, value, opt, in);
    }

    void setParameter(Input& in) {
        const std::uint8_t tag = in.byte();
        const std::int32_t index = tag < 0xF0 ? tag % 7 : static_cast<std::int32_t>(in.number());
        effect_->setParameter(effect_, index, in.real());
        checkRecord("setParameter");
        dispatchChecked(effGetParamDisplay, index, 0, 0.0f, in);
    }

    void getParameter(Input& in) {
        const auto index = static_cast<std::int32_t>(in.number());
        const float value = effect_->getParameter(effect_, index);
        if (index >= 0 && index < effect_->numParams) {
            if (!std::isfinite(value))
                fail("getParameter(%d) answered %g", index, static_cast<double>(value));
        } else if (value != 0.0f) {
            fail("getParameter(%d) answered %g for an unknown index", index, static_cast<double>(value));
        }
        checkRecord("getParameter");
    }

    void process(Input& in, bool accumulate);

  private:
    void create() {
        effect_ = createPluginInstance(hostCallback);
        if (!effect_) fail("the entry made no instance");
        std::memcpy(&record_, effect_, sizeof record_);
        framesSinceNonFinite_ = kDryWindow;
    }

    void close() {
        if (effect_ && effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f) != 1)
            fail("effClose did not answer 1");
        effect_ = nullptr;
    }

    void checkRecord(const char* call) const {
        if (std::memcmp(&record_, effect_, sizeof record_) != 0) fail("%s changed the effect record", call);
    }

    void dispatchChecked(std::int32_t opcode, std::int32_t index, VstIntPtr value, float opt, Input& in);

    AEffect* effect_ = nullptr;
    AEffect record_;
    // Consecutive frames, up to the last one processed, in which every input sample was finite.
    std::int64_t framesSinceNonFinite_ = 0;
};

void Plugin::dispatchChecked(std::int32_t opcode, std::int32_t index, VstIntPtr value, float opt, Input& in) {
    const OpcodeUse use = useOf(opcode);
    Arena memory;
    Arena valueMemory;
    memory.bytes.fill(use.fill == Fill::Zeros ? 0 : kCanary);
    valueMemory.bytes.fill(opcode == effSetSpeakerArrangement ? 0 : kCanary);
    if (use.fill == Fill::TextIn) {
        const std::size_t length = in.byte();
        for (std::size_t i = 0; i < length; ++i)
            memory.bytes[i] = in.byte();
        memory.bytes[length] = 0;
    }
    std::size_t valueWritable = 0;
    switch (opcode) {
    case effSetSpeakerArrangement:
        value = reinterpret_cast<VstIntPtr>(valueMemory.bytes.data());
        break;
    case effGetSpeakerArrangement:
        value = reinterpret_cast<VstIntPtr>(valueMemory.bytes.data());
        valueWritable = sizeof(void*);
        break;
    case effSetChunk:
        value = static_cast<VstIntPtr>(static_cast<std::size_t>(value) % (kArenaSize + 1));
        break;
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
        value &= 1; // one zeroed record at most
        break;
    default:
        break;
    }
    const Arena before = memory;
    const Arena valueBefore = valueMemory;

    void* ptr = use.fill == Fill::None ? nullptr : memory.bytes.data();
    const VstIntPtr reply = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);

    const unsigned char* written = memory.bytes.data();
    if (std::memcmp(written + use.writable, before.bytes.data() + use.writable, kArenaSize - use.writable) !=
        0)
        fail("opcode %d, index %d wrote beyond the %zu bytes it may write", opcode, index, use.writable);
    if (std::memcmp(valueMemory.bytes.data() + valueWritable, valueBefore.bytes.data() + valueWritable,
                    kArenaSize - valueWritable) != 0)
        fail("opcode %d wrote beyond the %zu bytes at value", opcode, valueWritable);
    const bool textExpected = use.answer == Answer::Text || (use.answer == Answer::TextOnOne && reply == 1);
    if (textExpected && std::memchr(written, 0, use.writable) == nullptr)
        fail("opcode %d, index %d left no text terminated within %zu bytes", opcode, index, use.writable);
    if (use.answer == Answer::TextOnOne && reply != 1 &&
        std::memcmp(written, before.bytes.data(), use.writable) != 0)
        fail("opcode %d, index %d answered %lld yet wrote", opcode, index, static_cast<long long>(reply));
    if (opcode == effVendorSpecific && reply == 1) {
        double meter;
        std::memcpy(&meter, written, sizeof meter);
        if (!std::isfinite(meter)) fail("meter %lld reads %g", static_cast<long long>(value), meter);
    }
    checkRecord("the dispatcher");
}

// One channel of a block: raw samples from the input, or a shape that a long block gets from a few bytes.
void fillChannel(Input& in, float* samples, std::size_t length, const float* firstChannel) {
    switch (in.byte() % 6) {
    case 0: // anything, NaN and infinities included
        for (std::size_t k = 0; k < length; ++k)
            samples[k] = in.rawFloat();
        break;
    case 1: {
        const float scale = in.real() / 127.0f;
        for (std::size_t k = 0; k < length; ++k)
            samples[k] = scale * static_cast<float>(static_cast<std::int8_t>(in.byte()));
        break;
    }
    case 2: {
        const double amplitude = static_cast<double>(in.real());
        const double period = 2.0 + in.byte();
        for (std::size_t k = 0; k < length; ++k)
            samples[k] =
                static_cast<float>(amplitude * std::sin(6.283185307179586 * static_cast<double>(k) / period));
        break;
    }
    case 3:
        std::fill(samples, samples + length, in.real());
        break;
    case 4: { // one sample in silence
        std::fill(samples, samples + length, 0.0f);
        const std::size_t at = in.u16();
        const float sample = in.real();
        if (at < length) samples[at] = sample;
        break;
    }
    default: // the first channel again (in mono, silence)
        if (firstChannel && firstChannel != samples)
            std::copy(firstChannel, firstChannel + length, samples);
        else
            std::fill(samples, samples + length, 0.0f);
        break;
    }
}

std::int32_t blockSize(Input& in) {
    static constexpr std::int32_t kSizes[] = {-1, INT32_MIN, 0, 256, 257, kLargestBlock};
    const std::uint8_t tag = in.byte();
    if (tag < 200) return tag;
    if (tag < 250) return in.u16() % (kLargestBlock + 1);
    return kSizes[tag - 250];
}

// Buffers are exactly as long as the block, so AddressSanitizer sees any access past them.
void Plugin::process(Input& in, bool accumulate) {
    const std::int32_t frames = blockSize(in);
    const std::size_t length = frames > 0 ? static_cast<std::size_t>(frames) : 0;
    const int inputCount = effect_->numInputs;
    const int outputCount = effect_->numOutputs;
    const bool inPlace = !accumulate && inputCount == outputCount && (in.byte() & 1);
    static constexpr float kEarlierOutputs[] = {0.0f, 0.5f, -1.0f, 1000.0f};
    const float earlier = accumulate ? kEarlierOutputs[in.byte() % 4] : 0.0f;

    // Two channels are always decoded, so that an input means the same calls to both builds.
    std::vector<std::unique_ptr<float[]>> buffers;
    std::vector<float*> inputs;
    std::vector<float*> outputs;
    for (int c = 0; c < kDecodedChannels; ++c) {
        buffers.emplace_back(new float[length]);
        fillChannel(in, buffers.back().get(), length, buffers.front().get());
        if (c < inputCount) inputs.push_back(buffers.back().get());
    }
    std::vector<std::vector<float>> sent;
    for (float* channel : inputs)
        sent.emplace_back(channel, channel + length);
    for (int c = 0; c < outputCount; ++c) {
        if (inPlace) {
            outputs.push_back(inputs[static_cast<std::size_t>(c)]);
            continue;
        }
        buffers.emplace_back(new float[length]);
        outputs.push_back(buffers.back().get());
        // A replacing call must write every sample: NaN is what it leaves where it does not.
        std::fill(outputs.back(), outputs.back() + length,
                  accumulate ? earlier : std::numeric_limits<float>::quiet_NaN());
    }

    // The settings the block runs with, read as a host would: the ceiling as the plug-in maps it.
    const bool bypass = effect_->getParameter(effect_, 5) >= 0.5f;
    const double limit = kOutputClamp * std::min(ceilingGainFor(effect_->getParameter(effect_, 1)), 1.0);
    const float lowest = static_cast<float>(static_cast<double>(earlier) - limit);
    const float highest = static_cast<float>(static_cast<double>(earlier) + limit);

    if (accumulate)
        effect_->process(effect_, inputs.data(), outputs.data(), frames);
    else
        effect_->processReplacing(effect_, inputs.data(), outputs.data(), frames);
    checkRecord(accumulate ? "process" : "processReplacing");

    for (std::size_t k = 0; k < length; ++k) {
        bool finiteFrame = true;
        for (const std::vector<float>& channel : sent)
            finiteFrame = finiteFrame && std::isfinite(channel[k]);
        framesSinceNonFinite_ = finiteFrame ? framesSinceNonFinite_ + 1 : 0;
        for (int c = 0; c < outputCount; ++c) {
            const float sample = outputs[static_cast<std::size_t>(c)][k];
            // The bypass passes the input on: finite wherever the input it delays was.
            if (bypass) {
                if (framesSinceNonFinite_ >= kDryWindow && !std::isfinite(sample))
                    fail("bypass output %g at frame %zu of %d, channel %d, from finite input",
                         static_cast<double>(sample), k, frames, c);
            } else if (!(sample >= lowest && sample <= highest)) {
                fail("%s output %.9g at frame %zu of %d, channel %d, outside [%.9g, %.9g]",
                     accumulate ? "accumulated" : "replaced", static_cast<double>(sample), k, frames, c,
                     static_cast<double>(lowest), static_cast<double>(highest));
            }
        }
    }
}

enum Command { kDispatch, kSetParameter, kGetParameter, kProcessReplacing, kProcess, kCommands };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::array<Plugin, 2> plugins;
    while (!in.done()) {
        const std::uint8_t command = in.byte();
        Plugin& plugin = plugins[command & 1];
        switch ((command >> 1) % kCommands) {
        case kDispatch:
            plugin.dispatch(in);
            break;
        case kSetParameter:
            plugin.setParameter(in);
            break;
        case kGetParameter:
            plugin.getParameter(in);
            break;
        case kProcessReplacing:
            plugin.process(in, false);
            break;
        default:
            plugin.process(in, true);
            break;
        }
    }
    return 0;
}
