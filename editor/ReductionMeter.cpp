#include "editor/ReductionMeter.h"

#include "core/EditInterface.h"
#include "toolkit/Bitmap.h"
#include "toolkit/OffscreenContext.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr int kScaleBitmapId = 10002;
constexpr int kZeroDbColumn = 124;
constexpr int kLastColumn = 125;
constexpr int kPixelsPerDb = 5;
constexpr int kMarkerBottom = 12;
constexpr Color kOutlineColor{255, 0, 102, 0};
constexpr Color kInnerColor{196, 0, 79, 0};

} // namespace

ReductionMeter::ReductionMeter(const Rect& bounds, EditInterface& effect, int meterSlot)
    : View(bounds), effect_(effect), meterBitmap_(new (std::nothrow) Bitmap(kScaleBitmapId)),
      meterSlot_(meterSlot) {}

ReductionMeter::~ReductionMeter() {
    if (meterBitmap_) meterBitmap_->release();
}

int ReductionMeter::markerColumn(double gain) {
    double gainDb;
    // A value that is not finite shows as the lowest gain; log10 of it would be no column at all.
    if (!std::isfinite(gain) || gain <= 0.0316) {
        gainDb = -30.0;
    } else if (gain > 0.99) {
        gainDb = 0.0;
    } else {
        gainDb = 20.0 * std::log10(static_cast<double>(static_cast<float>(gain)));
    }
    const int reductionPixels = static_cast<int>(-kPixelsPerDb * gainDb);
    return std::clamp(kZeroDbColumn - reductionPixels, 0, kLastColumn);
}

void ReductionMeter::draw(DrawContext* context) {
    const int p = markerColumn(effect_.meterValue(meterSlot_));
    OffscreenContext offscreen(context, meterBitmap_, false);
    // The fill covers columns p + 1 to p + 3 on rows 1 to 12; the outline then takes columns p and p + 2 and
    // the top and bottom rows of the box, which leaves column p + 3 as a shadow beside it.
    offscreen.setLineColor(kOutlineColor);
    offscreen.setFillColor(kInnerColor);
    offscreen.fillRect({p, 0, p + 4, kMarkerBottom + 1});
    offscreen.frameRect({p, 0, p + 2, kMarkerBottom});
    offscreen.blitTo(context, bounds_, {0, 0});
    setDirty(false);
}

void ReductionMeter::updateIfDirty(DrawContext*) {}
