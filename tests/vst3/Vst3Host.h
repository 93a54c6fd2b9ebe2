// A small VST3 host for the tests: the module in the bundle beside this program, loaded as a host loads it,
// and one instance driven through the interfaces a host queries from the component. The VST 2.x libraries
// for the comparisons come through the CLAP tests' host (tests/clap/TestHosts.h).
#pragma once

#include "tests/clap/TestHosts.h"

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>
#include <travesty/unit.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr v3_param_id kProgramParameter = 1000;

// The bundle's module of this architecture, relative to this program's folder.
std::string bundleModule(const Variant& variant);

// The module with its load entry called, for the life of the object.
class Vst3Module {
  public:
    explicit Vst3Module(const Variant& variant);
    ~Vst3Module();
    v3_plugin_factory** factory() const { return factory_; }

  private:
    Module module_;
    v3_plugin_factory** factory_ = nullptr;
};

// One parameter change of a render: `frame` counts from the render's start.
struct Vst3Change {
    std::uint32_t frame;
    v3_param_id id;
    double value;
};

// One queue of a block as the host passes it, points taken as given (any order, any offset, any value).
struct Vst3Queue {
    v3_param_id id;
    std::vector<std::pair<std::int32_t, double>> points;
};

// What the effect told the host through the component handler.
struct HandlerLog {
    int restarts = 0;
    int lastRestartFlags = 0;
    int begins = 0;
    int ends = 0;
    double lastPerformed = -1.0;
};

// One instance: created from the factory, initialised, given a handler, set up at 44100 Hz and active.
class Vst3Instance {
  public:
    explicit Vst3Instance(const Vst3Module& module);
    ~Vst3Instance();
    Vst3Instance(const Vst3Instance&) = delete;
    Vst3Instance& operator=(const Vst3Instance&) = delete;

    v3_component** component() const { return component_; }
    v3_audio_processor** processor() const { return processor_; }
    v3_edit_controller** controller() const { return controller_; }
    v3_unit_information** unitInfo() const { return unitInfo_; }
    const HandlerLog& log() const { return log_; }

    double value(v3_param_id id) const;
    v3_result set(v3_param_id id, double normalised) const;
    std::string text(v3_param_id id, double normalised) const;
    std::optional<double> parse(v3_param_id id, const char* text) const;
    std::string programName(std::int32_t index) const;

    // The component state, `chunk` bytes at most per stream call; setState answers whether it was taken.
    std::vector<std::uint8_t> state(std::size_t chunk = 1 << 20) const;
    bool setState(const std::vector<std::uint8_t>& bytes, std::size_t chunk = 1 << 20) const;
    bool setControllerState(const std::vector<std::uint8_t>& bytes) const;

    // Runs `input` through process in blocks of `blockSize` frames, each change sent in the block that holds
    // its frame, at its offset there.
    ChannelBuffers render(const ChannelBuffers& input, std::uint32_t blockSize,
                          const std::vector<Vst3Change>& changes = {}) const;
    // One block in place, with the queues exactly as given.
    v3_result processBlock(ChannelBuffers& buffers, const std::vector<Vst3Queue>& queues) const;

  private:
    v3_component** component_ = nullptr;
    v3_audio_processor** processor_ = nullptr;
    v3_edit_controller** controller_ = nullptr;
    v3_unit_information** unitInfo_ = nullptr;
    HandlerLog log_;
    struct Handler;
    Handler* handler_;
};

// A host's own UTF-16 text and back.
std::string narrow(const int16_t* text);
