// The VST 2.x binary interface between a host and this effect: the effect record, the host callback and the
// opcode, flag and key records both sides exchange. Written from the published layout; only what this product
// uses or answers is named. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define QV3_VSTCALL __cdecl
#else
#define QV3_VSTCALL
#endif

struct AEffect;

using VstIntPtr = std::intptr_t;

using audioMasterCallback = VstIntPtr(QV3_VSTCALL*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                    VstIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(QV3_VSTCALL*)(AEffect* effect, std::int32_t opcode,
                                                      std::int32_t index, VstIntPtr value, void* ptr,
                                                      float opt);
using AEffectProcessProc = void(QV3_VSTCALL*)(AEffect* effect, float** inputs, float** outputs,
                                              std::int32_t sampleFrames);
using AEffectSetParameterProc = void(QV3_VSTCALL*)(AEffect* effect, std::int32_t index, float value);
using AEffectGetParameterProc = float(QV3_VSTCALL*)(AEffect* effect, std::int32_t index);

constexpr std::int32_t kEffectMagic = 0x56737450; // 'VstP'

struct AEffect {
    std::int32_t magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    std::int32_t initialDelay;
    std::int32_t realQualities;
    std::int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueID;
    std::int32_t version;
    AEffectProcessProc processReplacing;
    // The slot after processReplacing is unused by this effect and stays zero with the reserved tail.
    char future[sizeof(void*) + 56];
};

// The layout is fixed by hosts already in the field; pin it for the architecture being built.
#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(void*) == 8);
static_assert(offsetof(AEffect, magic) == 0 && offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16 && offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32 && offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44 && offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52 && offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64 && offsetof(AEffect, resvd2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80 && offsetof(AEffect, realQualities) == 84);
static_assert(offsetof(AEffect, offQualities) == 88 && offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96 && offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112 && offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120 && offsetof(AEffect, future) == 128);
static_assert(sizeof(AEffect) == 192);
#elif INTPTR_MAX == INT32_MAX
static_assert(sizeof(void*) == 4);
static_assert(offsetof(AEffect, magic) == 0 && offsetof(AEffect, dispatcher) == 4);
static_assert(offsetof(AEffect, process) == 8 && offsetof(AEffect, setParameter) == 12);
static_assert(offsetof(AEffect, getParameter) == 16 && offsetof(AEffect, numPrograms) == 20);
static_assert(offsetof(AEffect, numParams) == 24 && offsetof(AEffect, numInputs) == 28);
static_assert(offsetof(AEffect, numOutputs) == 32 && offsetof(AEffect, flags) == 36);
static_assert(offsetof(AEffect, resvd1) == 40 && offsetof(AEffect, resvd2) == 44);
static_assert(offsetof(AEffect, initialDelay) == 48 && offsetof(AEffect, realQualities) == 52);
static_assert(offsetof(AEffect, offQualities) == 56 && offsetof(AEffect, ioRatio) == 60);
static_assert(offsetof(AEffect, object) == 64 && offsetof(AEffect, user) == 68);
static_assert(offsetof(AEffect, uniqueID) == 72 && offsetof(AEffect, version) == 76);
static_assert(offsetof(AEffect, processReplacing) == 80 && offsetof(AEffect, future) == 84);
static_assert(sizeof(AEffect) == 144);
#endif

// Editor rectangle handed to the host by effEditGetRect.
struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};
static_assert(sizeof(ERect) == 8);

// Key event passed to the editor by effEditKeyDown and effEditKeyUp.
struct VstKeyCode {
    std::int32_t character;
    std::uint8_t virt;
    std::uint8_t modifier;
};

enum AEffectFlags : std::int32_t {
    effFlagsHasEditor = 1,
    effFlagsHasClip = 2,
    effFlagsHasVu = 4,
    effFlagsCanMono = 8,
    effFlagsCanReplacing = 16,
    effFlagsProgramChunks = 32,
    effFlagsIsSynth = 256,
    effFlagsNoSoundInStop = 512,
    effFlagsExtIsAsync = 1024,
    effFlagsExtHasBuffer = 2048,
};

enum AEffectOpcodes : std::int32_t {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents, // 25: first opcode of the extended set
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,
    effGetSpeakerArrangement,
    effShellGetNextPlugin,
    effStartProcess,
    effStopProcess,
    effSetTotalSampleToProcess,
    effSetPanLaw,
    effBeginLoadBank,
    effBeginLoadProgram, // 76: last opcode of the extended set
};
static_assert(effProcessEvents == 25 && effGetPlugCategory == 35 && effSetBlockSizeAndSampleRate == 43);
static_assert(effGetVstVersion == 58 && effGetSpeakerArrangement == 69 && effBeginLoadProgram == 76);

enum AudioMasterOpcodes : std::int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
};

enum VstPlugCategory : std::int32_t {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
};

// Packs four characters big-endian, first character in the most significant byte.
constexpr std::int32_t fourCharCode(char a, char b, char c, char d) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}
