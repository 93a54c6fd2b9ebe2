// The gain-reduction meter: a small marker box over a darker copy of the reduction scale, 5 pixels per dB of
// reduction, from 0 dB at the right end to about -24.8 dB at the left. Reads the effect's published gain
// factor each time it paints; paints like LevelMeter. User-interface thread only.
#pragma once

#include "toolkit/View.h"

class Bitmap;
class EditInterface;

class ReductionMeter : public View {
  public:
    // Loads the scale picture (bitmap 10002), whose size the bounds must have.
    ReductionMeter(const Rect& bounds, EditInterface& effect, int meterSlot);
    ~ReductionMeter() override;

    void draw(DrawContext* context) override;
    void updateIfDirty(DrawContext* context) override;

    // Left column of the marker box for a published gain factor: 124 at 0 dB, 0 from -24.8 dB down.
    static int markerColumn(double gain);

  private:
    EditInterface& effect_;
    Bitmap* meterBitmap_;
    int meterSlot_;
};
