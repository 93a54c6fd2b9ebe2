#include "vst2/EffectExt.h"

#include "dsp/SampleRate.h"

namespace {
constexpr std::int32_t kFirstExtendedOpcode = effProcessEvents;
constexpr std::int32_t kLastExtendedOpcode = effBeginLoadProgram;
constexpr std::int32_t kVstVersion = 2300;
} // namespace

VstIntPtr EffectExt::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                float opt) {
    if (opcode < kFirstExtendedOpcode || opcode > kLastExtendedOpcode)
        return EffectBase::dispatcher(opcode, index, value, ptr, opt);

    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effCanBeAutomated:
        return 1;
    case effGetNumProgramCategories:
        return 1;
    case effGetProgramNameIndexed:
        return text && getProgramNameIndexed(static_cast<std::int32_t>(value), index, text) ? 1 : 0;
    case effConnectInput:
    case effConnectOutput:
        return 1;
    case effGetPlugCategory:
        return getPlugCategory();
    case effSetBlockSizeAndSampleRate:
        // Stored only; the coefficients follow the rate on effSetSampleRate.
        blockSize_ = static_cast<std::int32_t>(value);
        if (isUsableSampleRate(opt)) sampleRate_ = opt;
        return 1;
    case effGetEffectName:
        return text && getEffectName(text) ? 1 : 0;
    case effGetVendorString:
        return text && getVendorString(text) ? 1 : 0;
    case effGetProductString:
        return text && getProductString(text) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effKeysRequired:
        return 1;
    case effGetVstVersion:
        return kVstVersion;
    case effEditKeyDown:
    case effEditKeyUp:
        // No view of the editor takes keys. Any non-zero answer would tell the host the key was taken, and
        // its shortcuts (the space bar's transport among them) would stop working while the editor has the
        // focus.
        return 0;
    case effSetEditKnobMode:
        // No view of the editor is a knob: the mode is accepted and has no use.
        return editor_ ? 1 : 0;
    case effGetCurrentMidiProgram:
        return -1;
    case effGetSpeakerArrangement:
        // Both locations are written or neither: a host that passes only one gets nothing half-done.
        if (value != 0 && ptr != nullptr) {
            *reinterpret_cast<void**>(value) = nullptr;
            *static_cast<void**>(ptr) = nullptr;
        }
        return 0;
    case effSetTotalSampleToProcess:
        return value;
    default:
        return 0;
    }
}

bool EffectExt::getProgramNameIndexed(std::int32_t, std::int32_t, char*) { return false; }

std::int32_t EffectExt::getPlugCategory() { return kPlugCategUnknown; }

bool EffectExt::getEffectName(char*) { return false; }

bool EffectExt::getVendorString(char*) { return false; }

bool EffectExt::getProductString(char*) { return false; }

std::int32_t EffectExt::getVendorVersion() { return 0; }

VstIntPtr EffectExt::vendorSpecific(std::int32_t, VstIntPtr, void*, float) { return 0; }
