// Speed of a peer LV2 limiter, hosted through lilv on the material and in the blocks of LimiterBench, so that
// both can be compared in one run. Its input gain takes the role of our makeup, its threshold is 0 dB.
// Usage: qv3_peer_bench [STEREO_URI [MONO_URI]] [benchmark options]; skipped when a plug-in is not installed.

#include <benchmark/benchmark.h>

#include "BenchMaterial.h"
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBlock = 512;

std::string stereoUri = "http://gareus.org/oss/lv2/dpl#stereo";
std::string monoUri = "http://gareus.org/oss/lv2/dpl#mono";

std::map<std::string, LV2_URID> uris;

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    const auto found = uris.find(uri);
    if (found != uris.end()) return found->second;
    const auto id = static_cast<LV2_URID>(uris.size() + 1);
    uris[uri] = id;
    return id;
}

enum class Regime { NoReduction, HeavyReduction };

void peer(benchmark::State& state, bool stereo, Regime regime) {
    const int channels = stereo ? 2 : 1;
    const bool heavy = regime == Regime::HeavyReduction;
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, (stereo ? stereoUri : monoUri).c_str());
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    LV2_URID_Map map{nullptr, mapUri};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LilvInstance* instance = plugin ? lilv_plugin_instantiate(plugin, kBenchSampleRate, features) : nullptr;
    if (instance == nullptr) {
        state.SkipWithError("peer plug-in not installed");
        lilv_node_free(uri);
        lilv_world_free(world);
        return;
    }
    LilvNode* audioClass = lilv_new_uri(world, LV2_CORE__AudioPort);
    LilvNode* controlClass = lilv_new_uri(world, LV2_CORE__ControlPort);
    LilvNode* inputClass = lilv_new_uri(world, LV2_CORE__InputPort);

    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> controls(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls.data());
    // Empty event sequences for the atom ports.
    alignas(16) std::uint8_t atomIn[4096]{};
    alignas(16) std::uint8_t atomOut[4096]{};
    LV2_Atom_Sequence sequence{};
    sequence.atom.type = mapUri(nullptr, LV2_ATOM__Sequence);
    sequence.atom.size = sizeof(LV2_Atom_Sequence_Body);
    std::memcpy(atomIn, &sequence, sizeof sequence);
    std::vector<std::uint32_t> audioIn;
    std::vector<std::uint32_t> audioOut;
    for (std::uint32_t p = 0; p < ports; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        const bool isInput = lilv_port_is_a(plugin, port, inputClass);
        if (lilv_port_is_a(plugin, port, audioClass)) {
            (isInput ? audioIn : audioOut).push_back(p);
        } else if (lilv_port_is_a(plugin, port, controlClass)) {
            if (std::isnan(controls[p])) controls[p] = 0.0f;
            if (symbol == "gain") controls[p] = heavy ? 24.0f : 0.0f;
            if (symbol == "threshold") controls[p] = 0.0f;
            lilv_instance_connect_port(instance, p, &controls[p]);
        } else {
            lilv_instance_connect_port(instance, p, isInput ? atomIn : atomOut);
        }
    }

    std::vector<std::vector<float>> input;
    for (int c = 0; c < channels; ++c)
        input.push_back(material(static_cast<std::uint32_t>(c + 1), heavy ? 1.0 : 0.5));
    std::vector<std::vector<float>> output(static_cast<std::size_t>(channels),
                                           std::vector<float>(kBenchFrames));
    lilv_instance_activate(instance);
    std::size_t position = 0;
    for (auto _ : state) {
        for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
            lilv_instance_connect_port(instance, audioIn[c], input[c].data() + position);
            lilv_instance_connect_port(instance, audioOut[c], output[c].data() + position);
        }
        LV2_Atom capacity{};
        capacity.size = sizeof atomOut - sizeof(LV2_Atom);
        std::memcpy(atomOut, &capacity, sizeof capacity);
        lilv_instance_run(instance, kBlock);
        benchmark::DoNotOptimize(output[0][position]);
        position += kBlock;
        if (position + kBlock > kBenchFrames) position = 0;
    }
    reportFrameRate(state, kBlock);
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    lilv_node_free(inputClass);
    lilv_node_free(controlClass);
    lilv_node_free(audioClass);
    lilv_node_free(uri);
    lilv_world_free(world);
}

void stereo(benchmark::State& state, Regime regime) { peer(state, true, regime); }
void mono(benchmark::State& state, Regime regime) { peer(state, false, regime); }

BENCHMARK_CAPTURE(stereo, no_reduction, Regime::NoReduction);
BENCHMARK_CAPTURE(stereo, heavy_reduction, Regime::HeavyReduction);
BENCHMARK_CAPTURE(mono, no_reduction, Regime::NoReduction);
BENCHMARK_CAPTURE(mono, heavy_reduction, Regime::HeavyReduction);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    int k = 1;
    if (k < argc) stereoUri = argv[k++];
    if (k < argc) monoUri = argv[k++];
    if (k < argc) {
        std::fprintf(stderr, "unknown argument: %s\n", argv[k]);
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
