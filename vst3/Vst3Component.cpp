// The object's life, the interfaces it answers to, the component (buses, activation, state) and the editor's
// side of the effect.
#include "vst3/Vst3Effect.h"

#include <travesty/bstream.h>

#include <cstdio>
#include <vector>

namespace {
// States are a few kilobytes; a stream longer than this is not one of ours.
constexpr std::size_t kMaxStateBytes = 1 << 16;

v3_result V3_API queryInterfaceEntry(void* self, const v3_tuid iid, void** object) {
    return Vst3Effect::of(self).queryInterface(iid, object);
}
uint32_t V3_API refEntry(void* self) { return Vst3Effect::of(self).ref(); }
uint32_t V3_API unrefEntry(void* self) { return Vst3Effect::of(self).unref(); }

v3_result V3_API initializeEntry(void* self, v3_funknown**) { return Vst3Effect::of(self).initialize(); }
v3_result V3_API terminateEntry(void* self) { return Vst3Effect::of(self).terminate(); }

// A single-component effect has no controller class of its own: hosts ask the component for the controller.
v3_result V3_API controllerClassIdEntry(void*, v3_tuid) { return V3_FALSE; }
v3_result V3_API ioModeEntry(void*, int32_t) { return V3_OK; }
int32_t V3_API busCountEntry(void*, int32_t mediaType, int32_t) { return Vst3Effect::busCount(mediaType); }
v3_result V3_API busInfoEntry(void*, int32_t mediaType, int32_t direction, int32_t index, v3_bus_info* info) {
    if (!info) return V3_INVALID_ARG;
    return Vst3Effect::busInfo(mediaType, direction, index, *info);
}
v3_result V3_API routingInfoEntry(void*, v3_routing_info*, v3_routing_info*) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API activateBusEntry(void*, int32_t mediaType, int32_t, int32_t index, v3_bool) {
    return Vst3Effect::activateBus(mediaType, index);
}
v3_result V3_API setActiveEntry(void* self, v3_bool active) { return Vst3Effect::of(self).setActive(active); }
v3_result V3_API setStateEntry(void* self, v3_bstream** stream) {
    return Vst3Effect::of(self).setState(stream);
}
v3_result V3_API getStateEntry(void* self, v3_bstream** stream) {
    return Vst3Effect::of(self).getState(stream);
}

// Reads the stream to its end, in as many calls as the host's stream needs.
bool readAll(v3_bstream** stream, std::vector<std::uint8_t>& bytes) {
    std::uint8_t chunk[4096];
    for (;;) {
        int32_t read = 0;
        const v3_result result = v3_cpp_obj(stream)->read(stream, chunk, sizeof chunk, &read);
        if (read < 0 || read > static_cast<int32_t>(sizeof chunk)) return false;
        bytes.insert(bytes.end(), chunk, chunk + read);
        if (bytes.size() > kMaxStateBytes) return false;
        if (result != V3_OK || read == 0) return true;
    }
}

bool writeAll(v3_bstream** stream, std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        int32_t written = 0;
        const v3_result result = v3_cpp_obj(stream)->write(
            stream, bytes.data() + done, static_cast<int32_t>(bytes.size() - done), &written);
        if (result != V3_OK || written <= 0 || static_cast<std::size_t>(written) > bytes.size() - done)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}
} // namespace

const v3_component_cpp kVst3ComponentTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {initializeEntry, terminateEntry},
    {controllerClassIdEntry, ioModeEntry, busCountEntry, busInfoEntry, routingInfoEntry, activateBusEntry,
     setActiveEntry, setStateEntry, getStateEntry},
};

Vst3Effect::Vst3Effect()
    : component_{&kVst3ComponentTable, this}, processor_{&kVst3ProcessorTable, this},
      controller_{&kVst3ControllerTable, this}, unitInfo_{&kVst3UnitInfoTable, this},
      contextRequirements_{&kVst3ContextRequirementsTable, this} {
    core_.setListener(this);
}

Vst3Effect::~Vst3Effect() {
    core_.setListener(nullptr);
    if (handler_) v3_cpp_obj_unref(handler_);
}

v3_result Vst3Effect::queryInterface(const v3_tuid iid, void** object) {
    if (!object) return V3_INVALID_ARG;
    Face* face = nullptr;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
        v3_tuid_match(iid, v3_component_iid))
        face = &component_;
    else if (v3_tuid_match(iid, v3_audio_processor_iid))
        face = &processor_;
    else if (v3_tuid_match(iid, v3_edit_controller_iid))
        face = &controller_;
    else if (v3_tuid_match(iid, v3_unit_information_iid))
        face = &unitInfo_;
    else if (v3_tuid_match(iid, v3_process_context_requirements_iid))
        face = &contextRequirements_;
    *object = face;
    if (!face) return V3_NO_INTERFACE;
    ref();
    return V3_OK;
}

std::uint32_t Vst3Effect::ref() { return ++references_; }

std::uint32_t Vst3Effect::unref() {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
}

// Nothing waits for the host's context: the core is whole from construction on. A host that initializes the
// component and then the controller it queried from it reaches the same object twice, which is harmless.
v3_result Vst3Effect::initialize() { return V3_OK; }

v3_result Vst3Effect::terminate() { return V3_OK; }

std::int32_t Vst3Effect::busCount(std::int32_t mediaType) { return mediaType == V3_AUDIO ? 1 : 0; }

v3_result Vst3Effect::busInfo(std::int32_t mediaType, std::int32_t direction, std::int32_t index,
                              v3_bus_info& info) {
    if (mediaType != V3_AUDIO || index != 0 || (direction != V3_INPUT && direction != V3_OUTPUT))
        return V3_INVALID_ARG;
    info = {};
    info.media_type = V3_AUDIO;
    info.direction = direction;
    info.channel_count = LimiterCore::kChannels;
    char name[16];
    std::snprintf(name, sizeof name, "%s %s", LimiterCore::kChannels == 2 ? "Stereo" : "Mono",
                  direction == V3_INPUT ? "In" : "Out");
    toHostText(name, info.bus_name, 128);
    info.bus_type = V3_MAIN;
    info.flags = V3_DEFAULT_ACTIVE;
    return V3_OK;
}

v3_result Vst3Effect::activateBus(std::int32_t mediaType, std::int32_t index) {
    return mediaType == V3_AUDIO && index == 0 ? V3_OK : V3_INVALID_ARG;
}

v3_result Vst3Effect::setActive(bool active) {
    if (active) core_.reset();
    return V3_OK;
}

v3_result Vst3Effect::setState(v3_bstream** stream) {
    std::vector<std::uint8_t> bytes;
    if (!stream || !readAll(stream, bytes) || !core_.loadState(bytes.data(), bytes.size())) return V3_FALSE;
    valuesChangedWithoutEdits();
    return V3_OK;
}

v3_result Vst3Effect::getState(v3_bstream** stream) const {
    std::vector<std::uint8_t> bytes = core_.saveState();
    return stream && writeAll(stream, bytes) ? V3_OK : V3_FALSE;
}

void Vst3Effect::valuesChangedWithoutEdits() {
    if (handler_) v3_cpp_obj(handler_)->restart_component(handler_, V3_RESTART_PARAM_VALUES_CHANGED);
}

float Vst3Effect::value(ParameterId id) { return core_.value(id); }

void Vst3Effect::beginEdit(ParameterId id) {
    if (handler_) v3_cpp_obj(handler_)->begin_edit(handler_, static_cast<v3_param_id>(id));
}

void Vst3Effect::performEdit(ParameterId id, float value) {
    core_.setValue(id, value);
    if (handler_)
        v3_cpp_obj(handler_)->perform_edit(handler_, static_cast<v3_param_id>(id), normalisedOf(id, value));
}

void Vst3Effect::endEdit(ParameterId id) {
    if (handler_) v3_cpp_obj(handler_)->end_edit(handler_, static_cast<v3_param_id>(id));
}

double Vst3Effect::meterValue(int slot) { return core_.meterValue(slot); }

void Vst3Effect::valueChanged(ParameterId id, float) QV3_NONBLOCKING {
    // Off the user-interface thread the editor only raises its refresh flag.
    QV3_UNCHECKED_CALLS_BEGIN
    if (PluginEditor* editor = listeningEditor_.load()) editor->parameterChanged(id);
    QV3_UNCHECKED_CALLS_END
}

void toHostText(const char* text, int16_t* hostText, std::size_t size) {
    std::size_t i = 0;
    for (; i + 1 < size && text[i]; ++i)
        hostText[i] = static_cast<int16_t>(static_cast<unsigned char>(text[i]));
    hostText[i] = 0;
}

bool fromHostText(const int16_t* hostText, char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (hostText[i] < 0 || hostText[i] > 0x7F) return false;
        text[i] = static_cast<char>(hostText[i]);
        if (hostText[i] == 0) return true;
    }
    return false;
}
