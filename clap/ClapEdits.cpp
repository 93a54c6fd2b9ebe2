#include "clap/ClapEdits.h"

#include "clap/ClapPlugin.h"

void ClapEdits::beginEdit(ParameterId id) {
    queue({CLAP_EVENT_PARAM_GESTURE_BEGIN, static_cast<clap_id>(id), 0.0});
}

void ClapEdits::performEdit(ParameterId id, float value) {
    core_.setValue(id, value);
    if (editor_) editor_->parameterChanged(id);
    queue({CLAP_EVENT_PARAM_VALUE, static_cast<clap_id>(id), clapFromNormalised(id, core_.value(id))});
}

void ClapEdits::endEdit(ParameterId id) {
    queue({CLAP_EVENT_PARAM_GESTURE_END, static_cast<clap_id>(id), 0.0});
}

void ClapEdits::queue(const Edit& edit) {
    const std::uint32_t written = written_.load(std::memory_order_relaxed);
    if (written - read_.load(std::memory_order_acquire) < kCapacity) {
        edits_[written % kCapacity] = edit;
        written_.store(written + 1, std::memory_order_release);
    }
}

void ClapEdits::requestFlushIfPending() {
    const bool pending = written_.load(std::memory_order_relaxed) != read_.load(std::memory_order_acquire);
    if (pending && hostParams_ && hostParams_->request_flush) hostParams_->request_flush(host_);
}

void ClapEdits::sendTo(const clap_output_events_t* out) QV3_NONBLOCKING {
    std::uint32_t read = read_.load(std::memory_order_relaxed);
    const std::uint32_t written = written_.load(std::memory_order_acquire);
    // The host's output list takes events on the audio thread by the format's rules, so it is real-time safe.
    QV3_UNCHECKED_CALLS_BEGIN
    for (; read != written; ++read) {
        const Edit& edit = edits_[read % kCapacity];
        if (!out || !out->try_push) continue;
        if (edit.type == CLAP_EVENT_PARAM_VALUE) {
            clap_event_param_value_t event{};
            event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, edit.type, CLAP_EVENT_IS_LIVE};
            event.param_id = edit.id;
            event.note_id = -1;
            event.port_index = -1;
            event.channel = -1;
            event.key = -1;
            event.value = edit.value;
            out->try_push(out, &event.header);
        } else {
            clap_event_param_gesture_t event{};
            event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, edit.type, CLAP_EVENT_IS_LIVE};
            event.param_id = edit.id;
            out->try_push(out, &event.header);
        }
    }
    QV3_UNCHECKED_CALLS_END
    read_.store(read, std::memory_order_release);
}
