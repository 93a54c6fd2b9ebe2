#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "ReferenceModel.h"
#include "TestSupport.h"
#include "dsp/LimiterPath.h"

namespace {

using Stereo = LimiterPath<2>;
using Mono = LimiterPath<1>;
using Channels = std::vector<std::vector<float>>;

enum class Mode { Replacing, Accumulating };

// A path with its publisher, set up like the effect at construction (the "Default" program).
template <int N> struct Rig {
    explicit Rig(const ParameterSet& p = ParameterSet{}) : path(std::make_unique<LimiterPath<N>>(publisher)) {
        applyParameters(*path, p);
    }

    // Processes `input` in blocks of the sizes produced by `nextBlock`, into `output` (which keeps what the
    // accumulating mode adds to).
    void run(const Channels& input, Channels& output, const std::function<std::int32_t()>& nextBlock,
             Mode mode = Mode::Replacing) {
        const auto frames = static_cast<std::int32_t>(input[0].size());
        std::int32_t done = 0;
        while (done < frames) {
            const std::int32_t block = std::min(nextBlock(), frames - done);
            const float* in[N];
            float* out[N];
            for (int c = 0; c < N; ++c) {
                in[c] = input[static_cast<std::size_t>(c)].data() + done;
                out[c] = output[static_cast<std::size_t>(c)].data() + done;
            }
            publisher.currentFrame = done;
            if (mode == Mode::Replacing) {
                path->processReplacing(in, out, block);
            } else {
                path->processAccumulating(in, out, block);
            }
            done += block;
        }
    }

    Channels process(const Channels& input, std::int32_t block = 512) {
        Channels output(input.size(), std::vector<float>(input[0].size(), 0.0f));
        run(input, output, [block] { return block; });
        return output;
    }

    RecordingPublisher publisher;
    std::unique_ptr<LimiterPath<N>> path;
};

Channels silence(int channels, std::size_t frames) {
    return Channels(static_cast<std::size_t>(channels), std::vector<float>(frames, 0.0f));
}

bool sameBits(const Channels& a, const Channels& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (a[c].size() != b[c].size()) return false;
        if (std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0) return false;
    }
    return true;
}

TEST(LimiterPathImpulse, ProcessedImpulseComesOut39SamplesLater) {
    Rig<2> rig;
    Channels input = silence(2, 200);
    input[0][10] = 0.5f;
    input[1][10] = -0.25f;
    const Channels output = rig.process(input);
    for (std::size_t i = 0; i < 49; ++i) {
        EXPECT_EQ(output[0][i], 0.0f) << i;
        EXPECT_EQ(output[1][i], 0.0f) << i;
    }
    // The DC blocker removes nothing on the impulse sample itself; the limiter is idle at this level.
    EXPECT_EQ(output[0][49], 0.5f);
    EXPECT_EQ(output[1][49], -0.25f);
    // Then the blocker's own step response: minus the state it took from the impulse.
    EXPECT_EQ(output[0][50], static_cast<float>(-0.5 / 44100.0));
    EXPECT_EQ(output[1][50], static_cast<float>(0.25 / 44100.0));
    EXPECT_EQ(Stereo::kLatency, 39);
}

TEST(LimiterPathImpulse, BypassImpulseComesOutBitExact38SamplesLater) {
    ParameterSet p;
    p.monitor = 1.0f;
    p.makeup = 1.0f;
    Rig<2> rig(p);
    Channels input = silence(2, 200);
    input[0][5] = 0.123456789f;
    input[1][5] = -3.5f;
    const Channels output = rig.process(input);
    for (std::size_t i = 0; i < 200; ++i) {
        EXPECT_EQ(output[0][i], i == 43 ? 0.123456789f : 0.0f) << i;
        EXPECT_EQ(output[1][i], i == 43 ? -3.5f : 0.0f) << i;
    }
}

TEST(LimiterPathGate, FortyQuietSamplesAreProcessedThenExactZeros) {
    Rig<1> rig;
    Channels input(1, std::vector<float>(300, 0.0f));
    for (std::size_t i = 0; i < 100; ++i)
        input[0][i] = 0.5f;
    // 100 loud samples, then quiet ones: 40 are still processed and carry the look-ahead tail.
    const Channels output = rig.process(input, 64);
    for (std::size_t i = 100; i < 140; ++i)
        EXPECT_NE(output[0][i], 0.0f) << i;
    for (std::size_t i = 140; i < 300; ++i)
        EXPECT_EQ(std::signbit(output[0][i]) ? 1 : 0, 0) << i;
    for (std::size_t i = 140; i < 300; ++i)
        EXPECT_EQ(output[0][i], 0.0f) << i;
}

TEST(LimiterPathGate, AccumulatingLeavesIdleSamplesUntouched) {
    Rig<2> rig;
    Channels input = silence(2, 300);
    for (std::size_t i = 0; i < 100; ++i)
        input[0][i] = 0.5f;
    Channels output(2, std::vector<float>(300, 7.0f));
    rig.run(
        input, output, [] { return 100; }, Mode::Accumulating);
    EXPECT_EQ(output[0][39], 7.5f);
    for (std::size_t i = 141; i < 300; ++i) {
        EXPECT_EQ(output[0][i], 7.0f) << i;
        EXPECT_EQ(output[1][i], 7.0f) << i;
    }
}

TEST(LimiterPathGate, QuietBoundsAreStrict) {
    // The quiet range is -0.00001 < x < 0.00001 in double precision; the float next to the bound on either
    // side decides. Loud samples open the gate, so the bypass passes them on; quiet ones leave it idle.
    const float belowBound = static_cast<double>(static_cast<float>(0.00001)) < 0.00001
                                 ? static_cast<float>(0.00001)
                                 : std::nextafter(static_cast<float>(0.00001), 0.0f);
    const float aboveBound = std::nextafter(belowBound, 1.0f);
    ASSERT_GE(static_cast<double>(aboveBound), 0.00001);
    EXPECT_EQ(aboveBound, 0x1.4f8b5ap-17f);
    for (const float level : {aboveBound, -aboveBound, belowBound, -belowBound}) {
        ParameterSet p;
        p.monitor = 1.0f;
        Rig<1> rig(p);
        Channels input(1, std::vector<float>(100, 0.0f));
        input[0][0] = level;
        const bool loud = std::fabs(level) == aboveBound;
        EXPECT_EQ(rig.process(input)[0][38], loud ? level : 0.0f) << level;
    }
}

TEST(LimiterPathGate, SilenceRightAfterResetIsZeroFromTheFirstSample) {
    Rig<2> rig;
    Channels loud = silence(2, 30);
    for (auto& channel : loud)
        std::fill(channel.begin(), channel.end(), 0.9f);
    rig.process(loud);
    rig.path->reset();
    Channels output(2, std::vector<float>(30, 5.0f));
    rig.run(
        silence(2, 30), output, [] { return 30; }, Mode::Accumulating);
    for (const auto& channel : output) {
        for (float v : channel)
            EXPECT_EQ(v, 5.0f);
    }
}

TEST(LimiterPathMeters, PeriodFollowsTheSampleRate) {
    RecordingPublisher publisher;
    Stereo path(publisher);
    EXPECT_EQ(path.meterPeriod(), 4410);
    path.setSampleRate(16000.0f);
    EXPECT_EQ(path.meterPeriod(), 2200);
    path.setSampleRate(96000.0f);
    EXPECT_EQ(path.meterPeriod(), 9600);
    path.setSampleRate(22050.0f);
    EXPECT_EQ(path.meterPeriod(), 2205);
    path.setSampleRate(44100.0f);
    EXPECT_EQ(path.meterPeriod(), 4410);
    path.setSampleRate(1e12f);
    EXPECT_EQ(path.meterPeriod(), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(path.dcBlocker(0).currentSampleRate(), static_cast<double>(1e12f));
    // Rates no host runs at are ignored.
    for (float fs : {0.0f, -48000.0f, 0.5f, std::numeric_limits<float>::quiet_NaN(),
                     std::numeric_limits<float>::infinity()}) {
        path.setSampleRate(fs);
        EXPECT_EQ(path.meterPeriod(), std::numeric_limits<std::int32_t>::max());
    }
}

TEST(LimiterPathMeters, SampleRateReachesFiltersAndDetectors) {
    RecordingPublisher publisher;
    Mono path(publisher);
    path.applyAutoRelease(0.5f);
    path.applyManualRelease(0.25f);
    path.setSampleRate(48000.0f);
    EXPECT_EQ(path.dcBlocker(0).currentCoefficient(), 1.0 / 48000.0);
    EXPECT_EQ(path.autoFast().releaseCoefficient(), std::pow(0.5, 1.0 / (48000.0 * 0.0005)));
    EXPECT_EQ(path.autoSlow().attackCoefficient(), std::pow(0.01, 1.0 / (13.25 * 48000.0 * 0.001)));
    EXPECT_EQ(path.manual().releaseCoefficient(),
              std::pow(0.5, 1.0 / (48000.0 * manualReleaseSeconds(0.25f))));
    EXPECT_EQ(path.manualFloor().releaseCoefficient(), std::pow(0.5, 1.0 / (48000.0 * 0.05)));
}

TEST(LimiterPathMeters, FirstPublicationsAt44100) {
    Rig<2> rig;
    Channels input = silence(2, 4420);
    for (auto& channel : input)
        std::fill(channel.begin(), channel.end(), 0.25f);
    rig.run(input, input, [] { return 1; });
    std::vector<RecordingPublisher::Publication> pubs;
    for (const auto& pub : rig.publisher.publications) {
        if (pub.index == 0 || pub.index == 1) pubs.push_back(pub);
    }
    ASSERT_GE(pubs.size(), 2u);
    // Frames are counted from 0: the 4409th processed sample has frame 4408.
    EXPECT_EQ(pubs[0].index, 1);
    EXPECT_EQ(pubs[0].frame, 4408);
    EXPECT_EQ(pubs[1].index, 0);
    EXPECT_EQ(pubs[1].frame, 4409);
    EXPECT_EQ(pubs[0].value, 0.25f);
}

TEST(LimiterPathMeters, ConstantFullScaleInput) {
    for (float ceiling : {1.0f, 0.5f, 0.0f}) {
        ParameterSet p;
        p.makeup = 0.5f;
        p.ceiling = ceiling;
        Rig<2> rig(p);
        Channels input = silence(2, 4411 * 3);
        for (auto& channel : input)
            std::fill(channel.begin(), channel.end(), 1.0f);
        rig.process(input);
        const double bound = 0.999999 * ceilingGainFor(ceiling);
        int outputs = 0;
        for (const auto& pub : rig.publisher.publications) {
            if (pub.index == 0 || pub.index == 1) {
                EXPECT_EQ(pub.value, 1.0f);
            }
            if (pub.index == 3 || pub.index == 4) {
                EXPECT_LE(static_cast<double>(pub.value), static_cast<double>(static_cast<float>(bound)));
                EXPECT_GT(pub.value, 0.0f);
                ++outputs;
            }
        }
        EXPECT_EQ(outputs, 6);
        for (std::int32_t index = 0; index <= 4; ++index) {
            float last = index == 2 ? 1.0f : 0.0f;
            for (const auto& pub : rig.publisher.publications) {
                if (pub.index == index) last = pub.value;
            }
            // The path stores the unrounded value; the core's publishMeter stores the float again.
            EXPECT_EQ(static_cast<float>(rig.path->meterValue(index)), last) << index;
        }
    }
}

TEST(LimiterPathMeters, GainMeterAndStore) {
    RecordingPublisher publisher;
    Stereo stereo(publisher);
    Mono mono(publisher);
    EXPECT_EQ(stereo.meterValue(2), 1.0);
    EXPECT_EQ(mono.meterValue(1), 1.0);
    EXPECT_EQ(stereo.meterValue(0), 0.0);
    stereo.storeMeterValue(2, 0.5f);
    EXPECT_EQ(stereo.meterValue(2), 0.5);
    stereo.storeMeterValue(5, 0.5f);
    EXPECT_EQ(stereo.meterValue(5), 0.0);
    mono.storeMeterValue(2, 0.75f);
    EXPECT_EQ(mono.meterValue(2), 0.75);
    mono.storeMeterValue(3, 0.75f);
    EXPECT_EQ(mono.meterValue(3), 0.0);
    EXPECT_EQ(mono.meterValue(-1), 0.0);
    stereo.reset();
    EXPECT_EQ(stereo.meterValue(2), 1.0);
}

TEST(LimiterPathMeters, ResetCountersDifferFromConstruction) {
    Rig<2> rig;
    rig.path->reset();
    Channels input = silence(2, 4420);
    rig.run(input, input, [] { return 1; });
    std::vector<RecordingPublisher::Publication> pubs;
    for (const auto& pub : rig.publisher.publications) {
        if (pub.index == 0 || pub.index == 1) pubs.push_back(pub);
    }
    ASSERT_GE(pubs.size(), 2u);
    // Both input meters restart at counter 1, so they publish on the same sample, in index order.
    EXPECT_EQ(pubs[0].index, 0);
    EXPECT_EQ(pubs[1].index, 1);
    EXPECT_EQ(pubs[0].frame, 4409);
    EXPECT_EQ(pubs[1].frame, 4409);
}

TEST(LimiterPathInput, NullArraysAndEmptyBlocksDoNothing) {
    Rig<2> rig;
    std::vector<float> a(8, 0.5f), b(8, 0.5f);
    float* out[2] = {a.data(), b.data()};
    const float* in[2] = {a.data(), nullptr};
    rig.path->processReplacing(nullptr, out, 8);
    rig.path->processReplacing(in, nullptr, 8);
    rig.path->processReplacing(in, out, 8);
    in[1] = b.data();
    rig.path->processReplacing(in, out, 0);
    rig.path->processReplacing(in, out, -5);
    for (float v : a)
        EXPECT_EQ(v, 0.5f);
    for (float v : b)
        EXPECT_EQ(v, 0.5f);
}

TEST(LimiterPathInput, NonFiniteSamplesAreTreatedAsZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Rig<2> withNonFinite;
    Rig<2> withZeros;
    std::mt19937 rng(7);
    Channels a{randomSignal(rng, 20000), randomSignal(rng, 20000)};
    Channels b = a;
    for (std::size_t i = 0; i < a[0].size(); i += 97) {
        a[i % 2][i] = (i / 97) % 3 == 0 ? nan : ((i / 97) % 3 == 1 ? inf : -inf);
        b[i % 2][i] = 0.0f;
    }
    EXPECT_TRUE(sameBits(withNonFinite.process(a), withZeros.process(b)));
}

// Runs the optimised path and the plain model sample by sample; outputs and meter publications must agree.
template <int N> void compareWithReference(const ParameterSet& p, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Channels input;
    for (int c = 0; c < N; ++c)
        input.push_back(randomSignal(rng, scaledFrames(30000)));
    Rig<N> rig(p);
    Channels output = silence(N, input[0].size());
    rig.run(input, output, [] { return 1; });
    ReferenceLimiter<N> reference(p);
    for (std::size_t i = 0; i < input[0].size(); ++i) {
        std::array<float, N> x{};
        for (int c = 0; c < N; ++c)
            x[static_cast<std::size_t>(c)] = input[static_cast<std::size_t>(c)][i];
        std::array<double, N> y{};
        const bool full = reference.step(x, y);
        for (int c = 0; c < N; ++c) {
            const float got = output[static_cast<std::size_t>(c)][i];
            if (!full) {
                ASSERT_EQ(got, 0.0f) << "frame " << i;
            } else {
                // The float output rounds the double; one float ulp of difference is allowed for the
                // smoother.
                const double expected = y[static_cast<std::size_t>(c)];
                ASSERT_NEAR(got, expected, 1.2e-7 * std::fabs(expected) + 1e-37)
                    << "frame " << i << " seed " << seed;
            }
        }
    }
    const auto& got = rig.publisher.publications;
    ASSERT_EQ(got.size(), reference.publications.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].index, reference.publications[k].index) << k;
        EXPECT_EQ(got[k].frame, reference.publications[k].frame) << k;
        EXPECT_NEAR(got[k].value, reference.publications[k].value, 1e-6) << k;
    }
}

TEST(LimiterPathModel, MatchesThePlainModelForFactoryPrograms) {
    const auto programs = factoryPrograms();
    for (std::size_t k = 0; k < programs.size(); ++k) {
        compareWithReference<2>(programs[k], static_cast<std::uint32_t>(100 + k));
        compareWithReference<1>(programs[k], static_cast<std::uint32_t>(200 + k));
    }
}

TEST(LimiterPathModel, MatchesThePlainModelForRandomSettings) {
    std::mt19937 rng(99);
    for (std::uint32_t k = 0; k < 20; ++k) {
        const ParameterSet p = randomParameters(rng);
        compareWithReference<2>(p, 300 + k);
    }
}

// Every output is finite; every processed one is within the clamp times the ceiling.
void checkBound(const ParameterSet& p, const Channels& output, double ceilingGain) {
    const double bound = 0.999999 * ceilingGain;
    for (std::size_t c = 0; c < output.size(); ++c) {
        for (std::size_t i = 0; i < output[c].size(); ++i) {
            ASSERT_TRUE(std::isfinite(output[c][i])) << c << ' ' << i;
            if (p.monitor < 0.5f) {
                ASSERT_LE(std::fabs(static_cast<double>(output[c][i])),
                          static_cast<double>(static_cast<float>(bound)))
                    << "makeup " << p.makeup << " frame " << i;
            }
        }
    }
}

struct Case {
    ParameterSet parameters;
    std::uint32_t seed;
};

std::vector<Case> propertyCases() {
    std::vector<Case> cases;
    std::uint32_t seed = 1000;
    for (const ParameterSet& p : factoryPrograms())
        cases.push_back({p, seed++});
    std::mt19937 rng(2024);
    for (int k = 0; k < 40; ++k)
        cases.push_back({randomParameters(rng), seed++});
    ParameterSet extreme;
    extreme.makeup = 3.0f;
    cases.push_back({extreme, seed++});
    extreme.makeup = 1000.0f;
    extreme.ceiling = 0.3f;
    cases.push_back({extreme, seed++});
    extreme.relSwitch = 1.0f;
    extreme.manualRelease = -0.03f;
    cases.push_back({extreme, seed++});
    return cases;
}

// Material for the property tests, with extreme values mixed in: huge finite samples, NaN and infinities.
Channels propertyInput(int channels, std::uint32_t seed, std::size_t frames) {
    std::mt19937 rng(seed);
    Channels input;
    for (int c = 0; c < channels; ++c)
        input.push_back(randomSignal(rng, frames));
    std::uniform_int_distribution<std::size_t> position(0, frames - 1);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(),
                              1e20f,
                              -7.0f};
    for (int k = 0; k < 40; ++k) {
        for (auto& channel : input)
            channel[position(rng)] = specials[static_cast<std::size_t>(k) % 7];
    }
    return input;
}

TEST(LimiterPathProperties, OutputsAreFiniteAndWithinTheCeiling) {
    for (const Case& c : propertyCases()) {
        Rig<2> rig(c.parameters);
        const Channels input = propertyInput(2, c.seed, scaledFrames(40000));
        const Channels output = rig.process(input, 333);
        checkBound(c.parameters, output, rig.path->currentCeilingGain());
        Rig<1> mono(c.parameters);
        const Channels monoInput{input[0]};
        checkBound(c.parameters, mono.process(monoInput, 333), mono.path->currentCeilingGain());
    }
}

TEST(LimiterPathProperties, BlockSizeDoesNotChangeTheOutput) {
    for (const Case& c : propertyCases()) {
        const Channels input = propertyInput(2, c.seed, scaledFrames(30000));
        Rig<2> whole(c.parameters);
        const Channels expected = whole.process(input, static_cast<std::int32_t>(input[0].size()));
        for (const std::int32_t block : {1, 7, 64, 4096}) {
            Rig<2> rig(c.parameters);
            ASSERT_TRUE(sameBits(rig.process(input, block), expected)) << "block " << block;
        }
        std::mt19937 rng(c.seed);
        std::uniform_int_distribution<std::int32_t> size(1, 3000);
        Rig<2> rig(c.parameters);
        Channels output = silence(2, input[0].size());
        rig.run(input, output, [&] { return size(rng); });
        ASSERT_TRUE(sameBits(output, expected)) << "random blocks";
        EXPECT_EQ(rig.publisher.publications.size(), whole.publisher.publications.size());
    }
}

TEST(LimiterPathProperties, InPlaceEqualsSeparateBuffers) {
    for (const Case& c : propertyCases()) {
        Channels buffers = propertyInput(2, c.seed, scaledFrames(20000));
        Rig<2> separate(c.parameters);
        const Channels expected = separate.process(buffers, 256);
        Rig<2> inPlace(c.parameters);
        inPlace.run(buffers, buffers, [] { return 256; });
        ASSERT_TRUE(sameBits(buffers, expected));
    }
}

TEST(LimiterPathProperties, AccumulatingAddsWhatReplacingWrites) {
    for (const Case& c : propertyCases()) {
        const Channels input = propertyInput(2, c.seed, scaledFrames(20000));
        Rig<2> replacing(c.parameters);
        const Channels written = replacing.process(input, 128);

        Rig<2> intoZeros(c.parameters);
        Channels zeros = silence(2, input[0].size());
        intoZeros.run(
            input, zeros, [] { return 128; }, Mode::Accumulating);
        ASSERT_TRUE(sameBits(zeros, written));

        // Into earlier content: processed samples add (rounded once), idle samples leave it as it was.
        ReferenceLimiter<2> model(c.parameters);
        Rig<2> accumulating(c.parameters);
        std::mt19937 rng(c.seed);
        std::uniform_real_distribution<float> content(-1.0f, 1.0f);
        Channels output = silence(2, input[0].size());
        for (auto& channel : output) {
            for (auto& v : channel)
                v = content(rng);
        }
        const Channels before = output;
        accumulating.run(
            input, output, [] { return 128; }, Mode::Accumulating);
        for (std::size_t i = 0; i < input[0].size(); ++i) {
            std::array<double, 2> y{};
            const bool full = model.step({input[0][i], input[1][i]}, y);
            for (std::size_t ch = 0; ch < 2; ++ch) {
                if (!full) {
                    ASSERT_EQ(output[ch][i], before[ch][i]) << i;
                } else {
                    const double sum =
                        static_cast<double>(before[ch][i]) + static_cast<double>(written[ch][i]);
                    ASSERT_NEAR(output[ch][i], sum, 1e-6 * (1.0 + std::fabs(sum))) << i;
                }
            }
        }
    }
}

TEST(LimiterPathProperties, StereoWithIdenticalChannelsEqualsMono) {
    for (const Case& c : propertyCases()) {
        const Channels monoInput = propertyInput(1, c.seed, scaledFrames(30000));
        Rig<1> mono(c.parameters);
        const Channels monoOutput = mono.process(monoInput, 500);
        Rig<2> stereo(c.parameters);
        const Channels stereoOutput = stereo.process({monoInput[0], monoInput[0]}, 500);
        ASSERT_TRUE(sameBits({stereoOutput[0]}, monoOutput));
        ASSERT_TRUE(sameBits({stereoOutput[1]}, monoOutput));
    }
}

TEST(LimiterPathProperties, ResetMakesRunsRepeat) {
    const Case c = propertyCases()[11];
    const Channels input = propertyInput(2, c.seed, scaledFrames(20000));
    Rig<2> rig(c.parameters);
    rig.path->reset();
    const Channels first = rig.process(input, 100);
    rig.path->reset();
    EXPECT_TRUE(sameBits(rig.process(input, 100), first));
}

} // namespace
