// The effect's editor, the same for every format: builds the skin's views when the format opens the window,
// keeps every control in step with the effect's parameters, hands the user's edits to the effect through its
// EditInterface, and repaints a meter when its published reading changed.
//
// Threads: open, close, idle (the frame's timer, a format's idle call, drags) and all painting run on the
// user-interface thread (the one that opened the window). parameterChanged may come from any thread; from
// another thread it only asks for a refresh and the next idle pass brings the controls up to date.
#pragma once

#include "core/BuildConfig.h"
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
    // Loads the background picture, whose size is the editor's.
    explicit LimiterEditor(EditInterface& effect);
    // Closes a window the format left open, so no window outlives its editor.
    ~LimiterEditor() override;

    // Builds the frame and all views and starts the idle timer; a window that is still open is closed first.
    // Answers true.
    bool open(void* parentWindow) override;
    // Closes the frame, which goes with its views at once or, when the host closes from inside a drag, once
    // the drag has stopped; forgets every view.
    void close() override;
    // On the user-interface thread the bound views repaint at once; from any other thread the change is left
    // to the next idle pass.
    void parameterChanged(ParameterId id) override;

    // A control the user changed: the parameter controls go to the effect as edits; the decorative toggles
    // only swap their pictures.
    void onControlChanged(DrawContext* context, Control* control) override;

  protected:
    // Brings every control up to date with the effect without painting; the frame's idle pass that follows
    // repaints the controls whose value or text changed.
    void refresh() override;
    void refreshMeters() override;
    bool editedParameter(int tag, ParameterId& id) override;

  private:
    template <class ViewType> ViewType* attach(ViewType* view);
    void addMeters();
    void addSwitchesAndToggles();
    ValueDisplay* addValueDisplay(const Rect& bounds, float value, ValueFormatter formatter,
                                  Bitmap* displayBitmap);
    VerticalFader* addFader(const Rect& displayBounds, int tag, float value, Bitmap* handle, Bitmap* track);
    void showParameter(ParameterId id, bool paintNow);
    // The release field shows and edits the release of the mode the switch selects (manual above 0.5); its
    // text is the millisecond one from 0.5 up.
    ParameterId releaseId();
    ValueFormatter releaseFormatter();
    void forgetViews();

    View* meters_[kMeterCount] = {};
    // The readings the meters last painted, compared bit for bit; none yet after an open.
    double shownMeterValues_[kMeterCount] = {};
    bool metersShown_ = false;
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
