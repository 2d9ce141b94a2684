// TBitBtn: an owner-drawn push button showing a glyph left of its caption.
//
// The glyph bitmap holds two 16 x 16 images side by side: the normal one
// and the one drawn while the button is disabled. The colour of the
// bitmap's bottom-left pixel is drawn transparent, through a monochrome
// mask (TransparentBlt is missing on NT 4.0).
#include "ui/Ui.h"

namespace {

const int GlyphSize = 16;
const int GlyphSpacing = 4;  // between glyph and caption

// Draws image 'index' of the glyph at x, y with its transparent colour left out.
void DrawGlyph(HDC dc, HBITMAP glyph, int index, int x, int y) {
    HDC colourDc = CreateCompatibleDC(dc);
    HDC maskDc = CreateCompatibleDC(dc);
    HBITMAP mask = CreateBitmap(GlyphSize, GlyphSize, 1, 1, nullptr);
    if (!colourDc || !maskDc || !mask) {
        if (mask) DeleteObject(mask);
        if (maskDc) DeleteDC(maskDc);
        if (colourDc) DeleteDC(colourDc);
        return;
    }
    HGDIOBJ oldColour = SelectObject(colourDc, glyph);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    int sx = index * GlyphSize;

    // Mask: 1 where the image has the transparent colour.
    COLORREF transparent = GetPixel(colourDc, 0, GlyphSize - 1);
    COLORREF oldBk = SetBkColor(colourDc, transparent);
    BitBlt(maskDc, 0, 0, GlyphSize, GlyphSize, colourDc, sx, 0, SRCCOPY);
    SetBkColor(colourDc, oldBk);

    // dest ^ image, cleared where opaque, ^ image again: the image where
    // opaque, the background where transparent.
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldDestBk = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, x, y, GlyphSize, GlyphSize, colourDc, sx, 0, SRCINVERT);
    BitBlt(dc, x, y, GlyphSize, GlyphSize, maskDc, 0, 0, SRCAND);
    BitBlt(dc, x, y, GlyphSize, GlyphSize, colourDc, sx, 0, SRCINVERT);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldDestBk);

    SelectObject(maskDc, oldMask);
    SelectObject(colourDc, oldColour);
    DeleteObject(mask);
    DeleteDC(maskDc);
    DeleteDC(colourDc);
}

}  // namespace

TBitBtn::TBitBtn(TControl *parent, int left, int top, int width, int height, const char *caption,
                 int glyphResource)
    : TControl(parent, left, top, width, height), Glyph(nullptr) {
    Glyph = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(glyphResource));
    CreateChild(0, "BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP);
}

TBitBtn::~TBitBtn() {
    if (Handle && IsWindow(Handle)) DestroyWindow(Handle);
    if (Glyph) DeleteObject(Glyph);
}

void TBitBtn::Click() {
    if (Handle) SendMessageA(Handle, BM_CLICK, 0, 0);
}

void TBitBtn::Command(WORD code) {
    if (code == BN_CLICKED) OnClick(this);
}

bool TBitBtn::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) {
    if (message == WM_LBUTTONDBLCLK) {
        // An owner-drawn button reports a double-click instead of a second
        // click; a push button takes it as a second press.
        result = CallWindowProcA(OldProc, Handle, WM_LBUTTONDOWN, wParam, lParam);
        return true;
    }
    return TControl::HandleMessage(message, wParam, lParam, result);
}

void TBitBtn::DrawItem(const DRAWITEMSTRUCT &item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    bool pressed = (item.itemState & ODS_SELECTED) != 0;
    bool focused = (item.itemState & ODS_FOCUS) != 0;
    bool disabled = (item.itemState & ODS_DISABLED) != 0;

    // The focused button has the dark outline of the default button.
    if (focused) {
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));

    char caption[64];
    int len = GetWindowTextA(Handle, caption, sizeof caption);
    HGDIOBJ oldFont = nullptr;
    TForm *form = OwnerForm();
    if (form && form->Font) oldFont = SelectObject(dc, form->Font);

    // Glyph and caption side by side, centred together.
    RECT textRect = {0, 0, 0, 0};
    DrawTextA(dc, caption, len, &textRect, DT_CALCRECT | DT_SINGLELINE);
    int textWidth = textRect.right - textRect.left;
    int textHeight = textRect.bottom - textRect.top;
    int glyphWidth = Glyph ? GlyphSize + (len ? GlyphSpacing : 0) : 0;
    int x = r.left + ((r.right - r.left) - (glyphWidth + textWidth)) / 2;
    int midY = r.top + (r.bottom - r.top) / 2;
    int shift = pressed ? 1 : 0;
    if (Glyph) DrawGlyph(dc, Glyph, disabled ? 1 : 0, x + shift, midY - GlyphSize / 2 + shift);

    RECT text = {x + glyphWidth + shift, midY - textHeight / 2 + shift, 0, 0};
    text.right = text.left + textWidth;
    text.bottom = text.top + textHeight;
    int oldMode = SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        // Engraved: a light copy one pixel down and right under a grey one.
        RECT light = text;
        OffsetRect(&light, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextA(dc, caption, len, &light, DT_SINGLELINE);
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    } else {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    }
    DrawTextA(dc, caption, len, &text, DT_SINGLELINE);
    SetBkMode(dc, oldMode);

    if (focused) {
        RECT f = r;
        InflateRect(&f, -4, -4);
        DrawFocusRect(dc, &f);
    }
    if (oldFont) SelectObject(dc, oldFont);
}
