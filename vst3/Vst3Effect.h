// One VST3 instance: a single-component effect, whose one object is the component, the audio processor, the
// edit controller and the unit info a host queries for, over one LimiterCore. The host holds each interface
// as a Face (its table and this object); the static entries in each interface's file recover the object with
// Vst3Effect::of and call the member of the same name, which translates between the host's terms and the
// core's.
//
// Threads, as VST3 hosts call:
// - the host's main (user-interface) thread: initialize, terminate, queryInterface, bus and arrangement
//   calls, setActive, setupProcessing, the states, everything of the controller and the unit info, the view.
// - the audio thread: process, setProcessing.
// - ref and unref: any thread.
#pragma once

#include "core/EditInterface.h"
#include "core/LimiterCore.h"
#include "core/ParameterLayout.h"
#include "editor/PluginEditor.h"

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/unit.h>
#include <travesty/view.h>

#include <atomic>
#include <cstdint>
#include <memory>

// The eighth parameter: the program list's selector. Its id is not a core id and never becomes one.
constexpr v3_param_id kProgramParameterId = 1000;
constexpr int kVst3ParameterCount = kParameterIdCount + 1;
// The one unit (the root) and the program list it selects from.
constexpr int32_t kRootUnitId = 0;
constexpr int32_t kNoParentUnitId = -1;
constexpr int32_t kProgramListId = 1;
// The one bus each way carries this build's channels.
constexpr v3_speaker_arrangement kBusArrangement =
    LimiterCore::kChannels == 2 ? (V3_SPEAKER_L | V3_SPEAKER_R) : V3_SPEAKER_M;

class Vst3Effect final : private EditInterface, private ValueListener {
  public:
    // This build's class id, the same in every release.
    static const v3_tuid kClassId;

    // An interface as the host holds it: the address of the table pointer, followed by the object.
    struct Face {
        const void* table;
        Vst3Effect* effect;
    };
    static Vst3Effect& of(void* self) { return *static_cast<Face*>(self)->effect; }

    // Starts with one reference, the creator's.
    Vst3Effect();
    Vst3Effect(const Vst3Effect&) = delete;
    Vst3Effect& operator=(const Vst3Effect&) = delete;

    v3_result queryInterface(const v3_tuid iid, void** object);
    std::uint32_t ref();
    std::uint32_t unref();

    // Component (Vst3Component.cpp).
    v3_result initialize();
    v3_result terminate();
    static std::int32_t busCount(std::int32_t mediaType);
    static v3_result busInfo(std::int32_t mediaType, std::int32_t direction, std::int32_t index,
                             v3_bus_info& info);
    static v3_result activateBus(std::int32_t mediaType, std::int32_t index);
    v3_result setActive(bool active);
    // The core's versioned bytes through the host's stream; a state the core refuses changes nothing.
    v3_result setState(v3_bstream** stream);
    v3_result getState(v3_bstream** stream) const;

    // Audio processor (Vst3Processor.cpp).
    static v3_result setBusArrangements(const v3_speaker_arrangement* inputs, std::int32_t inputCount,
                                        const v3_speaker_arrangement* outputs, std::int32_t outputCount);
    v3_result setupProcessing(const v3_process_setup& setup);
    // The host's parameter changes take effect at their sample offsets: the block is split there.
    v3_result process(v3_process_data& data) QV3_NONBLOCKING;

    // Edit controller (Vst3Controller.cpp). Values are VST3 normalised values: a continuous parameter's is
    // the core's value, a stepped one's its step over the step count.
    static v3_result parameterInfo(std::int32_t index, v3_param_info& info);
    v3_result valueToText(v3_param_id id, double normalised, v3_str_128 text) const;
    v3_result textToValue(v3_param_id id, const int16_t* text, double& normalised) const;
    static double normalisedToPlain(v3_param_id id, double normalised);
    static double plainToNormalised(v3_param_id id, double plain);
    double normalisedValue(v3_param_id id) const;
    v3_result setNormalisedValue(v3_param_id id, double normalised);
    v3_result setComponentHandler(v3_component_handler** handler);
    // The editor's view for a platform type this build has a window for ("HWND" on Windows); null otherwise.
    v3_plugin_view** createView(const char* platformType);

    // Unit info (Vst3Controller.cpp): the root unit with the bank as its program list.
    static v3_result unitInfo(std::int32_t index, v3_unit_info& info);
    static v3_result programListInfo(std::int32_t index, v3_program_list_info& info);
    v3_result programName(std::int32_t listId, std::int32_t index, v3_str_128 name) const;

    // The views' use of the editor (Vst3View.cpp). The editor is made with the first view and kept until the
    // effect goes, so a view the host drops mid-drag never takes the editor from under its own stack. One
    // view at a time shows it: another view's open is refused, and a view closes only its own window.
    bool openEditor(const void* view, void* parentWindow);
    void closeEditor(const void* view);
    v3_view_rect editorSize() const;

  private:
    ~Vst3Effect();

    // EditInterface, for the editor: values by id, edits told to the host's component handler.
    float value(ParameterId id) override;
    void beginEdit(ParameterId id) override;
    void performEdit(ParameterId id, float value) override;
    void endEdit(ParameterId id) override;
    double meterValue(int slot) override;
    // ValueListener: a program was selected or a state loaded; the open editor catches up.
    void valueChanged(ParameterId id, float value) QV3_NONBLOCKING override;

    // Tells the host that every value may have changed (a program was selected, a state loaded).
    void valuesChangedWithoutEdits();

    Face component_;
    Face processor_;
    Face controller_;
    Face unitInfo_;
    Face contextRequirements_;
    std::atomic<std::uint32_t> references_{1};
    // Before the editor, which goes first and may still read values as it goes.
    LimiterCore core_;
    v3_component_handler** handler_ = nullptr;
    std::unique_ptr<PluginEditor> editor_;
    const void* editorView_ = nullptr;
    // The editor as the listener reaches it from any thread: set once, when the editor is made.
    std::atomic<PluginEditor*> listeningEditor_{nullptr};
};

// Normalised values: a host's value as the core stores it, false for an unknown id or a value that is not
// finite (the value is bounded to 0..1 first); and the core's value as the host sees it.
bool coreValueOf(v3_param_id id, double normalised, ParameterId& parameter, float& value) QV3_NONBLOCKING;
double normalisedOf(ParameterId parameter, float value);
// The program a normalised value of the program parameter selects.
int programOf(double normalised) QV3_NONBLOCKING;

// Texts between the core's bytes and the host's UTF-16.
void toHostText(const char* text, int16_t* hostText, std::size_t size);
// False for text that is not plain ASCII or does not fit `size` bytes with its terminator.
bool fromHostText(const int16_t* hostText, char* text, std::size_t size);

// The interface tables, one per file, that the faces point to.
extern const v3_component_cpp kVst3ComponentTable;
extern const v3_audio_processor_cpp kVst3ProcessorTable;
extern const v3_process_context_requirements_cpp kVst3ContextRequirementsTable;
extern const v3_edit_controller_cpp kVst3ControllerTable;
extern const v3_unit_information_cpp kVst3UnitInfoTable;
