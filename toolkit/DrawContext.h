// One GDI device context plus the pen, brush and font the toolkit creates for it. A context lives for one
// paint, one mouse press with its whole drag, one idle pass or one immediate redraw, on the user-interface
// thread.
#pragma once

#include "toolkit/ValueTypes.h"

#include <windows.h>

class Frame;

enum LineStyle { kLineSolid = 0, kLineDotted = 1 };
enum FontFace { kFaceBold = 1, kFaceItalic = 2, kFaceUnderline = 4 };
enum TextAlignment { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };

// Bits answered by mouseButtons(). Primary with Control and nothing else (17) is the controls' reset gesture.
enum MouseButtons {
    kButtonPrimary = 1,
    kButtonMiddle = 2,
    kButtonSecondary = 4,
    kModShift = 8,
    kModControl = 16,
    kModAlt = 32,
};

// The font table has eight entries (ids 0 to 7), all naming the face "OrvFont" at 8 pixels. That face is not
// shipped with the plug-in: where no face of that name is installed, the table asks for "Tahoma" instead (it
// comes with Windows and with Wine), keeping size, weight and family.
constexpr int kFontCount = 8;
constexpr int kFontDefaultSize = 8;

class DrawContext {
  public:
    // frame and window may be null; without a device context nothing is selected or saved.
    DrawContext(Frame* frame, HDC deviceContext, HWND window);
    virtual ~DrawContext();
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    void setLineColor(Color color);
    void setLineStyle(int style);
    void setFillColor(Color color);
    void setTextColor(Color color);
    // size 0 takes the table size; an id outside 0..7 selects font 0.
    void selectFont(int fontId, int size, int face);

    // Opaque text gets a box in the fill colour. Left-aligned text starts one pixel right of rect.left.
    void drawText(const char* text, Rect rect, bool opaque, int alignment);
    void moveTo(Point point);
    void lineTo(Point point);
    // Outline through the four corners, right and bottom included.
    void frameRect(Rect rect);
    // Fills (left + 1, top + 1, right, bottom): the top row and left column stay for frameRect's outline.
    void fillRect(Rect rect);

    // Polled from the system on every call (the controls track drags this way); virtual so that tests can
    // replay scripted presses.
    virtual int mouseButtons();
    // Cursor in coordinates of the window the context was made for, as placed when the context was made.
    virtual void mousePosition(Point& point);

    HDC deviceContext() const { return deviceContext_; }
    HWND window() const { return window_; }
    Frame* frame() const { return frame_; }
    Point drawOffset() const { return drawOffset_; }
    int fontId() const { return fontId_; }
    int fontSize() const { return fontSize_; }

    // The face every font entry asks for: "OrvFont" when installed, else "Tahoma".
    static const char* fontFaceName();

  protected:
    Point windowScreenPos_;
    Point drawOffset_;
    HDC deviceContext_ = nullptr;
    HWND window_ = nullptr;
    Frame* frame_ = nullptr;
    int fontId_ = 0;
    int fontSize_ = 0;
    Color textColor_ = kColorWhite;
    Color lineColor_ = kColorWhite;
    Color fillColor_ = kColorBlack;
    int lineWidth_ = 1;
    int lineStyle_ = kLineSolid;
    int penStyle_ = PS_SOLID;
    HPEN ownPen_ = nullptr;
    HBRUSH ownBrush_ = nullptr;
    HFONT ownFont_ = nullptr;
    HGDIOBJ savedBrush_ = nullptr;
    HGDIOBJ savedPen_ = nullptr;
    HGDIOBJ savedFont_ = nullptr;
};
