// The editor's face of a CLAP instance: values and meters straight from the core, and the user's edits
// applied to the core at once and queued for the host as gesture and value events. The host collects them as
// output events of its next process or params.flush call. An edit itself never calls the host, which could
// come back in and close the editor under the control making it; the plug-in asks for a flush from a host
// timer and from the idle of a drag, where the editor expects that.
//
// Threads: the editor's calls on the main (user-interface) thread, the only producer; sendTo on the thread
// the host calls process or flush on (never both at once), the only consumer. A full queue drops the edit's
// event, never the edit: the core has the value either way.
#pragma once

#include "core/EditInterface.h"
#include "core/LimiterCore.h"
#include "editor/PluginEditor.h"

#include <clap/events.h>
#include <clap/ext/params.h>
#include <clap/host.h>

#include <atomic>
#include <cstdint>

class ClapEdits final : public EditInterface {
  public:
    ClapEdits(LimiterCore& core, const clap_host_t* host) : core_(core), host_(host) {}
    // The host's params extension, once the plug-in's init has asked for it; null when the host has none.
    void setHostParams(const clap_host_params_t* hostParams) { hostParams_ = hostParams; }
    // The editor the edits come from, told of each value it set as of any other change; null without one.
    void setEditor(PluginEditor* editor) { editor_ = editor; }

    float value(ParameterId id) override { return core_.value(id); }
    void beginEdit(ParameterId id) override;
    void performEdit(ParameterId id, float value) override;
    void endEdit(ParameterId id) override;
    double meterValue(int slot) override { return core_.meterValue(slot); }
    void dragIdle() override { requestFlushIfPending(); }

    // Main thread: asks the host for a params.flush (or a process call) while edits wait to be sent.
    void requestFlushIfPending();

    // Moves the queued edits into the host's output events, in the order they were made.
    void sendTo(const clap_output_events_t* out) QV3_NONBLOCKING;

  private:
    struct Edit {
        std::uint16_t type; // CLAP_EVENT_PARAM_GESTURE_BEGIN, _END or CLAP_EVENT_PARAM_VALUE
        clap_id id;
        double value;
    };
    static constexpr std::uint32_t kCapacity = 512;

    void queue(const Edit& edit);

    LimiterCore& core_;
    const clap_host_t* host_;
    const clap_host_params_t* hostParams_ = nullptr;
    PluginEditor* editor_ = nullptr;
    Edit edits_[kCapacity] = {};
    std::atomic<std::uint32_t> written_{0};
    std::atomic<std::uint32_t> read_{0};
};
