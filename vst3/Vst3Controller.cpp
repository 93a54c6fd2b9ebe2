// The edit controller and the unit info: the seven parameters under the core's ids with the core's texts, the
// program parameter, and the bank as the root unit's program list.
#include "vst3/Vst3Effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int kLastProgram = LimiterCore::programCount() - 1;

ParameterId parameterOf(v3_param_id id) { return static_cast<ParameterId>(id); }

const char* unitsOf(ParameterId id) {
    switch (id) {
    case ParameterId::kMakeup:
    case ParameterId::kCeiling:
        return "dB";
    case ParameterId::kManualRelease:
        return "ms";
    default:
        return "";
    }
}

v3_result V3_API queryInterfaceEntry(void* self, const v3_tuid iid, void** object) {
    return Vst3Effect::of(self).queryInterface(iid, object);
}
uint32_t V3_API refEntry(void* self) { return Vst3Effect::of(self).ref(); }
uint32_t V3_API unrefEntry(void* self) { return Vst3Effect::of(self).unref(); }
v3_result V3_API initializeEntry(void* self, v3_funknown**) { return Vst3Effect::of(self).initialize(); }
v3_result V3_API terminateEntry(void* self) { return Vst3Effect::of(self).terminate(); }

// The controller's copy of the component state is the component's own: the same object reads it.
v3_result V3_API setComponentStateEntry(void* self, v3_bstream** stream) {
    return Vst3Effect::of(self).setState(stream);
}
// The controller keeps nothing beyond the component state.
v3_result V3_API setControllerStateEntry(void*, v3_bstream**) { return V3_OK; }
v3_result V3_API getControllerStateEntry(void*, v3_bstream**) { return V3_OK; }
int32_t V3_API parameterCountEntry(void*) { return kVst3ParameterCount; }
v3_result V3_API parameterInfoEntry(void*, int32_t index, v3_param_info* info) {
    if (!info) return V3_INVALID_ARG;
    return Vst3Effect::parameterInfo(index, *info);
}
v3_result V3_API valueToTextEntry(void* self, v3_param_id id, double normalised, v3_str_128 text) {
    if (!text) return V3_INVALID_ARG;
    return Vst3Effect::of(self).valueToText(id, normalised, text);
}
v3_result V3_API textToValueEntry(void* self, v3_param_id id, int16_t* text, double* normalised) {
    if (!(text && normalised)) return V3_INVALID_ARG;
    return Vst3Effect::of(self).textToValue(id, text, *normalised);
}
double V3_API toPlainEntry(void*, v3_param_id id, double normalised) {
    return Vst3Effect::normalisedToPlain(id, normalised);
}
double V3_API toNormalisedEntry(void*, v3_param_id id, double plain) {
    return Vst3Effect::plainToNormalised(id, plain);
}
double V3_API getValueEntry(void* self, v3_param_id id) { return Vst3Effect::of(self).normalisedValue(id); }
v3_result V3_API setValueEntry(void* self, v3_param_id id, double normalised) {
    return Vst3Effect::of(self).setNormalisedValue(id, normalised);
}
v3_result V3_API setHandlerEntry(void* self, v3_component_handler** handler) {
    return Vst3Effect::of(self).setComponentHandler(handler);
}
v3_plugin_view** V3_API createViewEntry(void* self, const char* name) {
    return Vst3Effect::of(self).createView(name);
}

int32_t V3_API unitCountEntry(void*) { return 1; }
v3_result V3_API unitInfoEntry(void*, int32_t index, v3_unit_info* info) {
    if (!info) return V3_INVALID_ARG;
    return Vst3Effect::unitInfo(index, *info);
}
int32_t V3_API programListCountEntry(void*) { return 1; }
v3_result V3_API programListInfoEntry(void*, int32_t index, v3_program_list_info* info) {
    if (!info) return V3_INVALID_ARG;
    return Vst3Effect::programListInfo(index, *info);
}
v3_result V3_API programNameEntry(void* self, int32_t listId, int32_t index, v3_str_128 name) {
    if (!name) return V3_INVALID_ARG;
    return Vst3Effect::of(self).programName(listId, index, name);
}
v3_result V3_API programInfoEntry(void*, int32_t, int32_t, const char*, v3_str_128) { return V3_FALSE; }
v3_result V3_API hasPitchNamesEntry(void*, int32_t, int32_t) { return V3_FALSE; }
v3_result V3_API pitchNameEntry(void*, int32_t, int32_t, int16_t, v3_str_128) { return V3_FALSE; }
int32_t V3_API selectedUnitEntry(void*) { return kRootUnitId; }
v3_result V3_API selectUnitEntry(void*, int32_t id) { return id == kRootUnitId ? V3_OK : V3_FALSE; }
v3_result V3_API unitByBusEntry(void*, int32_t, int32_t, int32_t, int32_t, int32_t* id) {
    if (!id) return V3_INVALID_ARG;
    *id = kRootUnitId;
    return V3_OK;
}
v3_result V3_API unitProgramDataEntry(void*, int32_t, int32_t, v3_bstream**) { return V3_NOT_IMPLEMENTED; }
} // namespace

const v3_edit_controller_cpp kVst3ControllerTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {initializeEntry, terminateEntry},
    {setComponentStateEntry, setControllerStateEntry, getControllerStateEntry, parameterCountEntry,
     parameterInfoEntry, valueToTextEntry, textToValueEntry, toPlainEntry, toNormalisedEntry, getValueEntry,
     setValueEntry, setHandlerEntry, createViewEntry},
};

const v3_unit_information_cpp kVst3UnitInfoTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {unitCountEntry, unitInfoEntry, programListCountEntry, programListInfoEntry, programNameEntry,
     programInfoEntry, hasPitchNamesEntry, pitchNameEntry, selectedUnitEntry, selectUnitEntry, unitByBusEntry,
     unitProgramDataEntry},
};

bool coreValueOf(v3_param_id id, double normalised, ParameterId& parameter, float& value) QV3_NONBLOCKING {
    if (!isParameterId(id) || !std::isfinite(normalised)) return false;
    parameter = parameterOf(id);
    const double bounded = std::clamp(normalised, 0.0, 1.0);
    const int stepCount = parameterInfo(parameter).stepCount;
    if (stepCount == 0) {
        value = static_cast<float>(bounded);
    } else {
        // The host's steps split 0..1 into stepCount + 1 equal ranges, the last one ending at 1.
        const int step = std::min(stepCount, static_cast<int>(bounded * (stepCount + 1)));
        value = valueOfStep(parameter, step);
    }
    return true;
}

double normalisedOf(ParameterId parameter, float value) {
    const int stepCount = parameterInfo(parameter).stepCount;
    if (stepCount == 0) return std::clamp(static_cast<double>(value), 0.0, 1.0);
    return static_cast<double>(stepOfValue(parameter, value)) / stepCount;
}

int programOf(double normalised) QV3_NONBLOCKING {
    const double bounded = std::isfinite(normalised) ? std::clamp(normalised, 0.0, 1.0) : 0.0;
    return std::min(kLastProgram, static_cast<int>(bounded * (kLastProgram + 1)));
}

v3_result Vst3Effect::parameterInfo(std::int32_t index, v3_param_info& info) {
    if (index < 0 || index >= kVst3ParameterCount) return V3_INVALID_ARG;
    info = {};
    info.unit_id = kRootUnitId;
    if (index == kParameterIdCount) {
        info.param_id = kProgramParameterId;
        toHostText("Program", info.title, 128);
        toHostText("Program", info.short_title, 128);
        info.step_count = kLastProgram;
        info.flags = V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE;
        return V3_OK;
    }
    const ParameterInfo& parameter = ::parameterInfo(static_cast<ParameterId>(index));
    info.param_id = static_cast<v3_param_id>(parameter.id);
    toHostText(parameter.name, info.title, 128);
    toHostText(parameter.name, info.short_title, 128);
    toHostText(unitsOf(parameter.id), info.units, 128);
    info.step_count = parameter.stepCount;
    info.default_normalised_value = normalisedOf(parameter.id, parameter.defaultValue);
    info.flags = V3_PARAM_CAN_AUTOMATE | (parameter.stepCount > 0 ? V3_PARAM_IS_LIST : 0);
    return V3_OK;
}

v3_result Vst3Effect::valueToText(v3_param_id id, double normalised, v3_str_128 text) const {
    if (id == kProgramParameterId) return programName(kProgramListId, programOf(normalised), text);
    ParameterId parameter;
    float value;
    if (!coreValueOf(id, normalised, parameter, value)) return V3_INVALID_ARG;
    char shown[kParameterTextSize];
    formatParameter(parameter, value, shown);
    toHostText(shown, text, 128);
    return V3_OK;
}

v3_result Vst3Effect::textToValue(v3_param_id id, const int16_t* text, double& normalised) const {
    char plain[128];
    if (!fromHostText(text, plain, sizeof plain)) return V3_FALSE;
    if (id == kProgramParameterId) {
        char name[kProgramNameSize];
        for (int program = 0; program <= kLastProgram; ++program) {
            core_.programName(program, name);
            if (std::strcmp(name, plain) == 0) {
                normalised = static_cast<double>(program) / kLastProgram;
                return V3_OK;
            }
        }
        return V3_FALSE;
    }
    float value;
    if (!isParameterId(id) || !parseParameter(parameterOf(id), plain, value)) return V3_FALSE;
    normalised = normalisedOf(parameterOf(id), value);
    return V3_OK;
}

double Vst3Effect::normalisedToPlain(v3_param_id id, double normalised) {
    if (id == kProgramParameterId) return programOf(normalised);
    ParameterId parameter;
    float value;
    if (!coreValueOf(id, normalised, parameter, value)) return normalised;
    const int stepCount = ::parameterInfo(parameter).stepCount;
    return stepCount == 0 ? static_cast<double>(value) : stepOfValue(parameter, value);
}

double Vst3Effect::plainToNormalised(v3_param_id id, double plain) {
    if (!std::isfinite(plain)) return 0.0;
    const int stepCount = id == kProgramParameterId ? kLastProgram
                          : isParameterId(id)       ? ::parameterInfo(parameterOf(id)).stepCount
                                                    : 0;
    if (stepCount == 0) return std::clamp(plain, 0.0, 1.0);
    return std::clamp(std::round(plain), 0.0, static_cast<double>(stepCount)) / stepCount;
}

double Vst3Effect::normalisedValue(v3_param_id id) const {
    if (id == kProgramParameterId) return static_cast<double>(core_.currentProgram()) / kLastProgram;
    return isParameterId(id) ? normalisedOf(parameterOf(id), core_.value(parameterOf(id))) : 0.0;
}

v3_result Vst3Effect::setNormalisedValue(v3_param_id id, double normalised) {
    if (id == kProgramParameterId) {
        if (!std::isfinite(normalised)) return V3_INVALID_ARG;
        core_.selectProgram(programOf(normalised));
        valuesChangedWithoutEdits();
        return V3_OK;
    }
    ParameterId parameter;
    float value;
    if (!coreValueOf(id, normalised, parameter, value)) return V3_INVALID_ARG;
    core_.setValue(parameter, value);
    if (PluginEditor* editor = listeningEditor_.load()) editor->parameterChanged(parameter);
    return V3_OK;
}

v3_result Vst3Effect::setComponentHandler(v3_component_handler** handler) {
    if (handler) v3_cpp_obj_ref(handler);
    if (handler_) v3_cpp_obj_unref(handler_);
    handler_ = handler;
    return V3_OK;
}

v3_result Vst3Effect::unitInfo(std::int32_t index, v3_unit_info& info) {
    if (index != 0) return V3_INVALID_ARG;
    info = {};
    info.id = kRootUnitId;
    info.parent_unit_id = kNoParentUnitId;
    toHostText("Root", info.name, 128);
    info.program_list_id = kProgramListId;
    return V3_OK;
}

v3_result Vst3Effect::programListInfo(std::int32_t index, v3_program_list_info& info) {
    if (index != 0) return V3_INVALID_ARG;
    info = {};
    info.id = kProgramListId;
    toHostText("Programs", info.name, 128);
    info.programCount = LimiterCore::programCount();
    return V3_OK;
}

v3_result Vst3Effect::programName(std::int32_t listId, std::int32_t index, v3_str_128 name) const {
    if (listId != kProgramListId || index < 0 || index > kLastProgram) return V3_INVALID_ARG;
    char text[kProgramNameSize];
    core_.programName(index, text);
    toHostText(text, name, 128);
    return V3_OK;
}
