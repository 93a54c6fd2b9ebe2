#include "toolkit/ValueDisplay.h"

#include "toolkit/Bitmap.h"
#include "toolkit/DrawContext.h"

#include <cstdio>

namespace {

constexpr int kTextCapacity = 256;
constexpr int kFrameStyles = kStyleSunkenFrame | kStyleRaisedFrame;

} // namespace

ValueDisplay::ValueDisplay(const Rect& bounds, Bitmap* background, int style)
    : Control(bounds, nullptr, 0, background), style_(style) {
    if (style_ & kStyleNoDraw) setDirty(false);
}

void ValueDisplay::draw(DrawContext* context) {
    char text[kTextCapacity] = "";
    if (formatterWithData_) {
        formatterWithData_(value_, text, formatterData_);
    } else if (formatter_) {
        formatter_(value_, text);
    } else {
        std::snprintf(text, sizeof text, "%2.2f", static_cast<double>(value_));
    }
    paintText(context, text, nullptr);
}

void ValueDisplay::paintText(DrawContext* context, const char* text, Bitmap* picture) {
    setDirty(false);
    if (style_ & kStyleNoDraw) return;

    if (!picture) picture = background_;
    if (picture) {
        if (transparent()) {
            picture->drawKeyed(context, bounds_, backgroundOffset_);
        } else {
            picture->draw(context, bounds_, backgroundOffset_);
        }
    } else if (!transparent()) {
        context->setFillColor(backColor_);
        context->fillRect(bounds_);
        if (!(style_ & kFrameStyles)) {
            context->setLineColor(frameColor_);
            context->frameRect(bounds_);
        }
    }

    if (style_ & kFrameStyles) {
        const bool sunken = (style_ & kStyleSunkenFrame) != 0;
        context->setLineColor(sunken ? backColor_ : frameColor_);
        context->moveTo({bounds_.left, bounds_.bottom});
        context->lineTo({bounds_.left, bounds_.top});
        context->lineTo({bounds_.right + 1, bounds_.top});
        context->setLineColor(sunken ? frameColor_ : backColor_);
        context->moveTo({bounds_.right, bounds_.top + 1});
        context->lineTo({bounds_.right, bounds_.bottom});
        context->lineTo({bounds_.left, bounds_.bottom});
    }

    if ((style_ & kStyleNoText) || !text) return;
    context->selectFont(fontId_, 0, fontFace_);
    if (style_ & kStyleShadowText) {
        context->setTextColor(shadowColor_);
        context->drawText(text, bounds_.movedBy(1, 1), !textTransparent_, alignment_);
    }
    context->setTextColor(textColor_);
    context->drawText(text, bounds_, !textTransparent_, alignment_);
}

void ValueDisplay::setFontId(int fontId) {
    if (fontId == fontId_) return;
    fontId_ = fontId;
    setDirty(true);
}

void ValueDisplay::setTextColor(Color color) {
    const bool changed = !color.sameRgb(textColor_);
    textColor_ = color;
    if (changed) setDirty(true);
}

void ValueDisplay::setBackColor(Color color) {
    const bool changed = !color.sameRgb(backColor_);
    backColor_ = color;
    if (changed) setDirty(true);
}

void ValueDisplay::setFrameColor(Color color) {
    const bool changed = !color.sameRgb(frameColor_);
    frameColor_ = color;
    if (changed) setDirty(true);
}

void ValueDisplay::setShadowColor(Color color) {
    const bool changed = !color.sameRgb(shadowColor_);
    shadowColor_ = color;
    if (changed) setDirty(true);
}

void ValueDisplay::setAlignment(int alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    setDirty(true);
}

void ValueDisplay::setFormatterWithData(ValueFormatterWithData formatter, void* data) {
    formatterWithData_ = formatter;
    formatterData_ = data;
}

void ValueDisplay::setFormatter(ValueFormatter formatter) { formatter_ = formatter; }

void ValueDisplay::setStyle(int style) {
    if (style == style_) return;
    style_ = style;
    setDirty(true);
}

void ValueDisplay::setFontFace(int face) {
    if (face == fontFace_) return;
    fontFace_ = face;
    setDirty(true);
}

void ValueDisplay::setTextTransparent(bool transparent) { textTransparent_ = transparent; }
