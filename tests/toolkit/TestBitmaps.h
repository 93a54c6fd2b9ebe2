// Resource ids and pixel colours of the test pictures in bitmaps/ (shared by TestResources.rc and the tests).
#pragma once

#define kKeyedBitmap 101
#define kOpaqueBitmap 102
#define kSwitch2Bitmap 103
#define kSwitch5Bitmap 104
#define kToggleBitmap 105
#define kHandleBitmap 106
#define kTrackBitmap 107
#define kGradientBitmap 108
#define kMissingBitmap 999

#ifndef RC_INVOKED
#include <windows.h>

// 8 x 8: pixels with x + y even carry keyedColor, the others are pure black (the key).
inline COLORREF keyedColor(int x, int y) { return RGB(10 + 20 * x, 100 + 10 * y, 200); }
inline bool keyedOpaqueAt(int x, int y) { return (x + y) % 2 == 0; }
// 8 x 8 opaque.bmp has keyedColor everywhere.
// Switch and toggle strips: band k is one solid colour.
inline COLORREF bandColor(int k) { return RGB(40 + 40 * k, 200 - 30 * k, 90 + 20 * k); }
// 64 x 48 gradient.bmp.
inline COLORREF gradientColor(int x, int y) { return RGB(3 * x + 1, 5 * y + 1, 77); }
#endif
