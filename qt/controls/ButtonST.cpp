// The button's behaviour: attaching to a dialog's control, icons, check state, default flag,
// hover tracking, colours, and where the focus goes when it is disabled. Painting is in
// ButtonSTPaint.cpp.
#include "qt/controls/ButtonST.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOption>

#include "qt/platform/DialogBase.h"

CButtonST::CButtonST()
{
    // Enter must never press a button the operator did not focus (the dialogs' rule).
    setAutoDefault(false);
    // Hover is tracked from plain mouse moves, without a button held.
    setMouseTracking(true);
    ResetColors();
    // Connected before anyone else can connect: the button's own click handling (focus, check
    // toggle) is done by the time the dialog's command handler looks at it.
    connect(this, &QAbstractButton::clicked, this, &CButtonST::OnClicked);
}

CButtonST::~CButtonST()
{
    FreeResources();
}

BOOL CButtonST::SubclassDlgItem(int nID, CDialogBase* pParent)
{
    QWidget* pOld = pParent ? pParent->GetDlgItem(nID) : nullptr;
    if (!pOld || pOld == this)
        return FALSE;
    PreSubclassWindow(pParent->GetDlgItemStyle(nID));
    // Taking over a disabled control is not an act of disabling: settle the state while the
    // button has no parent yet, so that no focus moves.
    setEnabled(pOld->isEnabled());
    pParent->ReplaceDlgItem(nID, this);
    setProperty("dlgStyle", static_cast<uint>(m_dwStyle));
    return TRUE;
}

void CButtonST::PreSubclassWindow(DWORD dwStyle)
{
    const DWORD dwType = (dwStyle & 0xFFFFu) & BS_TYPEMASK;
    // Only the check bit counts: an owner-drawn (11) or auto three-state (6) type is a check box
    // too, a plain three-state (5) or radio type is not.
    if (dwType & BS_CHECKBOX)
        m_bCheckBox = TRUE;
    if (dwType == BS_DEFPUSHBUTTON)
        SetDefaultButton(TRUE);
    m_dwStyle = (dwStyle & ~BS_TYPEMASK) | BS_OWNERDRAW;
}

QSize CButtonST::GetIconSize(int nSlot) const
{
    const SIconSlot& slot = m_Icons[nSlot];
    if (!slot.hIcon)
        return {};
    return QSize(static_cast<int>(slot.dwWidth), static_cast<int>(slot.dwHeight));
}

int CButtonST::SetButtonIcons(HICON hIconHot, HICON hIconRest)
{
    FreeResources();
    // The same icon in both slots would be released twice; showing it at rest is what an empty
    // rest slot does anyway.
    if (hIconRest == hIconHot)
        hIconRest = nullptr;
    if (!hIconHot) {
        DestroyButtonIcon(hIconRest);
        update();
        return 0;
    }
    if (!FillIconSlot(ICON_HOT, hIconHot)) {
        FreeResources();
        DestroyButtonIcon(hIconRest);
        return 1;
    }
    if (hIconRest) {
        if (hIconRest == ICON_REST_DIM)
            hIconRest = CreateDimIcon(hIconHot);
        else if (hIconRest == ICON_REST_GREY)
            hIconRest = CreateGreyIcon(hIconHot);
        if (!FillIconSlot(ICON_REST, hIconRest)) {
            FreeResources();
            return 1;
        }
    }
    MakeDisabledLooks();
    update();
    return 0;
}

BOOL CButtonST::FillIconSlot(int nSlot, HICON hIcon)
{
    SIconSlot& slot = m_Icons[nSlot];
    // Stored before it is read, so that a failure releases it with everything else.
    slot.hIcon = hIcon;
    if (!hIcon || hIcon->image.isNull())
        return FALSE;
    slot.dwWidth = static_cast<DWORD>(hIcon->image.width());
    slot.dwHeight = static_cast<DWORD>(hIcon->image.height());
    return TRUE;
}

void CButtonST::FreeResources()
{
    for (SIconSlot& slot : m_Icons) {
        DestroyButtonIcon(slot.hIcon);
        slot = SIconSlot{};
    }
}

void CButtonST::MakeDisabledLooks()
{
    // The style's own disabled look, made once per icon and again only when the style or the
    // palette changes, never while painting.
    QStyleOption opt;
    opt.initFrom(this);
    for (SIconSlot& slot : m_Icons)
        if (slot.hIcon && !slot.hIcon->image.isNull())
            slot.hIcon->disabledLook =
                style()->generatedIconPixmap(QIcon::Disabled, QPixmap::fromImage(slot.hIcon->image), &opt)
                    .toImage();
}

void CButtonST::SetImagePlace(BYTE byPlace)
{
    m_byImagePlace = byPlace;
    update();
}

void CButtonST::SetCheck(int nCheck)
{
    if (!m_bCheckBox)
        return;
    m_nCheck = (nCheck == 1 || nCheck == 2) ? 1 : 0;
    update();
}

void CButtonST::SetButtonStyle(DWORD dwStyle)
{
    const DWORD dwType = dwStyle & BS_TYPEMASK;
    if (dwType == BS_DEFPUSHBUTTON)
        SetDefaultButton(TRUE);
    else if (dwType == BS_PUSHBUTTON)
        SetDefaultButton(FALSE);
    // Moving the default button around must never turn this into a standard button.
    m_dwStyle = (m_dwStyle & 0xFFFF0000u) | (dwStyle & 0xFFFFu & ~BS_TYPEMASK) | BS_OWNERDRAW;
    setProperty("dlgStyle", static_cast<uint>(m_dwStyle));
    update();
}

void CButtonST::SetDefaultButton(BOOL bDefault)
{
    m_bDefaultButton = bDefault ? TRUE : FALSE;
    setDefault(m_bDefaultButton != FALSE);
    update();
}

void CButtonST::SetFlat(BOOL bFlat)
{
    m_bFlatStyle = bFlat ? TRUE : FALSE;
    update();
}

void CButtonST::SetColor(int nIndex, const QColor& cr)
{
    if (nIndex < 0 || nIndex >= BTNST_MAX_COLORS)
        return;
    m_crColors[nIndex] = cr;
    update();
}

void CButtonST::ResetColors()
{
    const QColor crFace = palette().color(QPalette::Active, QPalette::Button);
    const QColor crText = palette().color(QPalette::Active, QPalette::ButtonText);
    for (int i = 0; i < BTNST_MAX_COLORS; i += 2) {
        m_crColors[i] = crFace;
        m_crColors[i + 1] = crText;
    }
}

void CButtonST::OnClicked()
{
    setFocus(Qt::MouseFocusReason);
    if (m_bCheckBox) {
        m_nCheck = m_nCheck ? 0 : 1;
        update();
    }
}

void CButtonST::mouseMoveEvent(QMouseEvent* e)
{
    QPushButton::mouseMoveEvent(e);
    TrackHover(e->position().toPoint(), e->buttons());
}

void CButtonST::enterEvent(QEnterEvent* e)
{
    QPushButton::enterEvent(e);
    // The pointer may come to rest on the button without a move following the enter.
    TrackHover(e->position().toPoint(), QApplication::mouseButtons());
}

void CButtonST::TrackHover(const QPoint& pos, Qt::MouseButtons buttons)
{
    // While a button is held the mouse is grabbed and moves arrive from anywhere.
    const bool bOverThis = rect().contains(pos);
    // A drag that passes over the button must not light it up.
    if ((buttons & Qt::LeftButton) && !m_bMouseOver)
        return;
    if (!m_bFlatStyle)
        return;
    const QWidget* pTracking = m_bTrackAlways ? this : QApplication::activeWindow();
    if (bOverThis && pTracking) {
        if (m_bMouseOver)
            return;
        m_bMouseOver = TRUE;
        update();
        return;
    }
    LeaveHover();
}

void CButtonST::LeaveHover()
{
    if (m_bFlatStyle && m_bMouseOver) {
        m_bMouseOver = FALSE;
        update();
    }
}

void CButtonST::mouseDoubleClickEvent(QMouseEvent* e)
{
    // Two quick clicks are two clicks, not one click and a lost press.
    mousePressEvent(e);
}

void CButtonST::leaveEvent(QEvent* e)
{
    QPushButton::leaveEvent(e);
    LeaveHover();
}

void CButtonST::focusOutEvent(QFocusEvent* e)
{
    QPushButton::focusOutEvent(e);
    LeaveHover();
}

void CButtonST::changeEvent(QEvent* e)
{
    QPushButton::changeEvent(e);
    switch (e->type()) {
    case QEvent::EnabledChange:
        // Only this button being disabled counts, not a disabled container taking it along.
        if (!isEnabled() && testAttribute(Qt::WA_ForceDisabled)) {
            MoveFocusOn();
            LeaveHover();
        }
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            LeaveHover();
        break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        // Custom colours give way to the new system colours, as they always have.
        ResetColors();
        MakeDisabledLooks();
        update();
        break;
    default:
        break;
    }
}

void CButtonST::MoveFocusOn()
{
    // Whether or not this button had the focus, the next tab stop after it gets it: the keyboard
    // must never be left on a control that cannot act.
    QWidget* pParent = parentWidget();
    if (!pParent)
        return;
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (pParent->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()
            && w->isVisibleTo(pParent)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    pParent->setFocus(Qt::OtherFocusReason);
}
