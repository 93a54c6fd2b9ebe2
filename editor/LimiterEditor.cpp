#include "editor/LimiterEditor.h"

#include "core/ParameterText.h"
#include "editor/LevelMeter.h"
#include "editor/ReductionMeter.h"
#include "toolkit/Bitmap.h"
#include "toolkit/Frame.h"
#include "toolkit/SegmentSwitch.h"
#include "toolkit/ToggleButton.h"
#include "toolkit/VerticalFader.h"

#include <cstring>
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

// A control's tag is the id of the parameter it edits; the release field edits the release of the mode the
// switch selects. The decorative toggles edit nothing.
constexpr int tagOf(ParameterId id) { return static_cast<int>(id); }
constexpr int kReleaseTag = kParameterIdCount;
constexpr int kDecorativeTag = -1;

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

LimiterEditor::LimiterEditor(EditInterface& effect)
    : EditorBase(effect), background_(loadBitmap(kBackgroundBitmap)) {
    if (background_) {
        width_ = background_->width();
        height_ = background_->height();
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

    const Rect frameBounds{0, 0, width_, height_};
    frame_ = new (std::nothrow) Frame(frameBounds, static_cast<HWND>(parentWindow), this);
    if (!frame_) return true;
    frame_->setBackground(background_);

    addMeters();
    addSwitchesAndToggles();

    Bitmap* displayBitmap = loadBitmap(kDisplayBitmap);
    const float release = effect_.value(releaseId());
    const float makeup = effect_.value(ParameterId::kMakeup);
    const float ceiling = effect_.value(ParameterId::kCeiling);
    releaseDisplay_ = addValueDisplay(kReleaseField, release, releaseFormatter(), displayBitmap);
    shownReleaseFormatter_ = releaseFormatter();
    makeupDisplay_ = addValueDisplay(kMakeupField, makeup, formatMakeup, displayBitmap);
    ceilingDisplay_ = addValueDisplay(kCeilingField, ceiling, formatCeiling, displayBitmap);
    releaseBitmap(displayBitmap);

    Bitmap* handle = loadBitmap(kFaderHandleBitmap);
    Bitmap* track = loadBitmap(kFaderTrackBitmap);
    if (handle && track) {
        releaseFader_ = addFader(kReleaseField, kReleaseTag, release, handle, track);
        makeupFader_ = addFader(kMakeupField, tagOf(ParameterId::kMakeup), makeup, handle, track);
        ceilingFader_ = addFader(kCeilingField, tagOf(ParameterId::kCeiling), ceiling, handle, track);
    }
    releaseBitmap(handle);
    releaseBitmap(track);

    // Every meter paints its reading in the first idle pass.
    metersShown_ = false;
    startIdleTimer();
    opened_.store(true, std::memory_order_relaxed);
    return true;
}

void LimiterEditor::addMeters() {
    EditInterface& limiter = effect_;
    if constexpr (kStereoBuild) {
        meters_[0] =
            attach(new (std::nothrow) LevelMeter({38, 162, 45, 282}, limiter, 0, kInputBody, kInputEdge));
        meters_[1] =
            attach(new (std::nothrow) LevelMeter({64, 162, 71, 282}, limiter, 1, kInputBody, kInputEdge));
        meters_[2] = attach(new (std::nothrow) ReductionMeter(kReductionMeterBounds, limiter, 2));
        meters_[3] =
            attach(new (std::nothrow) LevelMeter({204, 162, 211, 282}, limiter, 3, kOutputBody, kOutputEdge));
        meters_[4] =
            attach(new (std::nothrow) LevelMeter({230, 162, 237, 282}, limiter, 4, kOutputBody, kOutputEdge));
    } else {
        meters_[0] =
            attach(new (std::nothrow) LevelMeter({47, 162, 62, 282}, limiter, 0, kInputBody, kInputEdge));
        meters_[1] = attach(new (std::nothrow) ReductionMeter(kReductionMeterBounds, limiter, 1));
        meters_[2] =
            attach(new (std::nothrow) LevelMeter({213, 162, 228, 282}, limiter, 2, kOutputBody, kOutputEdge));
    }
}

void LimiterEditor::addSwitchesAndToggles() {
    const Point noOffset{};
    const auto valueOf = [this](int tag) {
        return tag < 0 ? 0.0f : effect_.value(static_cast<ParameterId>(tag));
    };
    const auto addToggle = [&](int left, int top, int bitmapId, int tag, int bandHeight) -> ToggleButton* {
        Bitmap* picture = loadBitmap(bitmapId);
        if (!picture) return nullptr;
        auto* toggle = new (std::nothrow)
            ToggleButton(bandRect(left, top, picture, bandHeight), this, tag, bandHeight, picture, noOffset);
        releaseBitmap(picture);
        if (toggle) toggle->setValue(valueOf(tag));
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
        if (segments) segments->setValue(valueOf(tag));
        return attach(segments);
    };

    releaseModeToggle_ = addToggle(141, 240, kReleaseModeBitmap, tagOf(ParameterId::kReleaseSwitch), 11);
    addToggle(86, 161, kHelp1Bitmap, kDecorativeTag, 50);
    addToggle(86, 239, kHelp2Bitmap, kDecorativeTag, 60);
    monitorSwitch_ = addSwitch(89, 31, kMonitorBitmap, tagOf(ParameterId::kMonitor), 2, 25);
    clipSwitch_ = addSwitch(65, 110, kClipBitmap, tagOf(ParameterId::kClipSwitch), 5, 11);
    addToggle(154, 326, kCreditBitmap, kDecorativeTag, 27);
}

ValueDisplay* LimiterEditor::addValueDisplay(const Rect& bounds, float value, ValueFormatter formatter,
                                             Bitmap* displayBitmap) {
    auto* display = new (std::nothrow) ValueDisplay(bounds, nullptr, 0);
    if (!display) return nullptr;
    display->setAlignment(kAlignCenter);
    display->setFontId(kDisplayFontId);
    display->setFontFace(kDisplayFontFace);
    display->setTextColor(kTextColor);
    display->setBackground(displayBitmap);
    display->setValue(value);
    display->setFormatter(formatter);
    return attach(display);
}

VerticalFader* LimiterEditor::addFader(const Rect& displayBounds, int tag, float value, Bitmap* handle,
                                       Bitmap* track) {
    // The handle is shorter than the track: the difference is the fader's travel in pixels.
    const Rect bounds{displayBounds.left, displayBounds.top, displayBounds.left + track->width(),
                      displayBounds.top + track->height()};
    const int maximumPosition = displayBounds.top + track->height() - handle->height();
    auto* fader = new (std::nothrow)
        VerticalFader(bounds, this, tag, displayBounds.top, maximumPosition, handle, track, {}, kFaderStyle);
    if (!fader) return nullptr;
    fader->setHandleOffset({0, 0});
    fader->setValue(value);
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

ParameterId LimiterEditor::releaseId() {
    return effect_.value(ParameterId::kReleaseSwitch) > 0.5f ? ParameterId::kManualRelease
                                                             : ParameterId::kAutoRelease;
}

ValueFormatter LimiterEditor::releaseFormatter() {
    return effect_.value(ParameterId::kReleaseSwitch) < 0.5f ? formatReleaseAuto : formatReleaseTime;
}

void LimiterEditor::parameterChanged(ParameterId id) {
    if (!opened_.load(std::memory_order_relaxed)) return;
    // Another thread (host automation from the audio thread) must neither paint nor touch views that close
    // may be destroying: the refresh request brings the views up to date in the next idle pass.
    if (onUserInterfaceThread()) showParameter(id, true);
    requestRefresh();
}

void LimiterEditor::refresh() {
    if (!opened_.load(std::memory_order_relaxed)) return;
    for (int index = 0; index < kParameterIdCount; ++index)
        showParameter(static_cast<ParameterId>(index), false);
}

void LimiterEditor::showParameter(ParameterId id, bool paintNow) {
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
    switch (id) {
    case ParameterId::kMakeup:
        showText(makeupDisplay_, effect_.value(id), formatMakeup);
        show(makeupFader_, effect_.value(id));
        break;
    case ParameterId::kCeiling:
        showText(ceilingDisplay_, effect_.value(id), formatCeiling);
        show(ceilingFader_, effect_.value(id));
        break;
    case ParameterId::kReleaseSwitch:
        show(releaseModeToggle_, effect_.value(id));
        showParameter(releaseId(), paintNow);
        break;
    case ParameterId::kAutoRelease:
    case ParameterId::kManualRelease: {
        const ValueFormatter formatter = releaseFormatter();
        showText(releaseDisplay_, effect_.value(releaseId()), formatter);
        // The same value in the other unit is a different text: the idle pass must repaint it too.
        if (releaseDisplay_ && formatter != shownReleaseFormatter_ && !paintNow)
            releaseDisplay_->setDirty(true);
        shownReleaseFormatter_ = formatter;
        show(releaseFader_, effect_.value(releaseId()));
        break;
    }
    case ParameterId::kClipSwitch:
        show(clipSwitch_, effect_.value(id));
        break;
    case ParameterId::kMonitor:
        show(monitorSwitch_, effect_.value(id));
        break;
    default:
        break;
    }
}

void LimiterEditor::refreshMeters() {
    if (!opened_.load(std::memory_order_relaxed)) return;
    for (int slot = 0; slot < kMeterCount; ++slot) {
        View* meter = meters_[slot];
        const double reading = effect_.meterValue(slot);
        if (!meter || (metersShown_ && std::memcmp(&reading, &shownMeterValues_[slot], sizeof reading) == 0))
            continue;
        shownMeterValues_[slot] = reading;
        meter->redraw();
    }
    metersShown_ = true;
}

bool LimiterEditor::editedParameter(int tag, ParameterId& id) {
    if (tag == kReleaseTag) {
        id = releaseId();
        return true;
    }
    if (tag < 0 || !isParameterId(static_cast<std::uint32_t>(tag))) return false;
    id = static_cast<ParameterId>(tag);
    return true;
}

void LimiterEditor::onControlChanged(DrawContext* context, Control* control) {
    ParameterId id;
    if (!editedParameter(control->tag(), id)) return;
    effect_.performEdit(id, control->value());
    control->updateIfDirty(context);
}
