// Shows a control value as text over a background picture or a filled box. The text comes from a formatter,
// or
// "%2.2f" without one. It takes no input.
#pragma once

#include "toolkit/Control.h"
#include "toolkit/DrawContext.h"

enum ValueDisplayStyle {
    kStyleShadowText = 0x4,
    kStyleSunkenFrame = 0x80,
    kStyleRaisedFrame = 0x100,
    kStyleNoText = 0x800,
    // Never paints and never stays dirty.
    kStyleNoDraw = 0x1000,
};

// Write the text for value into text (a 256-byte buffer that starts empty).
using ValueFormatter = void (*)(float value, char* text);
using ValueFormatterWithData = void (*)(float value, char* text, void* data);

class ValueDisplay : public Control {
  public:
    ValueDisplay(const Rect& bounds, Bitmap* background, int style);

    void draw(DrawContext* context) override;

    // These mark the display dirty when the new setting differs (colours compare red, green and blue only).
    virtual void setFontId(int fontId);
    virtual void setTextColor(Color color);
    virtual void setBackColor(Color color);
    virtual void setFrameColor(Color color);
    virtual void setShadowColor(Color color);
    virtual void setAlignment(int alignment);
    // The formatter setters and setTextTransparent only store.
    virtual void setFormatterWithData(ValueFormatterWithData formatter, void* data);
    virtual void setFormatter(ValueFormatter formatter);
    virtual void setStyle(int style);
    virtual void setFontFace(int face);
    virtual void setTextTransparent(bool transparent);

    // Paints text over picture (the background when null) as the style says.
    void paintText(DrawContext* context, const char* text, Bitmap* picture);

    int style() const { return style_; }
    int alignment() const { return alignment_; }
    int fontId() const { return fontId_; }
    int fontFace() const { return fontFace_; }
    Color textColor() const { return textColor_; }
    Color backColor() const { return backColor_; }
    Color frameColor() const { return frameColor_; }
    Color shadowColor() const { return shadowColor_; }
    bool textTransparent() const { return textTransparent_; }

  private:
    ValueFormatter formatter_ = nullptr;
    ValueFormatterWithData formatterWithData_ = nullptr;
    void* formatterData_ = nullptr;
    int alignment_ = kAlignCenter;
    int style_;
    int fontId_ = 3;
    int fontFace_ = kFaceBold;
    Color textColor_ = kColorWhite;
    Color backColor_ = kColorBlack;
    Color frameColor_ = kColorBlack;
    Color shadowColor_ = kColorRed;
    bool textTransparent_ = true;
};
