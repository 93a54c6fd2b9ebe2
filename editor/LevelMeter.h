// A vertical level bar in a well: reads the effect's published peak level each time it paints and lights the
// rows from the level down to the bottom, 3 rows per dB, 0 dB at the top row and -40 dB at the bottom.
// Paints only when the whole window paints or the editor calls redraw from its idle pass (when the reading
// changed); never from the frame's dirty-view pass. User-interface thread only.
#pragma once

#include "toolkit/View.h"

class Bitmap;
class EditInterface;

class LevelMeter : public View {
  public:
    // Loads the well picture (bitmap 10009), whose size the bounds must have.
    LevelMeter(const Rect& bounds, EditInterface& effect, int meterSlot, Color bodyColor, Color edgeColor);
    ~LevelMeter() override;

    void draw(DrawContext* context) override;
    void updateIfDirty(DrawContext* context) override;

    // Rows lit from the top of the well for a published level: the bar covers rows unlitRows + 1 to 119.
    static int unlitRows(double level);

  private:
    EditInterface& effect_;
    Bitmap* meterBitmap_;
    int meterSlot_;
    Color bodyColor_;
    Color edgeColor_;
};
