// A DrawContext on a memory surface: views compose a picture here and copy it to the window with one blitTo,
// so the window never shows a half-drawn view.
#pragma once

#include "toolkit/DrawContext.h"

class Bitmap;

class OffscreenContext : public DrawContext {
  public:
    // Without a bitmap the surface is 20 x 20 and black. With one it has the bitmap's size and starts as a
    // copy of it; drawIntoBitmap draws into the shared bitmap itself instead.
    OffscreenContext(DrawContext* source, Bitmap* bitmap, bool drawIntoBitmap);
    ~OffscreenContext() override;

    // Copies the area of destinationRect's size starting at sourceOffset to destinationRect.
    void blitTo(DrawContext* destination, Rect destinationRect, Point sourceOffset);

    int width() const { return width_; }
    int height() const { return height_; }
    Bitmap* sourceBitmap() const { return bitmap_; }

  private:
    Bitmap* bitmap_;
    int height_ = 20;
    int width_ = 20;
    bool ownsSurface_ = false;
    HBITMAP surface_ = nullptr;
    HGDIOBJ replacedSurface_ = nullptr;
};
