#include "vst2/EffectBase.h"

#include "dsp/SampleRate.h"

#include <cstring>

namespace {
EffectBase* effectOf(AEffect* effect) { return effect ? static_cast<EffectBase*>(effect->object) : nullptr; }

constexpr std::int32_t kNeutralUniqueId = fourCharCode('N', 'o', 'E', 'f');
} // namespace

VstIntPtr QV3_VSTCALL dispatchEntry(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                    void* ptr, float opt) {
    EffectBase* instance = effectOf(effect);
    if (!instance) return 0;
    VstIntPtr result = instance->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        delete instance;
        return 1;
    }
    return result;
}

void QV3_VSTCALL processEntry(AEffect* effect, float** inputs, float** outputs,
                              std::int32_t frames) QV3_NONBLOCKING {
    if (EffectBase* instance = effectOf(effect)) instance->process(inputs, outputs, frames);
}

void QV3_VSTCALL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       std::int32_t frames) QV3_NONBLOCKING {
    if (EffectBase* instance = effectOf(effect)) instance->processReplacing(inputs, outputs, frames);
}

void QV3_VSTCALL setParameterEntry(AEffect* effect, std::int32_t index, float value) {
    if (EffectBase* instance = effectOf(effect)) instance->setParameter(index, value);
}

float QV3_VSTCALL getParameterEntry(AEffect* effect, std::int32_t index) {
    EffectBase* instance = effectOf(effect);
    return instance ? instance->getParameter(index) : 0.0f;
}

EffectBase::EffectBase(audioMasterCallback host, std::int32_t programCount, std::int32_t parameterCount)
    : host_(host), programCount_(programCount), parameterCount_(parameterCount) {
    std::memset(&record_, 0, sizeof record_);
    record_.magic = kEffectMagic;
    record_.dispatcher = dispatchEntry;
    record_.process = processEntry;
    record_.setParameter = setParameterEntry;
    record_.getParameter = getParameterEntry;
    record_.numPrograms = programCount;
    record_.numParams = parameterCount;
    record_.numInputs = 1;
    record_.numOutputs = 2;
    record_.flags = 0;
    record_.ioRatio = 1.0f;
    record_.object = this;
    record_.uniqueID = kNeutralUniqueId;
    record_.version = 1;
    record_.processReplacing = processReplacingEntry;
}

EffectBase::~EffectBase() = default;

void EffectBase::registerEditor(std::unique_ptr<PluginEditor> editor) {
    editor_ = std::move(editor);
    editorRect_.top = 0;
    editorRect_.left = 0;
    editorRect_.bottom = static_cast<std::int16_t>(editor_->height());
    editorRect_.right = static_cast<std::int16_t>(editor_->width());
    record_.flags |= effFlagsHasEditor;
}

void EffectBase::setParameter(std::int32_t, float) {}

float EffectBase::getParameter(std::int32_t) { return 0.0f; }

void EffectBase::automateParameter(std::int32_t index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void EffectBase::processReplacing(float**, float**, std::int32_t) QV3_NONBLOCKING {}

std::int32_t EffectBase::getProgram() { return 0; }

void EffectBase::setProgram(std::int32_t) {}

void EffectBase::setProgramName(char* name) { name[0] = '\0'; }

void EffectBase::getProgramName(char* name) { name[0] = '\0'; }

void EffectBase::getParamLabel(std::int32_t, char* label) { label[0] = '\0'; }

void EffectBase::getParamDisplay(std::int32_t, char* text) { text[0] = '\0'; }

void EffectBase::getParamName(std::int32_t, char* text) { text[0] = '\0'; }

void EffectBase::setSampleRate(float sampleRate) { sampleRate_ = sampleRate; }

void EffectBase::setBlockSize(std::int32_t blockSize) { blockSize_ = blockSize; }

VstIntPtr EffectBase::callHost(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                               float opt) {
    return host_ ? host_(&record_, opcode, index, value, ptr, opt) : 0;
}

bool EffectBase::beginEdit(std::int32_t index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool EffectBase::endEdit(std::int32_t index) { return callHost(audioMasterEndEdit, index) != 0; }

void EffectBase::masterIdle() { callHost(audioMasterIdle); }

VstIntPtr EffectBase::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                 float opt) {
    // Text opcodes with no buffer are refused rather than written through a null pointer.
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        // The window goes while the whole effect still answers the host: a drag in progress ends its edit
        // there, and the host may ask for the value it ended with.
        if (editor_) editor_->close();
        close();
        return 0;
    case effSetProgram:
        if (value >= 0 && value < programCount_) setProgram(static_cast<std::int32_t>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text) setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text) getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text) getParamLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text) getParamDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text) getParamName(index, text);
        return 0;
    case effSetSampleRate:
        // A rate the signal path would ignore (not finite, or below 1 Hz) is not stored either.
        if (isUsableSampleRate(opt)) setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<std::int32_t>(value));
        return 0;
    case effMainsChanged:
        if (value)
            resume();
        else
            suspend();
        return 0;
    case effEditGetRect:
        if (!editor_ || !ptr) return 0;
        *static_cast<ERect**>(ptr) = &editorRect_;
        return 1;
    case effEditOpen:
        return editor_ ? (editor_->open(ptr) ? 1 : 0) : 0;
    case effEditClose:
        if (editor_) editor_->close();
        return 0;
    case effEditIdle:
        if (editor_) editor_->idle();
        return 0;
    case effIdentify:
        return fourCharCode('N', 'v', 'E', 'f');
    default:
        return 0;
    }
}
