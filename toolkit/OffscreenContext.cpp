#include "toolkit/OffscreenContext.h"

#include "toolkit/Bitmap.h"

OffscreenContext::OffscreenContext(DrawContext* source, Bitmap* bitmap, bool drawIntoBitmap)
    : DrawContext(source->frame(), nullptr, nullptr), bitmap_(bitmap) {
    if (bitmap_) {
        width_ = bitmap_->width();
        height_ = bitmap_->height();
    }
    deviceContext_ = CreateCompatibleDC(source->deviceContext());
    if (drawIntoBitmap) {
        surface_ = bitmap_ ? bitmap_->handle() : nullptr;
    } else {
        surface_ = CreateCompatibleBitmap(source->deviceContext(), width_, height_);
        ownsSurface_ = true;
    }
    replacedSurface_ = SelectObject(deviceContext_, surface_);
    if (!drawIntoBitmap) {
        if (bitmap_) {
            bitmap_->draw(this, {0, 0, width_, height_}, {0, 0});
        } else {
            setFillColor(kColorBlack);
            fillRect({0, 0, width_, height_});
        }
    }
}

OffscreenContext::~OffscreenContext() {
    if (replacedSurface_) SelectObject(deviceContext_, replacedSurface_);
    DeleteDC(deviceContext_);
    if (ownsSurface_ && surface_) DeleteObject(surface_);
    // The pen, brush and font this context created are no longer selected anywhere; the base deletes them.
    deviceContext_ = nullptr;
}

void OffscreenContext::blitTo(DrawContext* destination, Rect destinationRect, Point sourceOffset) {
    const Point shift = destination->drawOffset();
    BitBlt(destination->deviceContext(), destinationRect.left + shift.h, destinationRect.top + shift.v,
           destinationRect.width(), destinationRect.height(), deviceContext_, sourceOffset.h, sourceOffset.v,
           SRCCOPY);
}
