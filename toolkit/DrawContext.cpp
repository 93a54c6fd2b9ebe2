#include "toolkit/DrawContext.h"

#include "toolkit/Frame.h"

#include <cstring>

namespace {

constexpr char kFontFace[] = "OrvFont";
constexpr char kFallbackFontFace[] = "Tahoma";
constexpr BYTE kSwissVariablePitch = 0x22;
constexpr BYTE kDecorativeDefaultPitch = 0x50;
constexpr int kDecorativeFontId = 7;
constexpr int kBoldFontId = 0;

int CALLBACK noteFontFamily(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool fontFamilyInstalled(const char* face) {
    HDC screen = GetDC(nullptr);
    LOGFONTA query{};
    query.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(query.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExA(screen, &query, noteFontFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

bool keyDown(int virtualKey) { return GetAsyncKeyState(virtualKey) < 0; }

} // namespace

const char* DrawContext::fontFaceName() {
    static const char* const face = fontFamilyInstalled(kFontFace) ? kFontFace : kFallbackFontFace;
    return face;
}

DrawContext::DrawContext(Frame* frame, HDC deviceContext, HWND window)
    : deviceContext_(deviceContext), window_(window), frame_(frame) {
    if (deviceContext_) {
        savedBrush_ = GetCurrentObject(deviceContext_, OBJ_BRUSH);
        savedPen_ = GetCurrentObject(deviceContext_, OBJ_PEN);
        savedFont_ = GetCurrentObject(deviceContext_, OBJ_FONT);
        SetBkMode(deviceContext_, TRANSPARENT);
    }
    if (window_) {
        RECT windowRect;
        if (GetWindowRect(window_, &windowRect)) windowScreenPos_ = {windowRect.left, windowRect.top};
    }
    if (deviceContext_) {
        setLineColor(lineColor_);
        setLineStyle(lineStyle_);
        setFillColor(fillColor_);
        SetTextColor(deviceContext_, textColor_.colorRef());
    }
}

DrawContext::~DrawContext() {
    if (deviceContext_) {
        if (savedBrush_) SelectObject(deviceContext_, savedBrush_);
        if (savedPen_) SelectObject(deviceContext_, savedPen_);
        if (savedFont_) SelectObject(deviceContext_, savedFont_);
    }
    if (ownBrush_) DeleteObject(ownBrush_);
    if (ownPen_) DeleteObject(ownPen_);
    if (ownFont_) DeleteObject(ownFont_);
}

void DrawContext::setLineColor(Color color) {
    lineColor_ = color;
    LOGPEN description{};
    description.lopnStyle = static_cast<UINT>(penStyle_);
    description.lopnWidth.x = lineWidth_;
    description.lopnColor = color.colorRef();
    HPEN pen = CreatePenIndirect(&description);
    SelectObject(deviceContext_, pen);
    if (ownPen_) DeleteObject(ownPen_);
    ownPen_ = pen;
}

void DrawContext::setLineStyle(int style) {
    lineStyle_ = style;
    penStyle_ = style == kLineDotted ? PS_DOT : PS_SOLID;
    setLineColor(lineColor_);
}

void DrawContext::setFillColor(Color color) {
    fillColor_ = color;
    SetBkColor(deviceContext_, color.colorRef());
    LOGBRUSH description{};
    description.lbStyle = BS_SOLID;
    description.lbColor = color.colorRef();
    HBRUSH brush = CreateBrushIndirect(&description);
    if (!brush) return;
    SelectObject(deviceContext_, brush);
    if (ownBrush_) DeleteObject(ownBrush_);
    ownBrush_ = brush;
}

void DrawContext::setTextColor(Color color) {
    textColor_ = color;
    SetTextColor(deviceContext_, color.colorRef());
}

void DrawContext::selectFont(int fontId, int size, int face) {
    if (fontId < 0 || fontId >= kFontCount) fontId = kBoldFontId;
    fontId_ = fontId;
    fontSize_ = size == 0 ? kFontDefaultSize : size;

    LOGFONTA description{};
    description.lfHeight = -fontSize_;
    description.lfWeight = (face & kFaceBold) ? FW_BOLD : FW_NORMAL;
    description.lfItalic = (face & kFaceItalic) ? TRUE : FALSE;
    description.lfUnderline = (face & kFaceUnderline) ? TRUE : FALSE;
    description.lfPitchAndFamily = kSwissVariablePitch;
    std::strncpy(description.lfFaceName, fontFaceName(), LF_FACESIZE - 1);
    if (fontId == kDecorativeFontId) description.lfPitchAndFamily = kDecorativeDefaultPitch;
    if (fontId == kBoldFontId) description.lfWeight = FW_BOLD;
    description.lfOutPrecision = OUT_STRING_PRECIS;
    description.lfClipPrecision = CLIP_STROKE_PRECIS;
    description.lfQuality = DEFAULT_QUALITY;
    description.lfCharSet = ANSI_CHARSET;

    HFONT font = CreateFontIndirectA(&description);
    SelectObject(deviceContext_, font);
    if (ownFont_) DeleteObject(ownFont_);
    ownFont_ = font;
}

void DrawContext::drawText(const char* text, Rect rect, bool opaque, int alignment) {
    if (!text) return;
    rect = rect.movedBy(drawOffset_.h, drawOffset_.v);
    SetBkMode(deviceContext_, opaque ? OPAQUE : TRANSPARENT);
    UINT format = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    if (alignment == kAlignCenter) {
        format |= DT_CENTER;
    } else if (alignment == kAlignRight) {
        format |= DT_RIGHT;
    } else {
        rect.left += 1;
    }
    RECT area{rect.left, rect.top, rect.right, rect.bottom};
    DrawTextA(deviceContext_, text, static_cast<int>(std::strlen(text)), &area, format);
    SetBkMode(deviceContext_, TRANSPARENT);
}

void DrawContext::moveTo(Point point) {
    MoveToEx(deviceContext_, point.h + drawOffset_.h, point.v + drawOffset_.v, nullptr);
}

void DrawContext::lineTo(Point point) {
    LineTo(deviceContext_, point.h + drawOffset_.h, point.v + drawOffset_.v);
}

void DrawContext::frameRect(Rect rect) {
    moveTo({rect.left, rect.top});
    lineTo({rect.right, rect.top});
    lineTo({rect.right, rect.bottom});
    lineTo({rect.left, rect.bottom});
    lineTo({rect.left, rect.top});
}

void DrawContext::fillRect(Rect rect) {
    RECT area{rect.left + 1 + drawOffset_.h, rect.top + 1 + drawOffset_.v, rect.right + drawOffset_.h,
              rect.bottom + drawOffset_.v};
    HGDIOBJ previousPen = SelectObject(deviceContext_, GetStockObject(NULL_PEN));
    FillRect(deviceContext_, &area, ownBrush_);
    SelectObject(deviceContext_, previousPen);
}

int DrawContext::mouseButtons() {
    const bool swapped = Frame::buttonsSwapped();
    int buttons = 0;
    if (keyDown(VK_LBUTTON)) buttons |= swapped ? kButtonSecondary : kButtonPrimary;
    if (keyDown(VK_MBUTTON)) buttons |= kButtonMiddle;
    if (keyDown(VK_RBUTTON)) buttons |= swapped ? kButtonPrimary : kButtonSecondary;
    if (keyDown(VK_SHIFT)) buttons |= kModShift;
    if (keyDown(VK_CONTROL)) buttons |= kModControl;
    if (keyDown(VK_MENU)) buttons |= kModAlt;
    return buttons;
}

void DrawContext::mousePosition(Point& point) {
    POINT cursor{};
    GetCursorPos(&cursor);
    point = {cursor.x - windowScreenPos_.h, cursor.y - windowScreenPos_.v};
}
