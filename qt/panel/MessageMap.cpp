// Every handler of the panel on one screen, as a dialog's message map lists them: the buttons'
// commands, the menu commands, the registered serial message, the sliders' scroll codes and the
// jog keys, each turned into the session's event.
#include "qt/panel/AboutDlg.h"
#include <QKeyEvent>

#include "core/MotionFormat.h"
#include "qt/panel/JogKeys.h"
#include "qt/panel/TarnikMDlg.h"
#include "qt/platform/NamedMessages.h"
#include "res/PanelControls.h"
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
    const int axis = pScrollBar == m_sbX ? AXIS_X : pScrollBar == m_sbY ? AXIS_Y : pScrollBar == m_sbZ ? AXIS_Z : 0;
    if (axis == 0)
        return;
    const ESliderCode code = nSBCode == SB_THUMBPOSITION ? ESliderCode::ThumbReleased
                             : nSBCode == SB_LINEUP      ? ESliderCode::LineUpLeft
                             : nSBCode == SB_LINEDOWN    ? ESliderCode::LineDownRight
                                                         : ESliderCode::Other;
    Run(m_session.SliderScrolled(axis, code, static_cast<int>(nPos)));
}

void CTarnikMDlg::OnJogButton(UINT nID)
{
    if (nID == IDC_BTN_HOME) {
        Run(m_session.HomePressed());
        return;
    }
    for (const auto& j : kJogs)
        if (j.button == static_cast<int>(nID))
            Run(m_session.JogPressed(j.axis, j.negative));
}

bool CTarnikMDlg::PreTranslateMessage(QObject* receiver, QKeyEvent* e)
{
    Q_UNUSED(receiver);
    if (e->type() != QEvent::KeyPress)
        return false;
    SKeyPress key;
    key.key = JogKeyForQtKey(e->key(), e->nativeScanCode());
    key.autoRepeat = e->isAutoRepeat();
    key.stamp = e->timestamp();
    key.alt = (e->modifiers() & Qt::AltModifier) != 0;
    SEffects effects;
    if (!m_session.KeyPressed(key, effects))
        return false;
    Run(std::move(effects));
    return true;
}

void CTarnikMDlg::OnBnClickedPark() { Run(m_session.ParkPressed()); }
void CTarnikMDlg::OnBnClickedSetPark() { Run(m_session.SetParkPressed()); }
void CTarnikMDlg::OnBnClickedStart() { Run(m_session.DepthStart()); }
void CTarnikMDlg::OnBnClickedEnd() { Run(m_session.DepthEnd()); }
void CTarnikMDlg::OnBnClickedReset() { Run(m_session.DepthReset()); }
void CTarnikMDlg::OnBnClickedRetainLastPos() { Run(m_session.RetainToggled()); }
void CTarnikMDlg::OnBnClickedAlwaysOnTop() { Run(m_session.OnTopToggled()); }

void CTarnikMDlg::OnBnClickedMoreLess()
{
    m_expander.Toggle();
    Run(m_session.ExpanderToggled(m_expander.IsExpanded()));
}
