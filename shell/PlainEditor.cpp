#include "shell/PlainEditor.h"

PlainEditor::PlainEditor(EffectBase* effect) : effect_(effect) {}

bool PlainEditor::getRect(ERect** rect) {
    *rect = nullptr;
    return false;
}

bool PlainEditor::open(void* parentWindow) {
    systemWindow_ = parentWindow;
    return false;
}

void PlainEditor::idle() { flushRefreshRequests(); }

void PlainEditor::requestRefresh() { refreshRequested_.store(1, std::memory_order_relaxed); }

void PlainEditor::refreshMeter(int) {}

void PlainEditor::requestMeterRefresh(int slot) {
    if (slot >= 1 && slot <= kMeterCount)
        meterRefreshRequested_[slot - 1].store(1, std::memory_order_relaxed);
}

std::int32_t PlainEditor::keyDown(VstKeyCode&) { return -1; }

std::int32_t PlainEditor::keyUp(VstKeyCode&) { return -1; }

std::int32_t PlainEditor::setEditKnobMode(std::int32_t) { return 0; }

bool PlainEditor::wheel(float) { return false; }

void PlainEditor::parameterChanged(std::int32_t, float) { requestRefresh(); }

void PlainEditor::flushRefreshRequests() {
    if (refreshRequested_.exchange(0, std::memory_order_relaxed)) refresh();
    for (int slot = 1; slot <= kMeterCount; ++slot) {
        if (meterRefreshRequested_[slot - 1].exchange(0, std::memory_order_relaxed)) refreshMeter(slot);
    }
}
