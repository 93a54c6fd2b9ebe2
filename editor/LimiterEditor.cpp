#include "editor/LimiterEditor.h"

#include "editor/LevelMeter.h"
#include "editor/ReductionMeter.h"
#include "shell/EffectBase.h"
#include "shell/ParameterText.h"
#include "toolkit/Bitmap.h"
#include "toolkit/Frame.h"
#include "toolkit/SegmentSwitch.h"
#include "toolkit/ToggleButton.h"
#include "toolkit/VerticalFader.h"

#include <new>

namespace {

enum SkinBitmap {
    kBackgroundBitmap = 10001,
    kDisplayBitmap = 10003,
    kFaderTrackBitmap = 10004,
    kFaderHandleBitmap = 10005,
    kMonitorBitmap = 10006,
    kReleaseModeBitmap = 10007,
    kClipBitmap = 10008,
    kHelp1Bitmap = 10010,
    kHelp2Bitmap = 10011,
    kCreditBitmap = 10012,
};

enum Parameter {
    kMakeup = 0,
    kCeiling = 1,
    kReleaseSwitch = 2,
    kRelease = 3,
    kClipSwitch = 4,
    kMonitor = 5,
};
constexpr int kParameterCount = 6;

// The decorative toggles carry an index the effect knows nothing of: it answers 0 for it, and the editor
// never forwards their clicks.
constexpr int kDecorativeTag = kStereoBuild ? 12 : 10;
constexpr int kFirstMeterIndex = 6;

constexpr Color kInputBody{255, 0, 102, 0};
constexpr Color kInputEdge{217, 0, 87, 0};
constexpr Color kOutputBody{255, 55, 96, 0};
constexpr Color kOutputEdge{230, 0, 47, 0};
constexpr Rect kReductionMeterBounds{118, 72, 245, 85};

constexpr Rect kReleaseField{138, 261, 176, 276};
constexpr Rect kMakeupField{138, 162, 176, 177};
constexpr Rect kCeilingField{138, 191, 176, 206};
constexpr int kFaderStyle = 64;

constexpr Color kTextColor{0, 0, 0, 0};
constexpr int kDisplayFontId = 3;
constexpr int kDisplayFontFace = 0;

// A band-switching picture placed at its top-left corner: its width by one band's height.
Rect bandRect(int left, int top, const Bitmap* picture, int bandHeight) {
    return {left, top, left + picture->width(), top + bandHeight};
}

Bitmap* loadBitmap(int id) { return new (std::nothrow) Bitmap(id); }

void releaseBitmap(Bitmap* bitmap) {
    if (bitmap) bitmap->release();
}

} // namespace

LimiterEditor::LimiterEditor(EffectBase* effect)
    : EditorBase(effect), background_(loadBitmap(kBackgroundBitmap)) {
    if (background_) {
        rect_.bottom = static_cast<std::int16_t>(background_->height());
        rect_.right = static_cast<std::int16_t>(background_->width());
    }
}

LimiterEditor::~LimiterEditor() {
    close();
    releaseBitmap(background_);
}

template <class ViewType> ViewType* LimiterEditor::attach(ViewType* view) {
    if (!view) return nullptr;
    if (!frame_->addChild(view)) {
        view->release();
        return nullptr;
    }
    return view;
}

bool LimiterEditor::open(void* parentWindow) {
    // A second open without a close would leak the old window and its views and leave them painting.
    if (frame_) close();
    EditorBase::open(parentWindow);

    const Rect frameBounds{0, 0, rect_.right, rect_.bottom};
    frame_ = new (std::nothrow) Frame(frameBounds, static_cast<HWND>(parentWindow), this);
    if (!frame_) return true;
    frame_->setBackground(background_);

    addMeters();
    addSwitchesAndToggles();

    Bitmap* displayBitmap = loadBitmap(kDisplayBitmap);
    releaseDisplay_ = addValueDisplay(kReleaseField, kRelease, releaseFormatter(), displayBitmap);
    shownReleaseFormatter_ = releaseFormatter();
    makeupDisplay_ = addValueDisplay(kMakeupField, kMakeup, formatMakeup, displayBitmap);
    ceilingDisplay_ = addValueDisplay(kCeilingField, kCeiling, formatCeiling, displayBitmap);
    releaseBitmap(displayBitmap);

    Bitmap* handle = loadBitmap(kFaderHandleBitmap);
    Bitmap* track = loadBitmap(kFaderTrackBitmap);
    if (handle && track) {
        releaseFader_ = addFader(kReleaseField, kRelease, handle, track);
        makeupFader_ = addFader(kMakeupField, kMakeup, handle, track);
        ceilingFader_ = addFader(kCeilingField, kCeiling, handle, track);
    }
    releaseBitmap(handle);
    releaseBitmap(track);

    opened_.store(true, std::memory_order_relaxed);
    return true;
}

void LimiterEditor::addMeters() {
    EffectBase* limiter = effect();
    if constexpr (kStereoBuild) {
        meters_[0] = attach(new (std::nothrow) LevelMeter({38, 162, 45, 282}, limiter, kFirstMeterIndex,
                                                          kInputBody, kInputEdge));
        meters_[1] = attach(new (std::nothrow) LevelMeter({64, 162, 71, 282}, limiter, kFirstMeterIndex + 1,
                                                          kInputBody, kInputEdge));
        meters_[2] =
            attach(new (std::nothrow) ReductionMeter(kReductionMeterBounds, limiter, kFirstMeterIndex + 2));
        meters_[3] = attach(new (std::nothrow) LevelMeter({204, 162, 211, 282}, limiter, kFirstMeterIndex + 3,
                                                          kOutputBody, kOutputEdge));
        meters_[4] = attach(new (std::nothrow) LevelMeter({230, 162, 237, 282}, limiter, kFirstMeterIndex + 4,
                                                          kOutputBody, kOutputEdge));
    } else {
        meters_[0] = attach(new (std::nothrow) LevelMeter({47, 162, 62, 282}, limiter, kFirstMeterIndex,
                                                          kInputBody, kInputEdge));
        meters_[1] =
            attach(new (std::nothrow) ReductionMeter(kReductionMeterBounds, limiter, kFirstMeterIndex + 1));
        meters_[2] = attach(new (std::nothrow) LevelMeter({213, 162, 228, 282}, limiter, kFirstMeterIndex + 2,
                                                          kOutputBody, kOutputEdge));
    }
}

void LimiterEditor::addSwitchesAndToggles() {
    EffectBase* limiter = effect();
    const Point noOffset{};
    const auto addToggle = [&](int left, int top, int bitmapId, int tag, int bandHeight) -> ToggleButton* {
        Bitmap* picture = loadBitmap(bitmapId);
        if (!picture) return nullptr;
        auto* toggle = new (std::nothrow)
            ToggleButton(bandRect(left, top, picture, bandHeight), this, tag, bandHeight, picture, noOffset);
        releaseBitmap(picture);
        if (toggle) toggle->setValue(limiter->getParameter(tag));
        return attach(toggle);
    };
    const auto addSwitch = [&](int left, int top, int bitmapId, int tag, int positions,
                               int bandHeight) -> SegmentSwitch* {
        Bitmap* picture = loadBitmap(bitmapId);
        if (!picture) return nullptr;
        auto* segments =
            new (std::nothrow) SegmentSwitch(bandRect(left, top, picture, bandHeight), this, tag, positions,
                                             bandHeight, positions, picture, noOffset);
        releaseBitmap(picture);
        if (segments) segments->setValue(limiter->getParameter(tag));
        return attach(segments);
    };

    releaseModeToggle_ = addToggle(141, 240, kReleaseModeBitmap, kReleaseSwitch, 11);
    addToggle(86, 161, kHelp1Bitmap, kDecorativeTag, 50);
    addToggle(86, 239, kHelp2Bitmap, kDecorativeTag, 60);
    monitorSwitch_ = addSwitch(89, 31, kMonitorBitmap, kMonitor, 2, 25);
    clipSwitch_ = addSwitch(65, 110, kClipBitmap, kClipSwitch, 5, 11);
    addToggle(154, 326, kCreditBitmap, kDecorativeTag, 27);
}

ValueDisplay* LimiterEditor::addValueDisplay(const Rect& bounds, int parameter, ValueFormatter formatter,
                                             Bitmap* displayBitmap) {
    auto* display = new (std::nothrow) ValueDisplay(bounds, nullptr, 0);
    if (!display) return nullptr;
    display->setAlignment(kAlignCenter);
    display->setFontId(kDisplayFontId);
    display->setFontFace(kDisplayFontFace);
    display->setTextColor(kTextColor);
    display->setBackground(displayBitmap);
    display->setValue(effect()->getParameter(parameter));
    display->setFormatter(formatter);
    return attach(display);
}

VerticalFader* LimiterEditor::addFader(const Rect& displayBounds, int parameter, Bitmap* handle,
                                       Bitmap* track) {
    // The handle is shorter than the track: the difference is the fader's travel in pixels.
    const Rect bounds{displayBounds.left, displayBounds.top, displayBounds.left + track->width(),
                      displayBounds.top + track->height()};
    const int maximumPosition = displayBounds.top + track->height() - handle->height();
    auto* fader = new (std::nothrow) VerticalFader(bounds, this, parameter, displayBounds.top,
                                                   maximumPosition, handle, track, {}, kFaderStyle);
    if (!fader) return nullptr;
    fader->setHandleOffset({0, 0});
    fader->setValue(effect()->getParameter(parameter));
    return attach(fader);
}

void LimiterEditor::close() {
    opened_.store(false, std::memory_order_relaxed);
    if (frame_) frame_->close();
    frame_ = nullptr;
    forgetViews();
}

void LimiterEditor::forgetViews() {
    for (View*& meter : meters_)
        meter = nullptr;
    monitorSwitch_ = nullptr;
    releaseFader_ = nullptr;
    releaseDisplay_ = nullptr;
    makeupFader_ = nullptr;
    makeupDisplay_ = nullptr;
    ceilingFader_ = nullptr;
    ceilingDisplay_ = nullptr;
    releaseModeToggle_ = nullptr;
    clipSwitch_ = nullptr;
    shownReleaseFormatter_ = nullptr;
}

ValueFormatter LimiterEditor::releaseFormatter() {
    return effect()->getParameter(kReleaseSwitch) < 0.5f ? formatReleaseAuto : formatReleaseTime;
}

void LimiterEditor::parameterChanged(std::int32_t index, float) {
    if (!opened_.load(std::memory_order_relaxed)) return;
    // Another thread (host automation from the audio thread) must neither paint nor touch views that close
    // may be destroying: the refresh request brings the views up to date in the next idle pass.
    if (onUserInterfaceThread()) showParameter(index, true);
    requestRefresh();
}

void LimiterEditor::refresh() {
    if (!opened_.load(std::memory_order_relaxed)) return;
    for (int index = 0; index < kParameterCount; ++index)
        showParameter(index, false);
}

void LimiterEditor::showParameter(int index, bool paintNow) {
    // Views always show what the effect holds, whatever value the change carried.
    const auto show = [paintNow](Control* control, float value) {
        if (!control) return;
        control->setValue(value);
        if (paintNow) control->redraw();
    };
    const auto showText = [paintNow](ValueDisplay* display, float value, ValueFormatter formatter) {
        if (!display) return;
        display->setValue(value);
        display->setFormatter(formatter);
        if (paintNow) display->redraw();
    };
    EffectBase* limiter = effect();
    switch (index) {
    case kMakeup:
        showText(makeupDisplay_, limiter->getParameter(kMakeup), formatMakeup);
        show(makeupFader_, limiter->getParameter(kMakeup));
        break;
    case kCeiling:
        showText(ceilingDisplay_, limiter->getParameter(kCeiling), formatCeiling);
        show(ceilingFader_, limiter->getParameter(kCeiling));
        break;
    case kReleaseSwitch:
        show(releaseModeToggle_, limiter->getParameter(kReleaseSwitch));
        showParameter(kRelease, paintNow);
        break;
    case kRelease: {
        const ValueFormatter formatter = releaseFormatter();
        showText(releaseDisplay_, limiter->getParameter(kRelease), formatter);
        // The same value in the other unit is a different text: the idle pass must repaint it too.
        if (releaseDisplay_ && formatter != shownReleaseFormatter_ && !paintNow)
            releaseDisplay_->setDirty(true);
        shownReleaseFormatter_ = formatter;
        show(releaseFader_, limiter->getParameter(kRelease));
        break;
    }
    case kClipSwitch:
        show(clipSwitch_, limiter->getParameter(kClipSwitch));
        break;
    case kMonitor:
        show(monitorSwitch_, limiter->getParameter(kMonitor));
        break;
    default:
        break;
    }
}

void LimiterEditor::refreshMeter(int slot) {
    if (slot < 1 || slot > kMeterCount) return;
    if (View* meter = meters_[slot - 1]) meter->redraw();
}

void LimiterEditor::onControlChanged(DrawContext* context, Control* control) {
    const int tag = control->tag();
    if (tag < 0 || tag >= kParameterCount) return;
    effect()->automateParameter(tag, control->value());
    control->updateIfDirty(context);
}
