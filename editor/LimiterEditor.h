// The plug-in's editor: builds the skin's views when the host opens the window, keeps every control in step
// with the effect's parameters, hands the user's edits to the effect (which reports them to the host), and
// repaints a meter when the effect has published a new value for it.
//
// Threads: the host's editor calls, idle and all painting run on the user-interface thread (the one that
// opened the window). parameterChanged may come from any thread; from another thread it only asks for a
// refresh and the next idle pass brings the controls up to date.
#pragma once

#include "editor/EditorBase.h"
#include "toolkit/ControlListener.h"
#include "toolkit/ValueDisplay.h"

#include <atomic>

class Bitmap;
class Control;
class SegmentSwitch;
class ToggleButton;
class VerticalFader;
class View;

class LimiterEditor : public EditorBase, public ControlListener {
  public:
    // Loads the background picture, whose size is the editor rectangle.
    explicit LimiterEditor(EffectBase* effect);
    // Closes a window the host left open, so no window outlives its editor.
    ~LimiterEditor() override;

    // Builds the frame and all views; a window that is still open is closed first. Answers true.
    bool open(void* parentWindow) override;
    // Closes the frame, which goes with its views at once or, when the host closes from inside a drag, once
    // the drag has stopped; forgets every view.
    void close() override;
    // Brings every control up to date with the effect without painting; the frame's idle pass that follows
    // repaints the controls whose value or text changed.
    void refresh() override;
    // Repaints meter view slot (1 to kMeterCount) when it exists.
    void refreshMeter(int slot) override;
    // On the user-interface thread the bound views repaint at once; from any other thread the change is left
    // to the next idle pass.
    void parameterChanged(std::int32_t index, float value) override;

    // A control the user changed: the parameters 0 to 5 go to the effect as automation; the decorative
    // toggles only swap their pictures.
    void onControlChanged(DrawContext* context, Control* control) override;

  private:
    template <class ViewType> ViewType* attach(ViewType* view);
    void addMeters();
    void addSwitchesAndToggles();
    ValueDisplay* addValueDisplay(const Rect& bounds, int parameter, ValueFormatter formatter,
                                  Bitmap* displayBitmap);
    VerticalFader* addFader(const Rect& displayBounds, int parameter, Bitmap* handle, Bitmap* track);
    void showParameter(int index, bool paintNow);
    ValueFormatter releaseFormatter();
    void forgetViews();

    View* meters_[kMeterCount] = {};
    SegmentSwitch* monitorSwitch_ = nullptr;
    VerticalFader* releaseFader_ = nullptr;
    ValueDisplay* releaseDisplay_ = nullptr;
    VerticalFader* makeupFader_ = nullptr;
    ValueDisplay* makeupDisplay_ = nullptr;
    VerticalFader* ceilingFader_ = nullptr;
    ValueDisplay* ceilingDisplay_ = nullptr;
    ToggleButton* releaseModeToggle_ = nullptr;
    SegmentSwitch* clipSwitch_ = nullptr;
    Bitmap* background_;
    // The release text shown, so that a mode change alone repaints the release display.
    ValueFormatter shownReleaseFormatter_ = nullptr;
    std::atomic<bool> opened_{false};
};
