// A VST 2.x host for one effect: loads the library, calls its `main` with our host callback and from then on
// talks to the effect only through the returned record, as any host does. The record and the plug-in
// interface's types stay inside this class; the rest of qv3 sees plain figures and texts.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct AEffect;

// Called on the thread that owns the host; one instance is never shared between threads.
class PluginHost {
  public:
    // Throws std::runtime_error when the library does not load, has no `main`, or `main` gives no effect.
    explicit PluginHost(const std::filesystem::path& path);
    // Suspends the effect if it is running, closes it, then unloads the library.
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::string effectName() const;
    std::string vendor() const;
    std::string product() const;
    std::int32_t vendorVersion() const;
    std::int32_t vstVersion() const;
    std::int32_t uniqueId() const;
    std::int32_t version() const;
    std::int32_t inputCount() const;
    std::int32_t outputCount() const;
    std::int32_t latency() const; // frames of delay the effect reports
    std::int32_t flags() const;
    // The flags' names, comma-separated ("editor, can mono, replacing").
    std::string flagNames() const;
    bool canProcessReplacing() const;

    std::int32_t parameterCount() const;
    std::string parameterName(std::int32_t index) const;
    std::string parameterLabel(std::int32_t index) const;
    std::string parameterDisplay(std::int32_t index) const;
    float parameter(std::int32_t index) const;
    void setParameter(std::int32_t index, float value) const;

    std::int32_t programCount() const;
    std::string programName(std::int32_t index) const;
    std::int32_t currentProgram() const;
    void selectProgram(std::int32_t index) const;

    // Sample rate and largest block, then resume. Processing is possible only between start and stop.
    void start(double sampleRate, std::int32_t blockSize);
    void stop();
    // One block of at most the block size given to start, through processReplacing.
    void process(float** inputs, float** outputs, std::int32_t frames) const;

    // The gain meter our own plug-ins publish (lowest gain of the last meter period, 1.0 = no reduction),
    // read through their vendor-specific meter query; empty for an effect that does not answer it.
    std::optional<double> gainMeter() const;

  private:
    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                           void* ptr = nullptr, float opt = 0.0f) const;
    std::string text(std::int32_t opcode, std::int32_t index = 0) const;

    std::filesystem::path path_;
    PluginLibrary library_;
    AEffect* effect_ = nullptr;
    bool running_ = false;
};
