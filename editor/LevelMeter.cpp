#include "editor/LevelMeter.h"

#include "core/BuildConfig.h"
#include "core/EditInterface.h"
#include "toolkit/Bitmap.h"
#include "toolkit/OffscreenContext.h"

#include <cmath>
#include <new>

namespace {

constexpr int kWellBitmapId = 10009;
constexpr int kWellRows = 120;
// The wide mono well has a two-column edge, the stereo wells one.
constexpr int kEdgeColumns = kStereoBuild ? 1 : 2;

} // namespace

LevelMeter::LevelMeter(const Rect& bounds, EditInterface& effect, int meterSlot, Color bodyColor,
                       Color edgeColor)
    : View(bounds), effect_(effect), meterBitmap_(new (std::nothrow) Bitmap(kWellBitmapId)),
      meterSlot_(meterSlot), bodyColor_(bodyColor), edgeColor_(edgeColor) {}

LevelMeter::~LevelMeter() {
    if (meterBitmap_) meterBitmap_->release();
}

int LevelMeter::unlitRows(double level) {
    double fraction;
    // A value that is not finite shows as the lowest level; log10 of it would be no row number at all.
    if (!std::isfinite(level) || level <= 0.01) {
        fraction = 1.0;
    } else if (level >= 1.0) {
        fraction = 0.0;
    } else {
        fraction = -0.5 * std::log10(static_cast<double>(static_cast<float>(level)));
    }
    return static_cast<int>(fraction * kWellRows);
}

void LevelMeter::draw(DrawContext* context) {
    const int unlit = unlitRows(effect_.meterValue(meterSlot_));
    OffscreenContext offscreen(context, meterBitmap_, false);
    if (unlit < kWellRows) {
        // fillRect leaves out its top row and left column: these rectangles cover rows unlit + 1 to 119, the
        // edge columns at the right and the body columns from 1 up to the edge. Column 0 and row 0 stay dark.
        const int width = offscreen.width();
        const int edgeLeft = width - kEdgeColumns;
        offscreen.setFillColor(edgeColor_);
        offscreen.fillRect({edgeLeft - 1, unlit, width, kWellRows});
        offscreen.setFillColor(bodyColor_);
        offscreen.fillRect({0, unlit, edgeLeft, kWellRows});
    }
    offscreen.blitTo(context, bounds_, {0, 0});
    setDirty(false);
}

void LevelMeter::updateIfDirty(DrawContext*) {}
