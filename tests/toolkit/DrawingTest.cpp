// Pixels drawn by DrawContext, OffscreenContext and Bitmap into memory device contexts, read back exactly.
#include "TestBitmaps.h"
#include "ToolkitTestSupport.h"

#include "toolkit/Bitmap.h"
#include "toolkit/DrawContext.h"
#include "toolkit/Frame.h"
#include "toolkit/OffscreenContext.h"
#include "toolkit/ToggleButton.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr COLORREF kWhiteRef = RGB(255, 255, 255);
constexpr COLORREF kBlackRef = RGB(0, 0, 0);
constexpr COLORREF kPaper = RGB(0x12, 0x34, 0x56);

bool inside(int x, int y, int left, int top, int right, int bottom) {
    return x >= left && x <= right && y >= top && y <= bottom;
}

LOGFONTA selectedFont(HDC deviceContext) {
    LOGFONTA font{};
    GetObjectA(GetCurrentObject(deviceContext, OBJ_FONT), sizeof font, &font);
    return font;
}

LOGPEN selectedPen(HDC deviceContext) {
    LOGPEN pen{};
    GetObjectA(GetCurrentObject(deviceContext, OBJ_PEN), sizeof pen, &pen);
    return pen;
}

} // namespace

TEST(DrawContextPixels, FillRectLeavesTopRowAndLeftColumn) {
    Canvas canvas(20, 20, kWhiteRef);
    {
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        context.setFillColor({255, 0, 0, 0});
        context.fillRect({0, 0, 10, 10});
    }
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool filled = inside(x, y, 1, 1, 9, 9);
            ASSERT_EQ(canvas.pixel(x, y), filled ? RGB(255, 0, 0) : kWhiteRef) << x << "," << y;
        }
    }
}

TEST(DrawContextPixels, FrameThenFillCoversTheRectangleWithoutOverlap) {
    const Rect rects[] = {{2, 3, 12, 9}, {0, 0, 5, 5}, {7, 1, 8, 15}, {4, 4, 19, 19}};
    for (const Rect& r : rects) {
        Canvas canvas(24, 24, kWhiteRef);
        {
            DrawContext context(nullptr, canvas.deviceContext(), nullptr);
            context.setLineColor({0, 255, 0, 0});
            context.setFillColor({0, 0, 255, 0});
            context.frameRect(r);
            context.fillRect(r);
        }
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                COLORREF expected = kWhiteRef;
                if (inside(x, y, r.left, r.top, r.right, r.bottom)) {
                    const bool outline = x == r.left || x == r.right || y == r.top || y == r.bottom;
                    expected = outline ? RGB(0, 255, 0) : RGB(0, 0, 255);
                }
                ASSERT_EQ(canvas.pixel(x, y), expected) << r.left << "," << r.top << " at " << x << "," << y;
            }
        }
    }
}

TEST(DrawContextPixels, DrawOffsetOfZeroAndLinesEndBeforeTheirEndPoint) {
    Canvas canvas(10, 10, kWhiteRef);
    {
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        EXPECT_EQ(context.drawOffset().h, 0);
        EXPECT_EQ(context.drawOffset().v, 0);
        context.setLineColor({9, 8, 7, 0});
        context.moveTo({1, 2});
        context.lineTo({6, 2});
    }
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(canvas.pixel(x, 2), x >= 1 && x <= 5 ? RGB(9, 8, 7) : kWhiteRef) << x;
}

TEST(DrawContextPixels, LeftAlignedTextStartsOnePixelFurtherRight) {
    const Rect box{5, 0, 75, 20};
    for (const char* text : {"Hi", "0.50", "|max", "12.35"}) {
        Canvas drawn(80, 20, kWhiteRef);
        Canvas reference(80, 20, kWhiteRef);
        for (int alignment : {kAlignLeft, kAlignCenter, kAlignRight}) {
            {
                DrawContext context(nullptr, drawn.deviceContext(), nullptr);
                context.setTextColor(kColorBlack);
                context.selectFont(3, 0, 0);
                context.drawText(text, box, false, alignment);
            }
            {
                // The same font through GDI directly, without the toolkit's offset.
                DrawContext context(nullptr, reference.deviceContext(), nullptr);
                context.setTextColor(kColorBlack);
                context.selectFont(3, 0, 0);
                UINT format = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
                if (alignment == kAlignCenter) format |= DT_CENTER;
                if (alignment == kAlignRight) format |= DT_RIGHT;
                RECT area{box.left + (alignment == kAlignLeft ? 1 : 0), box.top, box.right, box.bottom};
                DrawTextA(reference.deviceContext(), text, static_cast<int>(std::strlen(text)), &area,
                          format);
            }
            ASSERT_NE(drawn.firstColumnNot(kWhiteRef), -1) << text;
            ASSERT_EQ(drawn.pixels(), reference.pixels()) << text << " alignment " << alignment;
        }
    }
    Canvas plain(80, 20, kWhiteRef);
    Canvas offset(80, 20, kWhiteRef);
    {
        DrawContext context(nullptr, plain.deviceContext(), nullptr);
        context.setTextColor(kColorBlack);
        context.selectFont(3, 0, 0);
        RECT area{box.left, box.top, box.right, box.bottom};
        DrawTextA(plain.deviceContext(), "Hi", 2, &area, DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    }
    {
        DrawContext context(nullptr, offset.deviceContext(), nullptr);
        context.setTextColor(kColorBlack);
        context.selectFont(3, 0, 0);
        context.drawText("Hi", box, false, kAlignLeft);
    }
    EXPECT_EQ(offset.firstColumnNot(kWhiteRef), plain.firstColumnNot(kWhiteRef) + 1);
}

TEST(DrawContextPixels, OpaqueTextFillsItsBoxWithTheFillColour) {
    Canvas canvas(60, 20, kWhiteRef);
    {
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        context.setFillColor({0, 0, 200, 0});
        context.setTextColor(kColorWhite);
        context.selectFont(0, 0, 0);
        context.drawText("88", {0, 0, 60, 20}, true, kAlignCenter);
        EXPECT_EQ(GetBkMode(canvas.deviceContext()), TRANSPARENT);
    }
    int boxPixels = 0;
    for (COLORREF pixel : canvas.pixels())
        boxPixels += pixel == RGB(0, 0, 200);
    EXPECT_GT(boxPixels, 20);
    Canvas untouched(60, 20, kWhiteRef);
    {
        DrawContext context(nullptr, untouched.deviceContext(), nullptr);
        context.drawText(nullptr, {0, 0, 60, 20}, true, kAlignCenter);
    }
    EXPECT_EQ(untouched.firstColumnNot(kWhiteRef), -1);
}

TEST(DrawContextFonts, TableEntriesAskForTheStandInFaceAtEightPixels) {
    // The test machines have no "OrvFont"; the table asks for a face that ships with the system (which face
    // the system then maps the request to is its own business).
    EXPECT_STREQ(DrawContext::fontFaceName(), "Tahoma");
    Canvas canvas(4, 4, kWhiteRef);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    struct Case {
        int id, size, face;
        int expectedId, expectedHeight, expectedWeight, expectedPitch;
        bool italic, underline;
    };
    const Case cases[] = {
        {0, 0, 0, 0, -8, FW_BOLD, 0x22, false, false},
        {3, 0, 0, 3, -8, FW_NORMAL, 0x22, false, false},
        {3, 0, kFaceBold, 3, -8, FW_BOLD, 0x22, false, false},
        {5, 12, kFaceItalic | kFaceUnderline, 5, -12, FW_NORMAL, 0x22, true, true},
        {7, 0, 0, 7, -8, FW_NORMAL, 0x50, false, false},
        {8, 0, 0, 0, -8, FW_BOLD, 0x22, false, false},
        {-1, 0, kFaceItalic, 0, -8, FW_BOLD, 0x22, true, false},
    };
    for (const Case& c : cases) {
        context.selectFont(c.id, c.size, c.face);
        const LOGFONTA font = selectedFont(canvas.deviceContext());
        EXPECT_EQ(context.fontId(), c.expectedId) << c.id;
        EXPECT_EQ(context.fontSize(), -c.expectedHeight) << c.id;
        EXPECT_EQ(font.lfHeight, c.expectedHeight) << c.id;
        EXPECT_EQ(font.lfWeight, c.expectedWeight) << c.id;
        EXPECT_EQ(font.lfPitchAndFamily, c.expectedPitch) << c.id;
        EXPECT_EQ(font.lfItalic != 0, c.italic) << c.id;
        EXPECT_EQ(font.lfUnderline != 0, c.underline) << c.id;
        EXPECT_EQ(font.lfOutPrecision, OUT_STRING_PRECIS);
        EXPECT_EQ(font.lfClipPrecision, CLIP_STROKE_PRECIS);
        EXPECT_EQ(font.lfQuality, DEFAULT_QUALITY);
        EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
        EXPECT_STREQ(font.lfFaceName, "Tahoma");
    }
}

TEST(DrawContextObjects, StartsWithWhiteLinesBlackFillAndPutsTheDeviceContextBack) {
    Canvas canvas(4, 4, kWhiteRef);
    HDC deviceContext = canvas.deviceContext();
    const HGDIOBJ pen = GetCurrentObject(deviceContext, OBJ_PEN);
    const HGDIOBJ brush = GetCurrentObject(deviceContext, OBJ_BRUSH);
    const HGDIOBJ font = GetCurrentObject(deviceContext, OBJ_FONT);
    {
        DrawContext context(nullptr, deviceContext, nullptr);
        EXPECT_EQ(GetBkMode(deviceContext), TRANSPARENT);
        EXPECT_EQ(GetTextColor(deviceContext), kWhiteRef);
        EXPECT_EQ(GetBkColor(deviceContext), kBlackRef);
        LOGPEN current = selectedPen(deviceContext);
        EXPECT_EQ(current.lopnStyle, static_cast<UINT>(PS_SOLID));
        EXPECT_EQ(current.lopnWidth.x, 1);
        EXPECT_EQ(current.lopnColor, kWhiteRef);
        context.setLineStyle(kLineDotted);
        current = selectedPen(deviceContext);
        EXPECT_EQ(current.lopnStyle, static_cast<UINT>(PS_DOT));
        context.setLineColor({1, 2, 3, 99});
        current = selectedPen(deviceContext);
        EXPECT_EQ(current.lopnStyle, static_cast<UINT>(PS_DOT));
        EXPECT_EQ(current.lopnColor, RGB(1, 2, 3));
        context.setFillColor({4, 5, 6, 0});
        EXPECT_EQ(GetBkColor(deviceContext), RGB(4, 5, 6));
        LOGBRUSH selected{};
        GetObjectA(GetCurrentObject(deviceContext, OBJ_BRUSH), sizeof selected, &selected);
        EXPECT_EQ(selected.lbColor, RGB(4, 5, 6));
        context.setTextColor({7, 8, 9, 0});
        EXPECT_EQ(GetTextColor(deviceContext), RGB(7, 8, 9));
        context.selectFont(1, 0, 0);
        EXPECT_NE(GetCurrentObject(deviceContext, OBJ_FONT), font);
    }
    EXPECT_EQ(GetCurrentObject(deviceContext, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(deviceContext, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(deviceContext, OBJ_FONT), font);
}

TEST(OffscreenContextPixels, WithoutBitmapIsTwentyByTwentyAndBlack) {
    Canvas canvas(40, 40, kWhiteRef);
    DrawContext target(nullptr, canvas.deviceContext(), nullptr);
    {
        OffscreenContext offscreen(&target, nullptr, false);
        EXPECT_EQ(offscreen.width(), 20);
        EXPECT_EQ(offscreen.height(), 20);
        offscreen.blitTo(&target, {5, 7, 25, 27}, {0, 0});
    }
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(canvas.pixel(x, y), inside(x, y, 5, 7, 24, 26) ? kBlackRef : kWhiteRef)
                << x << "," << y;
        }
    }
}

TEST(OffscreenContextPixels, BlitToCopiesExactlyTheGivenRectangle) {
    Bitmap* picture = new Bitmap(kGradientBitmap);
    ASSERT_EQ(picture->width(), 64);
    ASSERT_EQ(picture->height(), 48);
    const struct {
        Rect destination;
        Point source;
    } cases[] = {{{3, 4, 13, 10}, {7, 6}}, {{0, 0, 64, 48}, {0, 0}}, {{20, 30, 21, 31}, {63, 47}}};
    for (const auto& c : cases) {
        Canvas canvas(70, 60, kPaper);
        DrawContext target(nullptr, canvas.deviceContext(), nullptr);
        {
            OffscreenContext offscreen(&target, picture, false);
            EXPECT_EQ(offscreen.width(), 64);
            EXPECT_EQ(offscreen.height(), 48);
            EXPECT_EQ(offscreen.sourceBitmap(), picture);
            offscreen.blitTo(&target, c.destination, c.source);
        }
        const Rect& d = c.destination;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 70; ++x) {
                const bool copied = x >= d.left && x < d.right && y >= d.top && y < d.bottom;
                const COLORREF expected =
                    copied ? gradientColor(x - d.left + c.source.h, y - d.top + c.source.v) : kPaper;
                ASSERT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
            }
        }
    }
    picture->release();
}

TEST(OffscreenContextPixels, DrawingIntoTheBitmapChangesTheSharedPicture) {
    Bitmap* picture = new Bitmap(kOpaqueBitmap);
    Canvas canvas(8, 8, kWhiteRef);
    DrawContext target(nullptr, canvas.deviceContext(), nullptr);
    {
        OffscreenContext copy(&target, picture, false);
        copy.setFillColor({1, 1, 1, 0});
        copy.fillRect({0, 0, 8, 8});
    }
    picture->draw(&target, {0, 0, 8, 8}, {0, 0});
    EXPECT_EQ(canvas.pixel(4, 4), keyedColor(4, 4)) << "a copy leaves the picture alone";
    {
        OffscreenContext direct(&target, picture, true);
        direct.setFillColor({1, 1, 1, 0});
        direct.fillRect({0, 0, 8, 8});
    }
    picture->draw(&target, {0, 0, 8, 8}, {0, 0});
    EXPECT_EQ(canvas.pixel(0, 0), keyedColor(0, 0));
    EXPECT_EQ(canvas.pixel(4, 4), RGB(1, 1, 1));
    picture->release();
}

TEST(BitmapPixels, DrawCopiesFromTheOffsetAndAMissingResourceDrawsNothing) {
    Bitmap* picture = new Bitmap(kGradientBitmap);
    EXPECT_EQ(picture->resourceId(), kGradientBitmap);
    EXPECT_NE(picture->handle(), nullptr);
    Canvas canvas(30, 30, kPaper);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    picture->draw(&context, {2, 3, 12, 8}, {40, 20});
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 30; ++x) {
            const bool copied = x >= 2 && x < 12 && y >= 3 && y < 8;
            ASSERT_EQ(canvas.pixel(x, y), copied ? gradientColor(x - 2 + 40, y - 3 + 20) : kPaper);
        }
    }
    picture->release();

    Bitmap* missing = new Bitmap(kMissingBitmap);
    EXPECT_EQ(missing->width(), 0);
    EXPECT_EQ(missing->height(), 0);
    EXPECT_EQ(missing->handle(), nullptr);
    Canvas blank(10, 10, kPaper);
    DrawContext blankContext(nullptr, blank.deviceContext(), nullptr);
    missing->draw(&blankContext, {0, 0, 10, 10}, {0, 0});
    missing->drawKeyed(&blankContext, {0, 0, 10, 10}, {0, 0});
    EXPECT_EQ(blank.firstColumnNot(kPaper), -1);
    missing->release();
}

namespace {

using KeyedDraw = void (Bitmap::*)(DrawContext*, const Rect&, const Point&);

void expectKeyedResult(KeyedDraw method, int resourceId, bool blackIsKey) {
    Bitmap* picture = new Bitmap(resourceId);
    Canvas canvas(14, 14, kPaper);
    {
        DrawContext context(nullptr, canvas.deviceContext(), nullptr);
        (picture->*method)(&context, {3, 2, 11, 10}, {0, 0});
        EXPECT_EQ(GetBkColor(canvas.deviceContext()), kBlackRef) << "the context's colours are put back";
        EXPECT_EQ(GetTextColor(canvas.deviceContext()), kWhiteRef);
    }
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 14; ++x) {
            COLORREF expected = kPaper;
            if (x >= 3 && x < 11 && y >= 2 && y < 10) {
                const int px = x - 3;
                const int py = y - 2;
                if (!blackIsKey || keyedOpaqueAt(px, py)) expected = keyedColor(px, py);
            }
            ASSERT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
        }
    }
    picture->release();
}

} // namespace

TEST(BitmapPixels, DrawKeyedShowsTheDestinationThroughBlackByTransparentBlt) {
    // A frame loads the system's TransparentBlt for the module.
    Frame frame({0, 0, 10, 10}, nullptr, nullptr);
    ASSERT_NE(Frame::transparentBlt(), nullptr);
    expectKeyedResult(&Bitmap::drawKeyed, kKeyedBitmap, true);
    expectKeyedResult(&Bitmap::drawKeyed, kOpaqueBitmap, false);
}

TEST(BitmapPixels, DrawKeyedShowsTheDestinationThroughBlackByTheMaskMethod) {
    expectKeyedResult(&Bitmap::drawKeyedByMask, kKeyedBitmap, true);
    expectKeyedResult(&Bitmap::drawKeyedByMask, kOpaqueBitmap, false);
}

TEST(BitmapPixels, TransparentBltIsForgottenWhenItsLibraryIsGone) {
    { Frame frame({0, 0, 10, 10}, nullptr, nullptr); }
    const bool libraryLoaded = GetModuleHandleA("msimg32.dll") != nullptr;
    EXPECT_EQ(Frame::transparentBlt() != nullptr, libraryLoaded);
    // Whichever way it went, keyed drawing still shows the destination through the key.
    expectKeyedResult(&Bitmap::drawKeyed, kKeyedBitmap, true);
}

TEST(BitmapReferences, ASharedPictureSurvivesTheReleaseOfOneControl) {
    Bitmap* picture = new Bitmap(kToggleBitmap);
    EXPECT_EQ(picture->referenceCount(), 1);
    auto* first = new ToggleButton({0, 0, 33, 11}, nullptr, 2, 11, picture, {0, 0});
    auto* second = new ToggleButton({0, 0, 33, 11}, nullptr, 2, 11, picture, {0, 0});
    EXPECT_EQ(picture->referenceCount(), 3);
    picture->release(); // the editor hands its reference over
    EXPECT_EQ(picture->referenceCount(), 2);
    first->release();
    EXPECT_EQ(picture->referenceCount(), 1);
    Canvas canvas(33, 11, kPaper);
    DrawContext context(nullptr, canvas.deviceContext(), nullptr);
    second->setValue(1.0f);
    second->draw(&context);
    EXPECT_EQ(canvas.pixel(0, 0), bandColor(1));
    EXPECT_EQ(canvas.pixel(32, 10), bandColor(1));
    second->setBackground(picture); // the same picture again must survive
    EXPECT_EQ(picture->referenceCount(), 1);
    second->release();
}
