#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/Flush.h"
#include "dsp/LimiterPath.h"

// 32-bit x86 builds are tested under user-mode emulation, many times slower than native code: the long runs
// of the model and property tests take a quarter of their frames there.
constexpr std::size_t scaledFrames(std::size_t frames) { return sizeof(void*) == 4 ? frames / 4 : frames; }

// Records every meter publication with the number of frames processed before it.
class RecordingPublisher final : public MeterPublisher {
  public:
    struct Publication {
        std::int32_t index;
        float value;
        std::int64_t frame;
    };

    void publishMeter(std::int32_t index, float value) override {
        publications.push_back({index, value, currentFrame});
    }

    std::vector<Publication> publications;
    std::int64_t currentFrame = 0;
};

// Normalised parameter values as the host sets them.
struct ParameterSet {
    float makeup = 0.0f;
    float ceiling = 1.0f;
    float relSwitch = 0.0f;
    float manualRelease = 0.1f;
    float autoRelease = 0.40625f;
    float clipSwitch = 0.5f;
    float monitor = 0.0f;
};

template <int Channels> void applyParameters(LimiterPath<Channels>& path, const ParameterSet& p) {
    path.setReleaseSwitch(p.relSwitch);
    path.applyManualRelease(p.manualRelease);
    path.applyAutoRelease(p.autoRelease);
    path.setMakeupGain(makeupGainFor(p.makeup));
    path.setCeilingGain(ceilingGainFor(p.ceiling));
    path.setMonitor(p.monitor);
    path.setClipSwitch(p.clipSwitch);
}

// The 31 factory programs (RelSW, Rel manual, Rel auto, Makeup, Ceiling, lt_ClipSW, Monitor).
inline std::vector<ParameterSet> factoryPrograms() {
    struct Row {
        float relSwitch, manualRelease, autoRelease, makeup, ceiling, clipSwitch, monitor;
    };
    static const Row rows[] = {
        {0, 0.1f, 0.40625f, 0, 1, 0.5f, 0},
        {0, 0, 0.3075f, 0.021571f, 1, 0.75f, 0},
        {0, 0, 0, 0.021869f, 1, 1, 0},
        {0, 0.670082f, 0.506617f, 0.020707f, 1, 0.75f, 0},
        {0, 0.792875f, 0.7075f, 0.021868f, 1, 1, 0},
        {1, 0, 0, 0.021669f, 1, 1, 0},
        {0, 0, 0.3075f, 0.062713f, 1, 0.75f, 0},
        {0, 0, 0, 0.06301f, 1, 1, 0},
        {0, 0.670082f, 0.506617f, 0.061532f, 1, 0.75f, 0},
        {0, 0.792875f, 0.7075f, 0.061759f, 1, 1, 0},
        {1, 0, 0, 0.062811f, 1, 1, 0},
        {0, 0, 0.3075f, 0.123963f, 1, 0.75f, 0},
        {0, 0, 0, 0.12426f, 1, 1, 0},
        {0, 0.670082f, 0.506617f, 0.124353f, 1, 0.75f, 0},
        {0, 0.792875f, 0.7075f, 0.125509f, 1, 1, 0},
        {1, 0, 0, 0.125311f, 1, 1, 0},
        {0, 0, 0.3075f, 0.021571f, 0.83375f, 0.75f, 0},
        {0, 0, 0, 0.021869f, 0.83375f, 1, 0},
        {0, 0.670082f, 0.506617f, 0.020707f, 0.83375f, 0.75f, 0},
        {0, 0.792875f, 0.7075f, 0.021868f, 0.83375f, 1, 0},
        {1, 0, 0, 0.021669f, 0.83375f, 1, 0},
        {0, 0, 0.3075f, 0.062713f, 0.5f, 0.75f, 0},
        {0, 0, 0, 0.06301f, 0.5f, 1, 0},
        {0, 0.670082f, 0.506617f, 0.061532f, 0.5f, 0.75f, 0},
        {0, 0.792875f, 0.7075f, 0.061759f, 0.5f, 1, 0},
        {1, 0, 0, 0.062811f, 0.5f, 1, 0},
        {0, 0, 0.3075f, 0.123963f, 0, 0.75f, 0},
        {0, 0, 0, 0.12426f, 0, 1, 0},
        {0, 0.670082f, 0.506617f, 0.124353f, 0, 0.75f, 0},
        {0, 0.792875f, 0.7075f, 0.125509f, 0, 1, 0},
        {1, 0, 0, 0.125311f, 0, 1, 0},
    };
    std::vector<ParameterSet> programs;
    for (const Row& r : rows) {
        programs.push_back(
            {r.makeup, r.ceiling, r.relSwitch, r.manualRelease, r.autoRelease, r.clipSwitch, r.monitor});
    }
    return programs;
}

// Random settings, partly outside 0..1 (the effect takes such values as they come).
inline ParameterSet randomParameters(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> wide(-0.5f, 3.0f);
    const bool outOfRange = unit(rng) < 0.3f;
    const auto pick = [&] { return outOfRange ? wide(rng) : unit(rng); };
    ParameterSet p;
    p.makeup = pick();
    p.ceiling = pick();
    p.relSwitch = unit(rng);
    p.manualRelease = pick();
    p.autoRelease = pick();
    p.clipSwitch = pick();
    p.monitor = unit(rng) < 0.85f ? 0.0f : 1.0f;
    return p;
}

// Programme-like test material: bursts of noise and tones at varied levels, quiet stretches, exact silence,
// DC offsets and occasional over-full-scale peaks.
inline std::vector<float> randomSignal(std::mt19937& rng, std::size_t length) {
    std::vector<float> signal(length, 0.0f);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::size_t i = 0;
    while (i < length) {
        const std::size_t run =
            std::min<std::size_t>(length - i, 1 + static_cast<std::size_t>(unit(rng) * 3000));
        const double kind = unit(rng);
        const double level = std::pow(10.0, -4.0 * unit(rng)) * (unit(rng) < 0.1 ? 4.0 : 1.0);
        const double frequency = 0.001 + 0.2 * unit(rng);
        const double offset = unit(rng) < 0.2 ? 0.3 * (unit(rng) - 0.5) : 0.0;
        for (std::size_t k = 0; k < run; ++k, ++i) {
            double v = 0.0;
            if (kind < 0.15) {
                v = 0.0;
            } else if (kind < 0.25) {
                v = 0.000009 * (unit(rng) - 0.5);
            } else if (kind < 0.6) {
                v = level * noise(rng) * 0.3 + offset;
            } else {
                v = level * std::sin(frequency * static_cast<double>(k)) + offset;
            }
            signal[i] = static_cast<float>(v);
        }
    }
    return signal;
}
