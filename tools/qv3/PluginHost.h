// A VST 2.x host for one effect: loads the library, calls its `main` with our host callback and from then on
// talks to the effect only through the returned record, as any host does.
#pragma once

#include "Platform.h"

#include "vst2/VstInterface.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

class PluginHost {
  public:
    // Throws std::runtime_error when the library does not load, has no `main`, or `main` gives no effect.
    explicit PluginHost(const std::filesystem::path& path);
    // Suspends the effect if it is running, closes it, then unloads the library.
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    const AEffect& record() const { return *effect_; }
    const std::filesystem::path& path() const { return path_; }

    std::string effectName() const { return text(effGetEffectName); }
    std::string vendor() const { return text(effGetVendorString); }
    std::string product() const { return text(effGetProductString); }
    std::int32_t vendorVersion() const { return static_cast<std::int32_t>(dispatch(effGetVendorVersion)); }
    std::int32_t vstVersion() const { return static_cast<std::int32_t>(dispatch(effGetVstVersion)); }

    std::string parameterName(std::int32_t index) const { return text(effGetParamName, index); }
    std::string parameterLabel(std::int32_t index) const { return text(effGetParamLabel, index); }
    std::string parameterDisplay(std::int32_t index) const { return text(effGetParamDisplay, index); }
    float parameter(std::int32_t index) const { return effect_->getParameter(effect_, index); }
    void setParameter(std::int32_t index, float value) const { effect_->setParameter(effect_, index, value); }

    std::string programName(std::int32_t index) const;
    std::int32_t currentProgram() const { return static_cast<std::int32_t>(dispatch(effGetProgram)); }
    void selectProgram(std::int32_t index) const { dispatch(effSetProgram, 0, index); }

    // Sample rate and largest block, then resume. Processing is possible only between start and stop.
    void start(double sampleRate, std::int32_t blockSize);
    void stop();
    // One block of at most the block size given to start, through processReplacing.
    void process(float** inputs, float** outputs, std::int32_t frames) const {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    }

    // The gain meter our own plug-ins publish (lowest gain of the last meter period, 1.0 = no reduction),
    // read through their vendor-specific meter query; empty for an effect that does not answer it.
    std::optional<double> gainMeter() const;

  private:
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    std::string text(std::int32_t opcode, std::int32_t index = 0) const;

    std::filesystem::path path_;
    PluginLibrary library_;
    AEffect* effect_ = nullptr;
    bool running_ = false;
};
