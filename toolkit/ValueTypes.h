// Plain value types of the view toolkit: rectangles and points in pixels, colours as four bytes.
#pragma once

#include <windows.h>

#include <cstdint>

// right and bottom are the far edges: width = right - left.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    Rect movedBy(int h, int v) const { return {left + h, top + v, right + h, bottom + v}; }
};

struct Point {
    int h = 0;
    int v = 0;
};

// Both far edges count as inside.
inline bool containsPoint(const Rect& rect, const Point& point) {
    return point.h >= rect.left && point.h <= rect.right && point.v >= rect.top && point.v <= rect.bottom;
}

// The fourth byte is carried along but never reaches GDI.
struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t unused = 0;

    COLORREF colorRef() const { return RGB(red, green, blue); }
    bool sameRgb(const Color& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

constexpr Color kColorWhite{255, 255, 255, 0};
constexpr Color kColorBlack{0, 0, 0, 0};
constexpr Color kColorRed{255, 0, 0, 0};
// Default key of every Bitmap: pure black pixels are see-through.
constexpr Color kColorKeyDefault{0, 0, 0, 255};
