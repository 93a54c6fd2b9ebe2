// Speed of the limiter path per sample frame, for both builds in three regimes. Prints ns per frame and the
// real-time factor at 44.1 kHz (seconds of audio processed per second of one core).

#include <benchmark/benchmark.h>

#include "BenchMaterial.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/LimiterPath.h"

namespace {

constexpr std::int32_t kBlock = 512;

class NullPublisher final : public MeterPublisher {
  public:
    void publishMeter(std::int32_t, float) override {}
};

enum class Regime { Silence, NoReduction, HeavyReduction };

template <int Channels> void limiterPath(benchmark::State& state, Regime regime) {
    NullPublisher publisher;
    LimiterPath<Channels> path(publisher);
    path.applyManualRelease(0.1f);
    path.applyAutoRelease(0.40625f);
    path.setClipSwitch(0.5f);
    path.setCeilingGain(1.0);
    // +24 dB of makeup into full-scale material, or programme material at -6 dBFS without makeup.
    path.setMakeupGain(regime == Regime::HeavyReduction ? std::pow(10.0, 24.0 / 20.0) : 1.0);
    std::vector<std::vector<float>> input;
    for (int c = 0; c < Channels; ++c) {
        if (regime == Regime::Silence) {
            input.emplace_back(kBenchFrames, 0.0f);
        } else {
            input.push_back(
                material(static_cast<std::uint32_t>(c + 1), regime == Regime::HeavyReduction ? 1.0 : 0.5));
        }
    }
    std::vector<std::vector<float>> output(Channels, std::vector<float>(kBenchFrames));
    std::size_t position = 0;
    for (auto _ : state) {
        const float* in[Channels];
        float* out[Channels];
        for (int c = 0; c < Channels; ++c) {
            in[c] = input[static_cast<std::size_t>(c)].data() + position;
            out[c] = output[static_cast<std::size_t>(c)].data() + position;
        }
        path.processReplacing(in, out, kBlock);
        benchmark::DoNotOptimize(output[0][position]);
        position += kBlock;
        if (position + kBlock > kBenchFrames) position = 0;
    }
    reportFrameRate(state, kBlock);
}

// The DC blocker's recursion alone on one channel of the material, as the envelope loop runs it (the flushes
// are checked off the chain there): each sample's subtraction, multiplication and addition wait on the previous
// sample's. Since every output bit is kept, nothing shortens that chain, so no regime that processes can run
// faster per frame than this.
void dcBlockerRecursion(benchmark::State& state) {
    const std::vector<float> input = material(1, 0.5);
    std::vector<double> output(kBlock);
    const double coefficient = 1.0 / kBenchSampleRate;
    double memory = 0.0;
    std::size_t position = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < output.size(); ++k) {
            const double d = (static_cast<double>(input[position + k]) + 0.0) - memory;
            memory = memory + d * coefficient;
            output[k] = d;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
        position += kBlock;
        if (position + kBlock > kBenchFrames) position = 0;
    }
    reportFrameRate(state, kBlock);
}

void stereo(benchmark::State& state, Regime regime) { limiterPath<2>(state, regime); }
void mono(benchmark::State& state, Regime regime) { limiterPath<1>(state, regime); }

BENCHMARK_CAPTURE(stereo, silence, Regime::Silence);
BENCHMARK_CAPTURE(stereo, no_reduction, Regime::NoReduction);
BENCHMARK_CAPTURE(stereo, heavy_reduction, Regime::HeavyReduction);
BENCHMARK_CAPTURE(mono, silence, Regime::Silence);
BENCHMARK_CAPTURE(mono, no_reduction, Regime::NoReduction);
BENCHMARK_CAPTURE(mono, heavy_reduction, Regime::HeavyReduction);
BENCHMARK(dcBlockerRecursion);

} // namespace

BENCHMARK_MAIN();
