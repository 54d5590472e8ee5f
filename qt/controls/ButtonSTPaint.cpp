// How the button paints itself: the drawing state is worked out afresh at every paint, then
// background, border, image, caption and focus rectangle are laid down in that order.
#include <QPainter>

#include "qt/controls/ButtonST.h"

namespace {

QRect ToQRect(const SRect& rc)
{
    return QRect(rc.left, rc.top, rc.Width(), rc.Height());
}

void FillSolid(QPainter& p, int x, int y, int cx, int cy, const QColor& cr)
{
    if (cx > 0 && cy > 0)
        p.fillRect(QRect(x, y, cx, cy), cr);
}

// A one-pixel frame just inside the rectangle.
void FrameRect(QPainter& p, const SRect& rc, const QColor& cr)
{
    FillSolid(p, rc.left, rc.top, rc.Width(), 1, cr);
    FillSolid(p, rc.left, rc.bottom - 1, rc.Width(), 1, cr);
    FillSolid(p, rc.left, rc.top, 1, rc.Height(), cr);
    FillSolid(p, rc.right - 1, rc.top, 1, rc.Height(), cr);
}

// A thin two-colour rectangle: the bottom and right edges own the corners they share with the
// top and left edges.
void Draw3dRect(QPainter& p, const SRect& rc, const QColor& crTopLeft, const QColor& crBottomRight)
{
    FillSolid(p, rc.left, rc.top, rc.Width() - 1, 1, crTopLeft);
    FillSolid(p, rc.left, rc.top, 1, rc.Height() - 1, crTopLeft);
    FillSolid(p, rc.right - 1, rc.top, 1, rc.Height(), crBottomRight);
    FillSolid(p, rc.left, rc.bottom - 1, rc.Width(), 1, crBottomRight);
}

// An axis-parallel line whose end point is left undrawn, so that joined segments share corners
// exactly once.
void LineExclusive(QPainter& p, QPoint a, QPoint b, const QColor& cr)
{
    if (a.y() == b.y()) {
        if (b.x() > a.x())
            FillSolid(p, a.x(), a.y(), b.x() - a.x(), 1, cr);
        else
            FillSolid(p, b.x() + 1, a.y(), a.x() - b.x(), 1, cr);
    } else {
        if (b.y() > a.y())
            FillSolid(p, a.x(), a.y(), 1, b.y() - a.y(), cr);
        else
            FillSolid(p, a.x(), b.y() + 1, 1, a.y() - b.y(), cr);
    }
}

void PolyLine(QPainter& p, QPoint a, QPoint b, QPoint c, const QColor& cr)
{
    LineExclusive(p, a, b, cr);
    LineExclusive(p, b, c, cr);
}

// Every other pixel of the rectangle's edge, so the focus mark reads on any background.
void DrawFocusRect(QPainter& p, const SRect& rc, const QColor& cr)
{
    if (rc.Width() <= 0 || rc.Height() <= 0)
        return;
    const auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0)
            p.fillRect(QRect(x, y, 1, 1), cr);
    };
    for (int x = rc.left; x < rc.right; ++x) {
        dot(x, rc.top);
        dot(x, rc.bottom - 1);
    }
    for (int y = rc.top + 1; y < rc.bottom - 1; ++y) {
        dot(rc.left, y);
        dot(rc.right - 1, y);
    }
}

constexpr int kTextFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic;

} // namespace

QColor CButtonST::BackColor() const
{
    if (m_bMouseOver || m_bDrawPressed)
        return m_crColors[BTNST_COLOR_BK_IN];
    return m_crColors[m_bDrawFocused ? BTNST_COLOR_BK_FOCUS : BTNST_COLOR_BK_OUT];
}

QColor CButtonST::TextColor() const
{
    if (m_bMouseOver || m_bDrawPressed)
        return m_crColors[BTNST_COLOR_FG_IN];
    return m_crColors[m_bDrawFocused ? BTNST_COLOR_FG_FOCUS : BTNST_COLOR_FG_OUT];
}

void CButtonST::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The pressed look is never stored: Qt's down state and the check state decide it each time.
    m_bDrawPressed = isDown() || (m_bCheckBox && m_nCheck != 0);
    m_bDrawFocused = hasFocus();
    m_bDrawDisabled = !isEnabled();

    const SRect rcItem{0, 0, width(), height()};
    SRect rcWork = rcItem;
    DrawButtonBackground(p, rcWork);
    DrawButtonBorder(p, rcWork);

    const QString sTitle = text();
    const BOOL bHasTitle = sTitle.isEmpty() ? FALSE : TRUE;
    SRect rcCaption = rcItem;
    if (m_Icons[ICON_HOT].hIcon)
        DrawButtonIcon(p, bHasTitle, rcItem, rcCaption, m_bDrawPressed, m_bDrawDisabled);
    if (bHasTitle)
        DrawButtonText(p, sTitle, rcItem, rcCaption, m_bDrawPressed, m_bDrawDisabled);

    // The flat look shows hover, not focus, unless asked to.
    if (m_bDrawFocused && (!m_bFlatStyle || m_bFlatFocusRect)) {
        SRect rcFocus = rcWork;
        rcFocus.Deflate(3);
        DrawFocusRect(p, rcFocus, TextColor());
    }
}

void CButtonST::DrawButtonBackground(QPainter& p, SRect& rcWork)
{
    if (!m_bFlatStyle && (m_bDrawFocused || m_bDefaultButton)) {
        FrameRect(p, rcWork, Qt::black);
        rcWork.Deflate(1);
    }
    FillSolid(p, rcWork.left, rcWork.top, rcWork.Width(), rcWork.Height(), BackColor());
}

void CButtonST::DrawButtonBorder(QPainter& p, const SRect& rcWork)
{
    const QPalette& pal = palette();
    const QColor crHighlight = pal.color(QPalette::Active, QPalette::Light);
    const QColor crLight = pal.color(QPalette::Active, QPalette::Midlight);
    const QColor crShadow = pal.color(QPalette::Active, QPalette::Dark);
    const QColor crDarkShadow = pal.color(QPalette::Active, QPalette::Shadow);

    if (m_bFlatStyle) {
        if (!m_bFlatBorder)
            return;
        if (m_bDrawPressed)
            Draw3dRect(p, rcWork, crShadow, crHighlight);
        else if (m_bMouseOver)
            Draw3dRect(p, rcWork, crHighlight, crShadow);
        return;
    }
    if (m_bDrawPressed) {
        FrameRect(p, rcWork, crShadow);
        return;
    }
    const int L = rcWork.left, T = rcWork.top, R = rcWork.right, B = rcWork.bottom;
    PolyLine(p, {L, B - 1}, {L, T}, {R, T}, crHighlight);
    PolyLine(p, {L + 1, B - 1}, {L + 1, T + 1}, {R, T + 1}, crLight);
    PolyLine(p, {L, B - 1}, {R - 1, B - 1}, {R - 1, T - 1}, crDarkShadow);
    PolyLine(p, {L + 1, B - 2}, {R - 2, B - 2}, {R - 2, T}, crShadow);
}

SRect CButtonST::PrepareImageRect(BOOL bHasTitle, const SRect& rcItem, SRect& rcCaption, BOOL bIsPressed,
                                  DWORD dwWidth, DWORD dwHeight) const
{
    const int w = static_cast<int>(dwWidth), h = static_cast<int>(dwHeight);
    SRect rcImage = rcItem;
    switch (m_byImagePlace) {
    case IMAGE_LEFT:
        if (!bHasTitle) {
            rcImage.left += (rcImage.Width() - w) / 2;
        } else {
            rcImage.left += m_ptImageMargin.x();
            rcCaption.left += w + m_ptImageMargin.x();
        }
        rcImage.top += (rcImage.Height() - h) / 2;
        break;
    case IMAGE_ABOVE:
        rcImage.left += (rcImage.Width() - w) / 2;
        if (bHasTitle) {
            rcImage.top = m_ptImageMargin.y();
            rcCaption.top += h;
        } else {
            rcImage.top += (rcImage.Height() - h) / 2;
        }
        break;
    case IMAGE_RIGHT:
        if (!bHasTitle) {
            // Not centred vertically: the status icon sits on the top edge, as it always has.
            rcImage.left += (rcImage.Width() - w) / 2;
        } else {
            rcCaption.right -= m_ptImageMargin.x() + rcCaption.left + w;
            rcCaption.left = m_ptImageMargin.x();
            rcImage.left = width() - m_ptImageMargin.x() - w;
            rcImage.top += (rcImage.Height() - h) / 2;
        }
        break;
    default:
        break;
    }
    // A checked check box is drawn pressed but stays put: only a push button sinks.
    if (bIsPressed && !m_bCheckBox)
        rcImage.Offset(m_ptPressedShift.x(), m_ptPressedShift.y());
    return rcImage;
}

void CButtonST::DrawButtonIcon(QPainter& p, BOOL bHasTitle, const SRect& rcItem, SRect& rcCaption,
                               BOOL bIsPressed, BOOL bIsDisabled)
{
    // A check box shows its hot icon only while pressed or checked, a push button while hovered
    // or pressed.
    const bool bRest = m_Icons[ICON_REST].hIcon && !bIsPressed && (m_bCheckBox || !m_bMouseOver);
    const SIconSlot& slot = m_Icons[bRest ? ICON_REST : ICON_HOT];
    const SRect rcImage = PrepareImageRect(bHasTitle, rcItem, rcCaption, bIsPressed, slot.dwWidth, slot.dwHeight);
    const QImage& img = bIsDisabled && !slot.hIcon->disabledLook.isNull() ? slot.hIcon->disabledLook
                                                                           : slot.hIcon->image;
    p.drawImage(QPoint(rcImage.left, rcImage.top), img);
}

void CButtonST::DrawButtonText(QPainter& p, const QString& sTitle, const SRect&, SRect& rcCaption,
                               BOOL bIsPressed, BOOL bIsDisabled)
{
    if (bIsPressed && !m_bCheckBox)
        rcCaption.Offset(m_ptPressedShift.x(), m_ptPressedShift.y());

    // Measure the wrapped text at the caption's width, then centre the block in the caption
    // rectangle both ways.
    const SRect rcK = rcCaption;
    const QSize sz = p.fontMetrics()
                         .boundingRect(QRect(0, 0, qMax(rcK.Width(), 0), 0x7FFF), kTextFlags, sTitle)
                         .size();
    rcCaption = SRect{rcK.left, rcK.top, rcK.left + sz.width(), rcK.top + sz.height()};
    rcCaption.Offset((rcK.Width() - rcCaption.Width()) / 2, (rcK.Height() - rcCaption.Height()) / 2);

    if (bIsDisabled) {
        // Engraved: a highlight one pixel down and right, the shadow on top.
        const QPalette& pal = palette();
        rcCaption.Offset(1, 1);
        p.setPen(pal.color(QPalette::Active, QPalette::Light));
        p.drawText(ToQRect(rcCaption), kTextFlags, sTitle);
        rcCaption.Offset(-1, -1);
        p.setPen(pal.color(QPalette::Active, QPalette::Dark));
        p.drawText(ToQRect(rcCaption), kTextFlags, sTitle);
        return;
    }
    p.setPen(TextColor());
    p.drawText(ToQRect(rcCaption), kTextFlags, sTitle);
}
