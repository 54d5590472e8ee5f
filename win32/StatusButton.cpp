// The status button draws itself: the face, the caption centred in the room the icon leaves, and
// the icon of the connection state at the right, shifted while pressed and greyed while disabled.
#include "win32/PanelDlg.h"

namespace {

constexpr int kMargin = 3;
constexpr int kPressedShift = 1;

} // namespace

CStatusButton::~CStatusButton()
{
    if (m_hIcon)
        DestroyIcon(m_hIcon);
}

// At the icon's own size; the one it replaces is released.
void CStatusButton::SetIcon(int iconId)
{
    const HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
    if (!icon)
        return;
    if (m_hIcon)
        DestroyIcon(m_hIcon);
    m_hIcon = icon;
}

void CStatusButton::Draw(const DRAWITEMSTRUCT& item) const
{
    const HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const int shift = pressed ? kPressedShift : 0;

    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    if (pressed)
        DrawEdge(dc, &rc, BDR_SUNKENOUTER, BF_RECT);

    RECT caption = rc;
    if (m_hIcon) {
        ICONINFO info{};
        int cx = 16, cy = 16;
        if (GetIconInfo(m_hIcon, &info)) {
            BITMAP bm{};
            if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bm, &bm)) {
                cx = bm.bmWidth;
                cy = bm.bmHeight;
            }
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
            if (info.hbmMask)
                DeleteObject(info.hbmMask);
        }
        const int x = rc.right - kMargin - cx + shift;
        const int y = rc.top + (rc.bottom - rc.top - cy) / 2 + shift;
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_hIcon), 0, x, y, cx, cy,
                   DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
        caption.right = x - kMargin;
    }

    wchar_t text[128] = L"";
    GetWindowTextW(item.hwndItem, text, 128);
    if (text[0]) {
        OffsetRect(&caption, shift, shift);
        // Measured first, so that a wrapped caption is centred as a block.
        RECT measured = caption;
        DrawTextW(dc, text, -1, &measured, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
        const int height = measured.bottom - measured.top;
        caption.top += (caption.bottom - caption.top - height) / 2;
        caption.bottom = caption.top + height;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        DrawTextW(dc, text, -1, &caption, DT_WORDBREAK | DT_CENTER);
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus = rc;
        InflateRect(&focus, -kMargin, -kMargin);
        DrawFocusRect(dc, &focus);
    }
}
