// A 32-bit host built by another compiler guarantees only 4-byte stack alignment when it calls the library,
// while SSE code spills to 16-byte slots. A trampoline calls the entries with the stack misaligned by 4, 8
// and 12 bytes; every call must give what the same call gives on an aligned stack.
#include "HostedEffect.h"

#include <cstring>
#include <random>

extern "C" std::uint32_t qv3CallMisaligned(const void* function, const std::uint32_t* arguments,
                                           std::uint32_t count, std::uint32_t misalignment);

// cdecl: copies `count` argument words below a 16-byte boundary shifted by `misalignment`, calls, and answers
// eax.
asm(R"(
    .text
    .globl _qv3CallMisaligned
_qv3CallMisaligned:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    leal 64(,%ecx,4), %edx
    movl %esp, %eax
    subl %edx, %eax
    andl $-16, %eax
    addl 20(%ebp), %eax
    movl %eax, %esp
    movl %eax, %edi
    cld
    rep movsl
    call *8(%ebp)
    leal -12(%ebp), %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

namespace {

class StackAlignment : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(StackAlignment);

template <typename T> std::uint32_t word(T value) {
    static_assert(sizeof(T) == 4);
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

struct Misaligned {
    std::uint32_t misalignment;

    template <typename Function, typename... Arguments>
    std::uint32_t call(Function* function, Arguments... arguments) const {
        const std::uint32_t words[] = {word(arguments)..., 0};
        return qv3CallMisaligned(reinterpret_cast<const void*>(function), words, sizeof...(arguments),
                                 misalignment);
    }
};

constexpr std::uint32_t kMisalignments[] = {4, 8, 12};

TEST_P(StackAlignment, MainBuildsTheSameRecord) {
    for (std::uint32_t misalignment : kMisalignments) {
        RecordingHost::reset();
        auto* record = reinterpret_cast<AEffect*>(
            Misaligned{misalignment}.call(library().entry(), &RecordingHost::callback));
        ASSERT_NE(record, nullptr) << "misaligned by " << misalignment;
        auto aligned = instantiate();
        EXPECT_EQ(std::memcmp(&record->numPrograms, &aligned->record()->numPrograms,
                              offsetof(AEffect, object) - offsetof(AEffect, numPrograms)),
                  0);
        record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    }
}

TEST_P(StackAlignment, DispatcherAndParametersAnswerAsOnAnAlignedStack) {
    auto aligned = instantiate();
    auto shifted = instantiate();
    AEffect* record = shifted->record();
    for (std::uint32_t misalignment : kMisalignments) {
        const Misaligned call{misalignment};
        for (float value : {0.0f, 0.29f, 0.61f, 1.0f}) {
            for (std::int32_t index = 0; index < 6; ++index) {
                aligned->set(index, value);
                call.call(record->setParameter, record, index, value);
                EXPECT_EQ(shifted->get(index), aligned->get(index));
                char text[64] = {};
                call.call(record->dispatcher, record, effGetParamDisplay, index, VstIntPtr{0},
                          static_cast<void*>(text), 0.0f);
                EXPECT_EQ(text, aligned->display(index))
                    << "parameter " << index << " at " << value << ", misaligned by " << misalignment;
            }
        }
        call.call(record->dispatcher, record, effSetSampleRate, 0, VstIntPtr{0}, static_cast<void*>(nullptr),
                  48000.0f);
        aligned->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        EXPECT_EQ(call.call(record->dispatcher, record, effGetTailSize, 0, VstIntPtr{0},
                            static_cast<void*>(nullptr), 0.0f),
                  static_cast<std::uint32_t>(aligned->dispatch(effGetTailSize)));
    }
}

TEST_P(StackAlignment, ProcessReplacingWritesTheSameSamples) {
    constexpr std::int32_t kFrames = 512;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    ChannelBuffers input = silence(build().channels, kFrames * 6);
    for (auto& channel : input)
        for (float& value : channel)
            value = sample(random);

    auto aligned = instantiate();
    auto shifted = instantiate();
    for (auto* effect : {aligned.get(), shifted.get()})
        effect->set(0, 0.5f);
    ChannelBuffers expected = aligned->replacing(input, kFrames);

    ChannelBuffers output = silence(build().channels, input[0].size());
    AEffect* record = shifted->record();
    for (std::size_t block = 0; block * kFrames < input[0].size(); ++block) {
        std::vector<float*> inputs, outputs;
        for (std::int32_t c = 0; c < build().channels; ++c) {
            inputs.push_back(input[c].data() + block * kFrames);
            outputs.push_back(output[c].data() + block * kFrames);
        }
        Misaligned{kMisalignments[block % 3]}.call(record->processReplacing, record, inputs.data(),
                                                   outputs.data(), kFrames);
    }
    EXPECT_EQ(output, expected);
}

} // namespace
