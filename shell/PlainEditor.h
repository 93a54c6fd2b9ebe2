// The host-facing editor interface the effect knows: rectangle, open, close, idle, keys, and the
// refresh-request flags through which the effect asks for repaints from any thread. Portable: the window
// system lives in the derived editor.
#pragma once

#include "shell/BuildConfig.h"
#include "shell/VstInterface.h"

#include <atomic>
#include <cstdint>

class EffectBase;

class PlainEditor {
  public:
    explicit PlainEditor(EffectBase* effect);
    virtual ~PlainEditor() = default;
    PlainEditor(const PlainEditor&) = delete;
    PlainEditor& operator=(const PlainEditor&) = delete;

    // User-interface thread.
    virtual bool getRect(ERect** rect);
    virtual bool open(void* parentWindow);
    virtual void close() {}
    virtual void idle();
    virtual void refresh() {}

    // Any thread: only raise a flag that the next idle pass serves.
    virtual void requestRefresh();
    virtual void refreshMeter(int slot);
    virtual void requestMeterRefresh(int slot);

    // -1 when no view used the key, as the toolkit answers; the dispatcher turns that into the host's 0.
    virtual std::int32_t keyDown(VstKeyCode& key);
    virtual std::int32_t keyUp(VstKeyCode& key);
    virtual std::int32_t setEditKnobMode(std::int32_t mode);
    virtual bool wheel(float distance);

    // Called by the effect after it stored a parameter value; may arrive on the audio thread.
    virtual void parameterChanged(std::int32_t index, float value);

    EffectBase* effect() const { return effect_; }
    void* systemWindow() const { return systemWindow_; }

  protected:
    // Clears each raised flag before serving it, so a request made while serving stays for the next pass.
    void flushRefreshRequests();

  private:
    EffectBase* effect_;
    void* systemWindow_ = nullptr;
    std::atomic<std::int32_t> refreshRequested_{0};
    std::atomic<std::int32_t> meterRefreshRequested_[kMeterCount] = {};
};
