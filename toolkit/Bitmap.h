// One picture from the module's BITMAP resources, shared by reference count: it starts at 1 and the last
// release() deletes it. User-interface thread only.
#pragma once

#include "toolkit/ValueTypes.h"

#include <windows.h>

class DrawContext;

class Bitmap {
  public:
    // A resource that does not load leaves the bitmap empty (0 x 0); drawing it paints nothing.
    explicit Bitmap(int resourceId);
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    void retain() { ++refCount_; }
    void release();
    int referenceCount() const { return refCount_; }

    int resourceId() const { return resourceId_; }
    int width() const { return width_; }
    int height() const { return height_; }
    Color keyColor() const { return keyColor_; }
    HBITMAP handle() const { return gdiBitmap_; }

    // Both copy the area of rect's size starting at offset in the picture to rect in the context.
    void draw(DrawContext* context, const Rect& rect, const Point& offset);
    // Pixels of the key colour let the destination show through: by TransparentBlt where the system offers
    // it, else by drawKeyedByMask.
    void drawKeyed(DrawContext* context, const Rect& rect, const Point& offset);
    // The same result in three raster passes through a monochrome mask, for systems without TransparentBlt.
    void drawKeyedByMask(DrawContext* context, const Rect& rect, const Point& offset);

  private:
    ~Bitmap();

    int resourceId_;
    int refCount_ = 1;
    int width_ = 0;
    int height_ = 0;
    Color keyColor_ = kColorKeyDefault;
    HBITMAP gdiBitmap_ = nullptr;
};
