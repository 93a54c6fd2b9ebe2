#include "lv2/PortLayout.h"

#include "dsp/ParameterCurves.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr ControlPortInfo kControlPorts[kParameterIdCount] = {
    {"makeup", PortKind::kDecibels},
    {"ceiling", PortKind::kDecibels},
    {"release_mode", PortKind::kEnumeration},
    {"auto_release", PortKind::kPercent},
    {"manual_release", PortKind::kMilliseconds},
    {"shape", PortKind::kEnumeration},
    {"monitor", PortKind::kToggle},
};

constexpr double kPercent = 100.0;

ParameterId idAt(int index) { return static_cast<ParameterId>(index); }

bool isStepped(ParameterId id) { return parameterInfo(id).stepCount > 0; }

// The unit's arithmetic, the inverse of portValueOf for continuous ports.
float normalisedOfNumber(ParameterId id, float portValue) QV3_NONBLOCKING {
    const auto number = static_cast<double>(portValue);
    switch (id) {
    case ParameterId::kMakeup:
        return static_cast<float>(number / kMakeupRangeDb);
    case ParameterId::kCeiling:
        return static_cast<float>((number + kCeilingRangeDb) / kCeilingRangeDb);
    case ParameterId::kAutoRelease:
        return static_cast<float>(number / kPercent);
    case ParameterId::kManualRelease:
    default:
        return manualReleaseValueForMs(number);
    }
}

} // namespace

const ControlPortInfo& controlPortInfo(ParameterId id) { return kControlPorts[static_cast<int>(id)]; }

float portValueOf(ParameterId id, float normalised) {
    switch (id) {
    case ParameterId::kMakeup:
        return static_cast<float>(makeupDecibels(normalised));
    case ParameterId::kCeiling:
        return static_cast<float>(ceilingDecibels(normalised));
    case ParameterId::kAutoRelease:
        return static_cast<float>(kPercent * static_cast<double>(normalised));
    case ParameterId::kManualRelease:
        return static_cast<float>(manualReleaseMs<float>(std::pow(static_cast<double>(normalised), 3.0)));
    default:
        return static_cast<float>(stepOfValue(id, normalised));
    }
}

float portMinimum(ParameterId id) QV3_NONBLOCKING { return isStepped(id) ? 0.0f : portValueOf(id, 0.0f); }

float portMaximum(ParameterId id) QV3_NONBLOCKING {
    return isStepped(id) ? static_cast<float>(parameterInfo(id).stepCount) : portValueOf(id, 1.0f);
}

PortMapping::PortMapping(LimiterCore& freshCore) {
    for (int program = 0; program < LimiterCore::programCount(); ++program) {
        freshCore.selectProgram(program);
        for (int index = 0; index < kParameterIdCount; ++index) {
            const float value = freshCore.value(idAt(index));
            factoryNormalised_[program][index] = value;
            factoryPort_[program][index] = portValueOf(idAt(index), value);
        }
    }
    freshCore.selectProgram(0);
}

float PortMapping::normalisedOf(ParameterId id, float portValue) const QV3_NONBLOCKING {
    if (std::isnan(portValue)) return portValue;
    const float bounded = std::min(std::max(portValue, portMinimum(id)), portMaximum(id));
    switch (controlPortInfo(id).kind) {
    case PortKind::kToggle:
        return valueOfStep(id, bounded > 0.0f ? 1 : 0);
    case PortKind::kEnumeration:
        return valueOfStep(id, static_cast<int>(std::lround(bounded)));
    default:
        break;
    }
    const int index = static_cast<int>(id);
    for (int program = 0; program < LimiterCore::programCount(); ++program)
        if (factoryPort_[program][index] == bounded) return factoryNormalised_[program][index];
    return normalisedOfNumber(id, bounded);
}
