// Every handler of the panel on one screen, as a dialog's message map lists them: the buttons'
// commands, the menu commands, the registered serial message and the sliders' scroll codes.
#include "core/CommandLines.h"
#include "qt/panel/AboutDlg.h"
#include "core/MotionFormat.h"
#include "qt/panel/TarnikMDlg.h"
#include "qt/platform/NamedMessages.h"
#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"

namespace {

using FHandler = void (CTarnikMDlg::*)();

const struct {
    int id;
    FHandler handler;
} kCommands[] = {
    {IDC_BTN_MORELESS, &CTarnikMDlg::OnBnClickedMoreLess},
    {IDC_BTN_CONNECT, &CTarnikMDlg::OnBnClickedConnect},
    {IDC_BTN_REFRESH, &CTarnikMDlg::OnBnClickedRefresh},
    {IDC_BTN_PARK, &CTarnikMDlg::OnBnClickedPark},
    {IDC_BTN_START, &CTarnikMDlg::OnBnClickedStart},
    {IDC_BTN_END, &CTarnikMDlg::OnBnClickedEnd},
    {IDC_BTN_RESET, &CTarnikMDlg::OnBnClickedReset},
    {IDC_BTN_SETPARK, &CTarnikMDlg::OnBnClickedSetPark},
    {IDC_CHECK_ONTOP, &CTarnikMDlg::OnBnClickedAlwaysOnTop},
    {IDC_CHECK_RETAIN, &CTarnikMDlg::OnBnClickedRetainLastPos},
    {IDC_BTN_STATUS, &CTarnikMDlg::OnBnClickedStatus},
    {IDC_COMBO_BAUD, &CTarnikMDlg::OnCbnSelchangeBaud},
};

// The jog buttons and Home share one handler, which is told the button.
constexpr int kJogButtons[] = {IDC_BTN_XPLUS, IDC_BTN_XMINUS, IDC_BTN_YPLUS, IDC_BTN_YMINUS,
                               IDC_BTN_ZPLUS, IDC_BTN_ZMINUS, IDC_BTN_HOME};

// The panel's menu (right click), by command; the low four bits are the system's own.
const struct {
    UINT id;
    FHandler handler;
} kMenuCommands[] = {
    {IDM_ABOUTBOX, &CTarnikMDlg::OnAboutBox},
    {IDM_PINPORT, &CTarnikMDlg::OnPinSelectedPort},
    {IDM_UNPINPORT, &CTarnikMDlg::OnUnpinSelectedPort},
};

// A slider arrow is its axis's jog button with a step of exactly 1 mm. Y and Z are inverted: the
// upper arrow is the + direction.
const struct {
    int slider;
    UINT code;
    int button;
} kArrows[] = {
    {IDC_SCROLL_X, SB_LINELEFT, IDC_BTN_XMINUS}, {IDC_SCROLL_X, SB_LINERIGHT, IDC_BTN_XPLUS},
    {IDC_SCROLL_Y, SB_LINEUP, IDC_BTN_YPLUS},    {IDC_SCROLL_Y, SB_LINEDOWN, IDC_BTN_YMINUS},
    {IDC_SCROLL_Z, SB_LINEUP, IDC_BTN_ZPLUS},    {IDC_SCROLL_Z, SB_LINEDOWN, IDC_BTN_ZMINUS},
};

// A released thumb sends its axis to the thumb's place; the slider position is mm from the left
// (X) or from the top (Y, Z).
const struct {
    int slider;
    int axis;
    float fromTop;   // 0: the position is the value itself
} kThumbs[] = {
    {IDC_SCROLL_X, AXIS_X, 0.0f}, {IDC_SCROLL_Y, AXIS_Y, STAGE_Y_MAX}, {IDC_SCROLL_Z, AXIS_Z, STAGE_Z_MAX}};

} // namespace

void CTarnikMDlg::OnCommand(int id)
{
    for (const auto& c : kCommands)
        if (c.id == id) {
            (this->*c.handler)();
            return;
        }
    for (int jog : kJogButtons)
        if (jog == id) {
            OnJogButton(static_cast<UINT>(id));
            return;
        }
    CDialogBase::OnCommand(id);
}

void CTarnikMDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    for (const auto& c : kMenuCommands)
        if (c.id == (nID & 0xFFF0)) {
            (this->*c.handler)();
            return;
        }
    CDialogBase::OnSysCommand(nID, lParam);
}

bool CTarnikMDlg::event(QEvent* e)
{
    if (static_cast<UINT>(e->type()) == CSerialWnd::DefaultComMsg()) {
        const auto* msg = static_cast<CNamedMessageEvent*>(e);
        OnSerialMsg(msg->wParam(), msg->lParam());
        return true;
    }
    return CDialogBase::event(e);
}

void CTarnikMDlg::OnHScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar)
{
    OnScroll(nSBCode, nPos, pScrollBar);
    CDialogBase::OnHScroll(nSBCode, nPos, pScrollBar);
}

void CTarnikMDlg::OnVScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar)
{
    OnScroll(nSBCode, nPos, pScrollBar);
    CDialogBase::OnVScroll(nSBCode, nPos, pScrollBar);
}

void CTarnikMDlg::OnScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar)
{
    if (!CanMove())
        return;
    // Every notification re-states the units and absolute positioning, whatever it is.
    SendFixedLine(LINE_UNITS_MM);
    SendFixedLine(LINE_ABSOLUTE);
    if (nSBCode == SB_THUMBPOSITION) {
        for (const auto& t : kThumbs)
            if (pScrollBar == DlgItem<CScrollBarCtrl>(t.slider)) {
                const auto pos = static_cast<float>(nPos);
                ReleaseThumb(t.axis, t.fromTop > 0 ? t.fromTop - pos : pos, pScrollBar, static_cast<int>(nPos));
            }
        return;
    }
    if (nSBCode != SB_LINEUP && nSBCode != SB_LINEDOWN)
        return;   // trough clicks, dragging and the end of a scroll move nothing
    m_bSliderStep = TRUE;
    for (const auto& a : kArrows)
        if (a.code == nSBCode && pScrollBar == DlgItem<CScrollBarCtrl>(a.slider))
            OnJogButton(static_cast<UINT>(a.button));
}
