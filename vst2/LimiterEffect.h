// The VST 2.x effect: owns the limiter core and its editor, and maps the record's six parameter indexes and
// the meter indexes onto the core's parameter ids and meter slots.
//
// VST 2.x indexes: 0 Makeup, 1 Ceiling, 2 RelSW, 3 "Rel" (the release value of the mode RelSW selects: manual
// above 0.5, automatic otherwise), 4 lt_ClipSW, 5 Monitor; meters 6 and up (vendor-specific query).
//
// Threads: as EffectBase. The editor's EditInterface calls come on the user-interface thread.
#pragma once

#include "core/EditInterface.h"
#include "core/LimiterCore.h"
#include "vst2/EffectExt.h"

#include <cstdint>

constexpr std::int32_t kVstParameterCount = 6;
constexpr std::int32_t kVstReleaseIndex = 3;
constexpr std::int32_t kFirstMeterIndex = 6;

class LimiterEffect : public EffectExt, private EditInterface {
  public:
    explicit LimiterEffect(audioMasterCallback host);
    ~LimiterEffect() override;

    // The host's begin and end of an edit by index, beside the editor's by id.
    using EffectBase::beginEdit;
    using EffectBase::endEdit;

    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    void process(float** inputs, float** outputs, std::int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override;
    std::int32_t getProgram() override;
    void setProgram(std::int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    // Value texts and names; an unknown index gets the empty text, so the host's buffer is always terminated.
    // Labels are empty for every index, the base's answer.
    void getParamDisplay(std::int32_t index, char* text) override;
    void getParamName(std::int32_t index, char* text) override;
    void setSampleRate(float sampleRate) override;
    void suspend() override;
    void resume() override;

    bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) override;
    std::int32_t getPlugCategory() override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    std::int32_t getVendorVersion() override;
    VstIntPtr vendorSpecific(std::int32_t index, VstIntPtr value, void* ptr, float opt) override;

    // True when this build has an editor and it could not be made; the entry then refuses the instance.
    bool editorFailed() const { return editorFailed_; }
    LimiterCore& core() { return core_; }
    EditInterface& editInterface() { return *this; }

  private:
    // What the editor sees: values and edits by id, which reach the host as the index that shows them.
    float value(ParameterId id) override;
    void beginEdit(ParameterId id) override;
    void performEdit(ParameterId id, float value) override;
    void endEdit(ParameterId id) override;
    double meterValue(int slot) override;
    void dragIdle() override;

    // The id behind an index; for "Rel" the release of the mode selected now.
    bool idOfIndex(std::int32_t index, ParameterId& id) const;
    // Tells the editor, if there is one, of a value it has not been told of through setParameter.
    void showParameter(ParameterId id);

    LimiterCore core_;
    bool editorFailed_ = false;
};
