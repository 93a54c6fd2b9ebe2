// The host-interface base of an effect: owns the AEffect record the host talks to, keeps the effect-wide
// values (host callback, sample rate, block size, editor) and answers the basic opcodes 0 to 24. Every
// operation has a harmless default; derived layers override what they use.
//
// Threads: process entries run on the host's audio thread; editor opcodes on its user-interface thread;
// setParameter from either. Nothing here locks.
#pragma once

#include "dsp/Nonblocking.h"
#include "editor/PluginEditor.h"
#include "vst2/VstInterface.h"

#include <cstdint>
#include <memory>

class EffectBase {
  public:
    EffectBase(audioMasterCallback host, std::int32_t programCount, std::int32_t parameterCount);
    virtual ~EffectBase();
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    virtual void setParameter(std::int32_t index, float value);
    virtual float getParameter(std::int32_t index);
    // Applies a user's change and reports it to the host as automation.
    virtual void automateParameter(std::int32_t index, float value);
    virtual void process(float** inputs, float** outputs, std::int32_t frames) QV3_NONBLOCKING = 0;
    virtual void processReplacing(float** inputs, float** outputs, std::int32_t frames) QV3_NONBLOCKING;
    virtual VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                 float opt);
    virtual void open() {}
    virtual void close() {}
    virtual std::int32_t getProgram();
    // Called only with indexes below the program count: the dispatcher drops the others.
    virtual void setProgram(std::int32_t program);
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    virtual void getParamLabel(std::int32_t index, char* label);
    virtual void getParamDisplay(std::int32_t index, char* text);
    virtual void getParamName(std::int32_t index, char* text);
    // Called only with rates isUsableSampleRate accepts: the dispatcher drops the others.
    virtual void setSampleRate(float sampleRate);
    virtual void setBlockSize(std::int32_t blockSize);
    virtual void suspend() {}
    virtual void resume() {}

    AEffect* record() { return &record_; }
    PluginEditor* editor() const { return editor_.get(); }
    // From here on the effect owns the editor and tells the host it has one.
    void registerEditor(std::unique_ptr<PluginEditor> editor);

    float sampleRate() const { return sampleRate_; }
    std::int32_t blockSize() const { return blockSize_; }

    // Host notifications; each is a no-op reporting 0 (false) without a callback.
    VstIntPtr callHost(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    bool beginEdit(std::int32_t index);
    bool endEdit(std::int32_t index);
    void masterIdle();

  protected:
    float sampleRate_ = 44100.0f;
    std::unique_ptr<PluginEditor> editor_;
    audioMasterCallback host_;
    std::int32_t programCount_;
    std::int32_t parameterCount_;
    std::int32_t blockSize_ = 1024;
    AEffect record_;

  private:
    // The rectangle effEditGetRect hands out, from the editor's size.
    ERect editorRect_{};
};

// Static entries stored in the record: each recovers the effect from `object` and forwards.
VstIntPtr QV3_VSTCALL dispatchEntry(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                    void* ptr, float opt);
void QV3_VSTCALL processEntry(AEffect* effect, float** inputs, float** outputs,
                              std::int32_t frames) QV3_NONBLOCKING;
void QV3_VSTCALL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       std::int32_t frames) QV3_NONBLOCKING;
void QV3_VSTCALL setParameterEntry(AEffect* effect, std::int32_t index, float value);
float QV3_VSTCALL getParameterEntry(AEffect* effect, std::int32_t index);
