#include "editor/EditorBase.h"

#include "toolkit/Frame.h"

#include <ole2.h>

namespace {

constexpr std::uint32_t kDragSleepMs = 4;
constexpr std::uint32_t kDragIdleLeadMs = 50;
constexpr std::uint32_t kDragIdlePeriodMs = 100;
constexpr unsigned kIdleTimerMs = 100;

} // namespace

EditorBase::EditorBase(EditInterface& effect) : effect_(effect) {
    nextIdleTime_ = tickCount();
    // S_FALSE (already initialised on this thread) also owes one OleUninitialize; a refusal owes nothing.
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
}

EditorBase::~EditorBase() {
    if (destroyedFlag_) *destroyedFlag_ = true;
    if (oleInitialized_) OleUninitialize();
}

bool EditorBase::open(void*) {
    requestRefresh();
    userInterfaceThread_.store(GetCurrentThreadId(), std::memory_order_relaxed);
    return false;
}

void EditorBase::requestRefresh() { refreshRequested_.store(true, std::memory_order_relaxed); }

void EditorBase::idle() {
    if (inIdle_) return;
    // Cleared before it is served, so a request made while serving stays for the next pass.
    if (refreshRequested_.exchange(false, std::memory_order_relaxed)) refresh();
    refreshMeters();
    if (frame_) frame_->idle();
}

void EditorBase::startIdleTimer() {
    if (frame_) frame_->startTimer(kIdleTimerMs);
}

void EditorBase::pumpIdle() {
    // Unsigned arithmetic throughout, so the tick count may wrap around zero.
    std::uint32_t now = tickCount();
    if (now < nextIdleTime_) {
        sleepMilliseconds(kDragSleepMs);
        now += kDragSleepMs;
        if (now < nextIdleTime_ - kDragIdleLeadMs) return;
    }
    idle();
    nextIdleTime_ = now + kDragIdlePeriodMs;
    // The paint may be a host window's, and the host may close the effect, and this editor with it, in either
    // call: then nothing of this editor is touched again, here or in an outer call still waiting.
    bool destroyed = false;
    bool* const outerFlag = destroyedFlag_;
    destroyedFlag_ = &destroyed;
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
    if (!destroyed) {
        // A host that answers the effect's idle with an idle call of its own must not run idle inside this
        // one.
        inIdle_ = true;
        effect_.dragIdle();
    }
    if (destroyed) {
        if (outerFlag) *outerFlag = true;
        return;
    }
    inIdle_ = false;
    destroyedFlag_ = outerFlag;
}

bool EditorBase::beginParameterEdit(int tag) {
    ParameterId id;
    if (!editedParameter(tag, id)) return false;
    effect_.beginEdit(id);
    return true;
}

bool EditorBase::endParameterEdit(int tag) {
    ParameterId id;
    if (!editedParameter(tag, id)) return false;
    effect_.endEdit(id);
    return true;
}

bool EditorBase::onUserInterfaceThread() const {
    return userInterfaceThread_.load(std::memory_order_relaxed) == GetCurrentThreadId();
}

std::uint32_t EditorBase::tickCount() const { return GetTickCount(); }

void EditorBase::sleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }
