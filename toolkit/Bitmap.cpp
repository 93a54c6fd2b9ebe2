#include "toolkit/Bitmap.h"

#include "toolkit/DrawContext.h"
#include "toolkit/Frame.h"
#include "toolkit/ModuleInstance.h"

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;

} // namespace

Bitmap::Bitmap(int resourceId) : resourceId_(resourceId) {
    gdiBitmap_ = LoadBitmapA(moduleInstance(), MAKEINTRESOURCEA(resourceId));
    BITMAP description;
    if (gdiBitmap_ && GetObjectA(gdiBitmap_, sizeof description, &description)) {
        width_ = description.bmWidth;
        height_ = description.bmHeight;
    }
}

Bitmap::~Bitmap() {
    if (gdiBitmap_) DeleteObject(gdiBitmap_);
}

void Bitmap::release() {
    if (refCount_ <= 0) return;
    if (--refCount_ == 0) delete this;
}

void Bitmap::draw(DrawContext* context, const Rect& rect, const Point& offset) {
    if (!gdiBitmap_) return;
    HDC destination = context->deviceContext();
    HDC picture = CreateCompatibleDC(destination);
    HGDIOBJ previous = SelectObject(picture, gdiBitmap_);
    const Point shift = context->drawOffset();
    BitBlt(destination, rect.left + shift.h, rect.top + shift.v, rect.width(), rect.height(), picture,
           offset.h, offset.v, SRCCOPY);
    SelectObject(picture, previous);
    DeleteDC(picture);
}

void Bitmap::drawKeyed(DrawContext* context, const Rect& rect, const Point& offset) {
    if (!gdiBitmap_) return;
    const auto transparentBlt = Frame::transparentBlt();
    if (!transparentBlt) {
        drawKeyedByMask(context, rect, offset);
        return;
    }
    HDC destination = context->deviceContext();
    HDC picture = CreateCompatibleDC(destination);
    HGDIOBJ previous = SelectObject(picture, gdiBitmap_);
    const Point shift = context->drawOffset();
    const int w = rect.width();
    const int h = rect.height();
    transparentBlt(destination, rect.left + shift.h, rect.top + shift.v, w, h, picture, offset.h, offset.v, w,
                   h, keyColor_.colorRef());
    SelectObject(picture, previous);
    DeleteDC(picture);
}

void Bitmap::drawKeyedByMask(DrawContext* context, const Rect& rect, const Point& offset) {
    if (!gdiBitmap_) return;
    HDC destination = context->deviceContext();
    HDC picture = CreateCompatibleDC(destination);
    HGDIOBJ previousPicture = SelectObject(picture, gdiBitmap_);
    const Point shift = context->drawOffset();
    const int x = rect.left + shift.h;
    const int y = rect.top + shift.v;
    const int w = rect.width();
    const int h = rect.height();

    HDC maskContext = CreateCompatibleDC(destination);
    const COLORREF savedBackground = SetBkColor(destination, kWhite);
    const COLORREF savedText = SetTextColor(destination, kBlack);
    HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
    HGDIOBJ previousMask = SelectObject(maskContext, mask);

    // Copying colour to monochrome turns pixels of the background colour into 1, all others into 0.
    SetBkColor(picture, keyColor_.colorRef());
    BitBlt(maskContext, 0, 0, w, h, picture, offset.h, offset.v, SRCCOPY);

    // destination ^ picture, masked to the key pixels, ^ picture: key pixels keep the destination.
    BitBlt(destination, x, y, w, h, picture, offset.h, offset.v, SRCINVERT);
    BitBlt(destination, x, y, w, h, maskContext, 0, 0, SRCAND);
    BitBlt(destination, x, y, w, h, picture, offset.h, offset.v, SRCINVERT);

    SelectObject(maskContext, previousMask);
    DeleteObject(mask);
    DeleteDC(maskContext);
    SetBkColor(destination, savedBackground);
    SetTextColor(destination, savedText);
    SelectObject(picture, previousPicture);
    DeleteDC(picture);
}
