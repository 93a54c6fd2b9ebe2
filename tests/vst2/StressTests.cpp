// Host automation, the audio thread and the user interface call one effect at once, as hosts do. After each
// round the threads stop, and the effect must match a fresh one given the current program's stored values one
// call at a time: values, texts, gains, the signal path's settings and its output. Selecting the current
// program again changes nothing.
//
// tools/run-tests.sh also runs this test under ThreadSanitizer, where any data race fails it. A round's
// length is set mostly by how three busy threads share two cores, which ThreadSanitizer hardly slows, so a
// ThreadSanitizer build runs more rounds: about ten seconds per build there, one or two elsewhere.
#include "TestHost.h"

#include "core/BuildConfig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr int kRounds = 1300;
#else
constexpr int kRounds = 300;
#endif
constexpr int kUserStepsPerRound = 600;
constexpr std::int32_t kAudioBlock = 64;

// Switch thresholds, the ends of the range, values beyond it, and anything between.
float anyValue(std::mt19937& random) {
    static const float kSpecial[] = {0.0f, 1.0f, 0.5f, 0.49f, 0.51f, 0.2f, 0.8f, -0.03f, 1.5f, 3.0f};
    if (random() % 2) return kSpecial[random() % std::size(kSpecial)];
    return std::uniform_real_distribution<float>(-0.5f, 2.0f)(random);
}

// The release switch and value most often: they depend on each other.
std::int32_t anyParameter(std::mt19937& random) {
    static const std::int32_t kIndices[] = {0, 1, 2, 2, 3, 3, 4, 5};
    return kIndices[random() % std::size(kIndices)];
}

// What the host, the editor and the signal path see of the parameters, exact to the bit.
std::string stateOf(const Instance& effect) {
    const LimiterCore& core = coreOf(effect);
    const auto& path = core.signalPath();
    std::ostringstream state;
    state << std::hexfloat;
    for (std::int32_t index = 0; index < kVstParameterCount; ++index)
        state << effect.get(index) << " \"" << effect.display(index) << "\"\n";
    state << "gains " << makeupGain(effect) << ' ' << ceilingGain(effect) << "\npath "
          << path.currentMakeupGain() << ' ' << path.currentCeilingGain() << ' '
          << path.currentReleaseSwitch() << ' ' << path.currentClipSwitch() << ' ' << path.currentMonitor()
          << ' ' << path.manual().releaseCoefficient() << ' ' << path.autoSlow().attackCoefficient() << '\n';
    return state.str();
}

std::string bankOf(const Instance& effect) {
    std::string bytes;
    for (std::int32_t index = 0; index < kProgramCount; ++index) {
        const LimiterProgram copy = coreOf(effect).program(index);
        bytes.append(reinterpret_cast<const char*>(&copy), sizeof copy);
    }
    return bytes;
}

void checkRound(const Instance& effect, int round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const auto current = static_cast<std::int32_t>(effect.dispatch(effGetProgram));
    const LimiterProgram p = coreOf(effect).program(current);
    Instance reference;
    const std::pair<std::int32_t, float> calls[] = {{2, 1.0f},          {3, p.manualRelease}, {2, 0.0f},
                                                    {3, p.autoRelease}, {2, p.relSwitch},     {0, p.makeup},
                                                    {1, p.ceiling},     {4, p.clipSwitch},    {5, p.monitor}};
    for (auto [index, value] : calls)
        reference.set(index, value);
    Buffers block = noise(kAudioBlock, 1, 0.9f);
    run(reference, block);
    const std::string state = stateOf(effect);
    EXPECT_EQ(state, stateOf(reference));

    const std::string bank = bankOf(effect);
    effect.selectProgram(current);
    run(effect, block);
    EXPECT_EQ(stateOf(effect), state) << "selecting the current program again";
    EXPECT_EQ(bankOf(effect), bank) << "selecting the current program again";

    // From a cleared running state both sound the same.
    Buffers stressed = noise(3000, 2, 0.9f);
    Buffers fresh = noise(3000, 2, 0.9f);
    for (const Instance* instance : std::initializer_list<const Instance*>{&effect, &reference}) {
        instance->dispatch(effMainsChanged, 0, 0);
        instance->dispatch(effMainsChanged, 0, 1);
    }
    run(effect, stressed);
    run(reference, fresh);
    EXPECT_EQ(stressed.samples, fresh.samples);
}

TEST(ParameterStress, AutomationAudioAndProgramChangesLeaveEverythingConsistent) {
    Instance effect;
    for (int round = 0; round < kRounds && !::testing::Test::HasFailure(); ++round) {
        const unsigned seed = 1000u + static_cast<unsigned>(round);
        std::atomic<int> waiting{3};
        const auto startTogether = [&waiting] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0)
                std::this_thread::yield();
        };
        std::atomic<bool> userDone{false};
        std::atomic<bool> writersDone{false};

        // The host's audio thread: blocks, with now and then a parameter change between two of them.
        std::thread audio([&] {
            std::mt19937 random(seed);
            Buffers block = noise(kAudioBlock, seed, 0.9f);
            startTogether();
            for (int n = 0; !writersDone.load(std::memory_order_acquire); ++n) {
                if (n % 4 == 0) effect.set(anyParameter(random), anyValue(random));
                if (n % 16 == 5)
                    effect->process(effect.get(), block.inputs, block.outputs, kAudioBlock);
                else
                    effect->processReplacing(effect.get(), block.inputs, block.outputs, kAudioBlock);
            }
            // One block after the others are done, in which the signal path takes up the final values.
            effect->processReplacing(effect.get(), block.inputs, block.outputs, kAudioBlock);
        });
        // Host automation, until the user is done, so that the round ends with both busy.
        std::thread automation([&] {
            std::mt19937 random(seed + 1);
            startTogether();
            while (!userDone.load(std::memory_order_relaxed)) {
                effect.set(anyParameter(random), anyValue(random));
                (void)effect.get(anyParameter(random));
            }
        });
        // The user picks programs, edits values and reads what the editor shows.
        std::thread user([&] {
            std::mt19937 random(seed + 2);
            startTogether();
            for (int n = 0; n <= kUserStepsPerRound; ++n) {
                effect.selectProgram(static_cast<std::int32_t>(random() % kProgramCount));
                if (n == kUserStepsPerRound) break;
                effect.set(anyParameter(random), anyValue(random));
                (void)effect.display(anyParameter(random));
                (void)effect.text(effGetProgramName);
                (void)coreOf(effect).meterValue(0);
            }
            userDone.store(true, std::memory_order_relaxed);
        });
        automation.join();
        user.join();
        writersDone.store(true, std::memory_order_release);
        audio.join();
        checkRound(effect, round);
    }
}

} // namespace
