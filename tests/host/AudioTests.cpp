// Audio through the record's processReplacing and process entries: latency, the output bound, accumulation,
// independence of block sizes, instances and resets, and sample rates a host should not send.
#include "HostedEffect.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace {

class Audio : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(Audio);

// Uniform noise of the given peak in every channel, with stretches of digital silence that close the
// effect's silence gate.
ChannelBuffers noiseWithGaps(std::int32_t channels, std::size_t frames, std::uint32_t seed, float peak) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::uniform_int_distribution<std::size_t> stretch(1, 600);
    ChannelBuffers buffers = silence(channels, frames);
    bool loud = true;
    for (std::size_t first = 0; first < frames; loud = !loud) {
        std::size_t last = std::min(frames, first + stretch(random));
        for (; first < last; ++first) {
            for (std::vector<float>& channel : buffers)
                channel[first] = loud ? peak * sample(random) : 0.0f;
        }
    }
    return buffers;
}

// "" when both are bit for bit the same, else where they first differ.
std::string firstDifference(const ChannelBuffers& actual, const ChannelBuffers& expected) {
    if (actual.size() != expected.size()) return "channel counts differ";
    for (std::size_t c = 0; c < actual.size(); ++c) {
        if (actual[c].size() != expected[c].size()) return "lengths differ";
        for (std::size_t i = 0; i < actual[c].size(); ++i) {
            if (std::memcmp(&actual[c][i], &expected[c][i], sizeof(float)) != 0) {
                std::ostringstream where;
                where.precision(9);
                where << "channel " << c << ", frame " << i << ": " << actual[c][i] << " instead of "
                      << expected[c][i];
                return where.str();
            }
        }
    }
    return "";
}

// "" when every sample is finite and at most `bound` in magnitude, else the first one that is not.
std::string firstOutOfBounds(const ChannelBuffers& buffers, float bound) {
    for (std::size_t c = 0; c < buffers.size(); ++c) {
        for (std::size_t i = 0; i < buffers[c].size(); ++i) {
            if (!(std::fabs(buffers[c][i]) <= bound)) {
                std::ostringstream where;
                where.precision(9);
                where << "channel " << c << ", frame " << i << ": " << buffers[c][i];
                return where.str();
            }
        }
    }
    return "";
}

// The loudest output a ceiling setting allows: the clamp level times the ceiling gain, rounded up by one step
// of a float.
float outputBound(float ceiling) {
    double decibels = 6.0 * static_cast<double>(ceiling) - 6.0;
    double gain = decibels > -0.01 ? 1.0 : std::pow(10.0, 0.05 * decibels);
    return std::nextafter(static_cast<float>(0.999999 * gain), FLT_MAX);
}

TEST_P(Audio, ProcessedImpulseArrivesAfterTheReportedLatency) {
    auto effect = instantiate();
    ASSERT_EQ(effect->record()->initialDelay, kExpectedLatency);
    ChannelBuffers input = silence(build().channels, 300);
    const float peaks[] = {0.5f, -0.25f};
    for (std::size_t c = 0; c < input.size(); ++c)
        input[c][0] = peaks[c];
    ChannelBuffers output = effect->replacing(input, 64);
    for (std::size_t c = 0; c < output.size(); ++c) {
        for (std::size_t i = 0; i < 39; ++i)
            EXPECT_EQ(output[c][i], 0.0f) << "channel " << c << ", frame " << i;
        EXPECT_EQ(output[c][39], peaks[c]) << "channel " << c;
        for (std::size_t i = 40; i < output[c].size(); ++i)
            EXPECT_LT(std::fabs(output[c][i]), 0.001f) << "channel " << c << ", frame " << i;
    }
}

TEST_P(Audio, BypassedImpulseReappearsBitExactAfter38Samples) {
    auto effect = instantiate();
    effect->set(5, 1.0f);
    effect->set(0, 1.0f);
    ChannelBuffers input = silence(build().channels, 200);
    const float peaks[] = {0.123456789f, -0.987654321f};
    for (std::size_t c = 0; c < input.size(); ++c)
        input[c][5] = peaks[c];
    ChannelBuffers expected = silence(build().channels, 200);
    for (std::size_t c = 0; c < input.size(); ++c)
        expected[c][5 + 38] = peaks[c];
    EXPECT_EQ(firstDifference(effect->replacing(input, 200), expected), "");
}

TEST_P(Audio, NeverExceedsTheClampTimesTheCeiling) {
    std::mt19937 random(7);
    const float makeups[] = {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 100.0f, 1e30f, FLT_MAX};
    const float ceilings[] = {0.0f, 0.25f, 0.5f, 0.83375f, 1.0f};
    const float peaks[] = {0.001f, 0.5f, 1.0f, 8.0f, 1e6f, 1e30f, FLT_MAX};
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        auto effect = instantiate();
        effect->selectProgram(static_cast<std::int32_t>(random() % 31));
        const float makeup = makeups[random() % 8];
        const float ceiling = ceilings[random() % 5];
        const float peak = peaks[random() % 7];
        effect->set(0, makeup);
        effect->set(1, ceiling);
        effect->set(2, static_cast<float>(random() % 3) * 0.5f);
        effect->set(3, static_cast<float>(random() % 101) * 0.01f);
        effect->set(4, static_cast<float>(random() % 5) * 0.25f);
        ChannelBuffers output = effect->replacing(noiseWithGaps(build().channels, 6000, seed, peak),
                                                  static_cast<std::int32_t>(1 + random() % 700));
        EXPECT_EQ(firstOutOfBounds(output, outputBound(ceiling)), "")
            << "seed " << seed << ", makeup " << makeup << ", ceiling " << ceiling << ", peak " << peak;
    }
}

TEST_P(Audio, ProcessAddsToWhatTheOutputHolds) {
    const ChannelBuffers input = noiseWithGaps(build().channels, 4000, 11, 2.0f);
    auto replacing = instantiate();
    auto accumulating = instantiate();
    for (const auto& effect : {replacing.get(), accumulating.get()}) {
        effect->selectProgram(13);
        effect->set(0, 0.3f);
    }
    const ChannelBuffers processed = replacing->replacing(input, 128);
    ChannelBuffers sums = noiseWithGaps(build().channels, 4000, 12, 0.5f);
    const ChannelBuffers before = sums;
    accumulating->accumulating(input, sums, 128);
    for (std::size_t c = 0; c < sums.size(); ++c) {
        for (std::size_t i = 0; i < sums[c].size(); ++i) {
            if (processed[c][i] == 0.0f)
                ASSERT_EQ(sums[c][i], before[c][i]) << "channel " << c << ", frame " << i;
            else // the effect adds its unrounded sample: the sums may differ in the last bit
                ASSERT_NEAR(sums[c][i], before[c][i] + processed[c][i],
                            2e-7f * (std::fabs(before[c][i]) + std::fabs(processed[c][i])))
                    << "channel " << c << ", frame " << i;
        }
    }
}

TEST_P(Audio, GivesTheSameOutputForAnyBlockSizes) {
    const ChannelBuffers input = noiseWithGaps(build().channels, 5000, 21, 4.0f);
    auto whole = instantiate();
    auto pieces = instantiate();
    for (const auto& effect : {whole.get(), pieces.get()}) {
        effect->selectProgram(10);
        effect->set(4, 0.5f);
    }
    const ChannelBuffers expected = whole->replacing(input, 5000);

    std::mt19937 random(22);
    ChannelBuffers output = silence(build().channels, 5000);
    for (std::size_t first = 0; first < 5000;) {
        auto frames = static_cast<std::int32_t>(std::min<std::size_t>(random() % 300, 5000 - first));
        if (frames == 0) {
            for (std::vector<float>& channel : output)
                channel[first] = 42.0f;
            pieces->replacingBlock(input, output, first, random() % 2 ? 0 : -5);
            for (const std::vector<float>& channel : output)
                ASSERT_EQ(channel[first], 42.0f) << "an empty block wrote to the output";
            continue;
        }
        pieces->replacingBlock(input, output, first, frames);
        first += static_cast<std::size_t>(frames);
    }
    EXPECT_EQ(firstDifference(output, expected), "");
}

TEST_P(Audio, StartsAfreshOnSuspendAndOnResume) {
    const ChannelBuffers before = noiseWithGaps(build().channels, 3000, 31, 3.0f);
    const ChannelBuffers after = noiseWithGaps(build().channels, 3000, 32, 3.0f);
    auto fresh = instantiate();
    fresh->selectProgram(28);
    const ChannelBuffers expected = fresh->replacing(after, 256);
    for (const std::vector<VstIntPtr>& switches :
         {std::vector<VstIntPtr>{0}, std::vector<VstIntPtr>{1}, std::vector<VstIntPtr>{0, 1}}) {
        auto effect = instantiate();
        effect->selectProgram(28);
        ChannelBuffers loud = before;
        for (std::vector<float>& channel : loud)
            channel.back() = 3.0f; // the state is in the middle of a loud passage
        effect->replacing(loud, 256);
        for (VstIntPtr on : switches)
            EXPECT_EQ(effect->dispatch(effMainsChanged, 0, on), 0);
        EXPECT_EQ(firstDifference(effect->replacing(after, 256), expected), "")
            << "after effMainsChanged " << switches.back();
    }
}

TEST_P(Audio, InstancesSideBySideStayIndependent) {
    const ChannelBuffers inputA = noiseWithGaps(build().channels, 4000, 41, 2.0f);
    const ChannelBuffers inputB = noiseWithGaps(build().channels, 4000, 42, 0.7f);
    auto soloA = instantiate();
    auto soloB = instantiate();
    auto a = instantiate();
    auto b = instantiate();
    for (const auto& effect : {soloA.get(), a.get()})
        effect->selectProgram(15);
    for (const auto& effect : {soloB.get(), b.get()}) {
        effect->selectProgram(21);
        effect->set(0, 0.9f);
        effect->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    }
    const ChannelBuffers expectedA = soloA->replacing(inputA, 100);
    const ChannelBuffers expectedB = soloB->replacing(inputB, 100);
    soloA.reset();
    soloB.reset();

    ChannelBuffers outputA = silence(build().channels, 4000);
    ChannelBuffers outputB = silence(build().channels, 4000);
    for (std::size_t first = 0; first < 4000; first += 100) {
        a->replacingBlock(inputA, outputA, first, 100);
        b->replacingBlock(inputB, outputB, first, 100);
    }
    EXPECT_EQ(firstDifference(outputA, expectedA), "");
    EXPECT_EQ(firstDifference(outputB, expectedB), "");
    EXPECT_EQ(a->displays(), (std::vector<std::string>{"6.0", "0.00", "manual", "0.01", "hard", "on"}));
    EXPECT_EQ(b->displays(), (std::vector<std::string>{"43.2", "-3.00", "auto", " 30 %", "4", "on"}));
}

// A rate of zero would make the DC blocker's coefficient infinite and the output NaN for good.
TEST_P(Audio, IgnoresSampleRatesThatAreNotFinitePositiveNumbers) {
    const ChannelBuffers input = noiseWithGaps(build().channels, 4000, 51, 1.5f);
    auto reference = instantiate();
    reference->set(0, 0.4f);
    const ChannelBuffers expected = reference->replacing(input, 512);
    ASSERT_EQ(firstOutOfBounds(expected, outputBound(1.0f)), "");

    for (float rate : {0.0f, -0.0f, -1.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        auto effect = instantiate();
        effect->set(0, 0.4f);
        EXPECT_EQ(effect->dispatch(effSetSampleRate, 0, 0, nullptr, rate), 0);
        EXPECT_EQ(effect->dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, rate), 1);
        EXPECT_EQ(effect->dispatch(effSetSampleRate, 0, 0, nullptr, rate), 0);
        EXPECT_EQ(firstDifference(effect->replacing(input, 512), expected), "") << "rate " << rate;
    }

    auto same = instantiate();
    same->set(0, 0.4f);
    same->dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    EXPECT_EQ(firstDifference(same->replacing(input, 512), expected), "");

    auto faster = instantiate();
    faster->set(0, 0.4f);
    faster->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    const ChannelBuffers output = faster->replacing(input, 512);
    EXPECT_NE(firstDifference(output, expected), "") << "the sample rate changed nothing";
    EXPECT_EQ(firstOutOfBounds(output, outputBound(1.0f)), "");
}

// Ignored parameter values leave the audio exactly as if they had never been sent.
TEST_P(Audio, NonFiniteParameterValuesLeaveTheAudioAlone) {
    const ChannelBuffers input = noiseWithGaps(build().channels, 3000, 61, 1.0f);
    auto reference = instantiate();
    reference->selectProgram(24);
    const ChannelBuffers expected = reference->replacing(input, 300);
    auto effect = instantiate();
    effect->selectProgram(24);
    for (std::int32_t index = 0; index < 6; ++index) {
        effect->set(index, std::numeric_limits<float>::quiet_NaN());
        effect->set(index, std::numeric_limits<float>::infinity());
        effect->set(index, -std::numeric_limits<float>::infinity());
    }
    EXPECT_EQ(firstDifference(effect->replacing(input, 300), expected), "");
}

// The meter readings published while audio runs, read through the vendor-specific query of our own hosts.
TEST_P(Audio, PublishesMeterReadingsForTheQuery) {
    const std::int32_t query = fourCharCode('O', 'v', 'M', 'v');
    const std::int32_t meterCount = build().channels == 2 ? 5 : 3;
    auto effect = instantiate();
    effect->set(0, 0.25f);
    ChannelBuffers input = silence(build().channels, 8820);
    for (std::vector<float>& channel : input) {
        for (std::size_t i = 0; i < channel.size(); ++i)
            channel[i] = i % 40 < 20 ? 0.75f : -0.75f;
    }
    effect->replacing(input, 441);
    for (std::int32_t meter = 6; meter < 6 + meterCount; ++meter) {
        double reading = -1.0;
        EXPECT_EQ(effect->dispatch(effVendorSpecific, query, meter, &reading), 1) << "meter " << meter;
        EXPECT_GT(reading, 0.0) << "meter " << meter;
        EXPECT_LE(reading, 1.0) << "meter " << meter;
    }
    double untouched = -1.0;
    for (VstIntPtr meter : {VstIntPtr{5}, VstIntPtr{6 + meterCount}, VstIntPtr{-1}, VstIntPtr{1000}}) {
        EXPECT_EQ(effect->dispatch(effVendorSpecific, query, meter, &untouched), 0) << "meter " << meter;
        EXPECT_EQ(untouched, -1.0);
    }
    EXPECT_EQ(effect->dispatch(effVendorSpecific, query, 6, nullptr), 0);
    EXPECT_EQ(effect->dispatch(effVendorSpecific, query + 1, 6, &untouched), 0);
    EXPECT_EQ(untouched, -1.0);
}

// Bit for bit the samples of the x64 build, on every architecture: every factory program, loud noise with
// gaps.
TEST_P(Audio, FactoryProgramsGiveTheReferenceSamples) {
    std::uint64_t hash = kFingerprintStart;
    for (std::int32_t program = 0; program < 31; ++program) {
        auto effect = instantiate();
        effect->selectProgram(program);
        ChannelBuffers output = effect->replacing(
            noiseWithGaps(build().channels, 8192, static_cast<std::uint32_t>(program + 1), 1.5f), 512);
        for (const std::vector<float>& channel : output)
            hash = fingerprint(hash, channel.data(), channel.size() * sizeof(float));
    }
    EXPECT_EQ(hash, build().channels == 2 ? 0xA1AC5FE140B74309u : 0x2468F41B5E1D5E0Du) << std::hex << hash;
}

} // namespace
