// A minimal host for driving the effect through its record, as a real host does, with a log of every
// callback.
#pragma once

#include "shell/PluginEntry.h"
#include "shell/VstInterface.h"

#include <cstdint>
#include <string>
#include <vector>

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    float opt;
};

class TestHost {
  public:
    static std::vector<HostCall>& calls() {
        static std::vector<HostCall> log;
        return log;
    }
    static VstIntPtr& versionAnswer() {
        static VstIntPtr answer = 2400;
        return answer;
    }
    static VstIntPtr QV3_VSTCALL callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                          VstIntPtr value, void*, float opt) {
        calls().push_back({effect, opcode, index, value, opt});
        return opcode == audioMasterVersion ? versionAnswer() : 0;
    }
};

// Owns one instance for the length of a test and closes it through the dispatcher.
class Instance {
  public:
    Instance() : effect_(createPluginInstance(TestHost::callback)) {}
    ~Instance() {
        if (effect_) effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* operator->() const { return effect_; }
    AEffect* get() const { return effect_; }

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    void set(std::int32_t index, float value) const { effect_->setParameter(effect_, index, value); }
    float get(std::int32_t index) const { return effect_->getParameter(effect_, index); }
    std::string text(std::int32_t opcode, std::int32_t index = 0) const {
        char buffer[64] = {};
        dispatch(opcode, index, 0, buffer);
        return buffer;
    }
    std::string display(std::int32_t index) const { return text(effGetParamDisplay, index); }
    void selectProgram(std::int32_t program) const { dispatch(effSetProgram, 0, program); }

  private:
    AEffect* effect_;
};
