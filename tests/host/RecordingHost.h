// The host side of the callback: answers audioMasterVersion with a configurable number and records every call
// a plug-in makes, in order.
#pragma once

#include "vst2/VstInterface.h"

#include <cstdint>
#include <vector>

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class RecordingHost {
  public:
    static constexpr VstIntPtr kHostVersion = 2400;

    // Forgets all calls and answers audioMasterVersion with `version` from now on (0 means "no host").
    static void reset(VstIntPtr version = kHostVersion);
    static const std::vector<HostCall>& calls();
    static VstIntPtr QV3_VSTCALL callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void* ptr, float opt);
};
