#include "editor/EditorBase.h"

#include "shell/EffectBase.h"
#include "toolkit/Frame.h"

#include <ole2.h>

namespace {

constexpr std::uint32_t kDragSleepMs = 4;
constexpr std::uint32_t kDragIdleLeadMs = 50;
constexpr std::uint32_t kDragIdlePeriodMs = 100;

std::int32_t knobModeSetting = 0;

} // namespace

EditorBase::EditorBase(EffectBase* effect) : PlainEditor(effect) {
    effect->registerEditor(this);
    nextIdleTime_ = tickCount();
    // S_FALSE (already initialised on this thread) also owes one OleUninitialize; a refusal owes nothing.
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
}

EditorBase::~EditorBase() {
    if (destroyedFlag_) *destroyedFlag_ = true;
    if (oleInitialized_) OleUninitialize();
}

bool EditorBase::getRect(ERect** rect) {
    *rect = &rect_;
    return true;
}

bool EditorBase::open(void* parentWindow) {
    requestRefresh();
    for (int slot = 1; slot <= kMeterCount; ++slot)
        requestMeterRefresh(slot);
    userInterfaceThread_.store(GetCurrentThreadId(), std::memory_order_relaxed);
    PlainEditor::open(parentWindow);
    return false;
}

void EditorBase::idle() {
    if (inIdle_) return;
    flushRefreshRequests();
    if (frame_) frame_->idle();
}

std::int32_t EditorBase::keyDown(VstKeyCode& key) { return frame_ ? frame_->keyDown(key) : -1; }

std::int32_t EditorBase::keyUp(VstKeyCode& key) { return frame_ ? frame_->keyUp(key) : -1; }

std::int32_t EditorBase::setEditKnobMode(std::int32_t mode) {
    knobModeSetting = mode;
    return 1;
}

std::int32_t EditorBase::knobMode() { return knobModeSetting; }

bool EditorBase::wheel(float distance) {
    return frame_ ? frame_->wheel(nullptr, Point{}, static_cast<int>(distance)) : false;
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
        // A host that answers audioMasterIdle with effEditIdle must not run idle inside this one.
        inIdle_ = true;
        effect()->masterIdle();
    }
    if (destroyed) {
        if (outerFlag) *outerFlag = true;
        return;
    }
    inIdle_ = false;
    destroyedFlag_ = outerFlag;
}

bool EditorBase::beginParameterEdit(int index) { return effect()->beginEdit(index); }

bool EditorBase::endParameterEdit(int index) { return effect()->endEdit(index); }

bool EditorBase::onUserInterfaceThread() const {
    return userInterfaceThread_.load(std::memory_order_relaxed) == GetCurrentThreadId();
}

std::uint32_t EditorBase::tickCount() const { return GetTickCount(); }

void EditorBase::sleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }
