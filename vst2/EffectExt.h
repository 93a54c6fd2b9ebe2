// The extended host interface: answers opcodes 25 to 76 and hands everything else to the basic dispatcher.
// The handlers a limiter overrides (names, category, program names) have neutral defaults here.
#pragma once

#include "vst2/EffectBase.h"

class EffectExt : public EffectBase {
  public:
    using EffectBase::EffectBase;

    VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                         float opt) override;

    virtual bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text);
    virtual std::int32_t getPlugCategory();
    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual std::int32_t getVendorVersion();
    virtual VstIntPtr vendorSpecific(std::int32_t index, VstIntPtr value, void* ptr, float opt);

  protected:
    void setUniqueId(std::int32_t id) { record_.uniqueID = id; }
    void setChannelCounts(std::int32_t inputs, std::int32_t outputs) {
        record_.numInputs = inputs;
        record_.numOutputs = outputs;
    }
    void setInitialDelay(std::int32_t samples) { record_.initialDelay = samples; }
    void setFlag(std::int32_t flag) { record_.flags |= flag; }
};
