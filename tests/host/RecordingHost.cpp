#include "RecordingHost.h"

namespace {
std::vector<HostCall>& callLog() {
    static std::vector<HostCall> log;
    return log;
}

VstIntPtr& versionAnswer() {
    static VstIntPtr answer = RecordingHost::kHostVersion;
    return answer;
}
} // namespace

void RecordingHost::reset(VstIntPtr version) {
    callLog().clear();
    versionAnswer() = version;
}

const std::vector<HostCall>& RecordingHost::calls() { return callLog(); }

VstIntPtr QV3_VSTCALL RecordingHost::callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                              VstIntPtr value, void* ptr, float opt) {
    callLog().push_back({effect, opcode, index, value, ptr, opt});
    return opcode == audioMasterVersion ? versionAnswer() : 0;
}
