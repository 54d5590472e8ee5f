// Every event of the panel on one screen, as a dialog's message map lists them: the buttons'
// commands, the sliders' scroll codes, the jog keys and the port's notifications, each turned into
// the session's event.
#include "core/MotionFormat.h"
#include "res/PanelControls.h"
#include "platform/win32/Files.h"
#include "win32/JogKeys.h"
#include "win32/PanelDlg.h"

namespace {

ESliderCode SliderCode(UINT code)
{
    switch (code) {
    case SB_THUMBPOSITION: return ESliderCode::ThumbReleased;
    case SB_LINEUP: return ESliderCode::LineUpLeft;       // SB_LINELEFT too
    case SB_LINEDOWN: return ESliderCode::LineDownRight;  // SB_LINERIGHT too
    default: return ESliderCode::Other;
    }
}

} // namespace

void CPanelDlg::OnCommand(int id, int code)
{
    if (id == IDC_COMBO_BAUD) {
        if (code == CBN_SELCHANGE)
            OnCbnSelchangeBaud();
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case IDC_BTN_MORELESS: OnBnClickedMoreLess(); return;
    case IDC_BTN_CONNECT: Run(m_session.ConnectPressed()); return;
    case IDC_BTN_REFRESH: Run(m_session.RefreshPressed()); return;
    case IDC_BTN_STATUS: Run(m_session.StatusPressed()); return;
    case IDC_BTN_PARK: Run(m_session.ParkPressed()); return;
    case IDC_BTN_SETPARK: Run(m_session.SetParkPressed()); return;
    case IDC_BTN_START: Run(m_session.DepthStart()); return;
    case IDC_BTN_END: Run(m_session.DepthEnd()); return;
    case IDC_BTN_RESET: Run(m_session.DepthReset()); return;
    case IDC_CHECK_ONTOP: Run(m_session.OnTopToggled()); return;
    case IDC_CHECK_RETAIN: Run(m_session.RetainToggled()); return;
    // Esc asks as the close box does, so nothing is lost by a stray key; Enter away from a push
    // button does nothing.
    case IDCANCEL: Run(m_session.CloseRequested()); return;
    case IDOK: return;
    default: OnJogButton(id); return;
    }
}

void CPanelDlg::OnJogButton(int id)
{
    if (id == IDC_BTN_HOME) {
        Run(m_session.HomePressed());
        return;
    }
    for (const auto& j : kJogs)
        if (j.button == id)
            Run(m_session.JogPressed(j.axis, j.negative));
}

void CPanelDlg::OnScroll(HWND hBar, UINT code, UINT pos)
{
    const int id = hBar ? GetDlgCtrlID(hBar) : 0;
    const int axis = id == IDC_SCROLL_X ? AXIS_X : id == IDC_SCROLL_Y ? AXIS_Y : id == IDC_SCROLL_Z ? AXIS_Z : 0;
    if (axis != 0)
        Run(m_session.SliderScrolled(axis, SliderCode(code), static_cast<int>(pos)));
}

// The jog keys act whichever of the panel's controls has the focus, the editable boxes included.
bool CPanelDlg::PreTranslateMessage(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN || !m_hWnd || (msg.hwnd != m_hWnd && !IsChild(m_hWnd, msg.hwnd)))
        return false;
    SKeyPress key;
    key.key = JogKeyForKeyDown(static_cast<unsigned>(msg.wParam), static_cast<std::uintptr_t>(msg.lParam));
    key.autoRepeat = (msg.lParam & (1 << 30)) != 0;
    key.stamp = msg.time;
    key.alt = GetKeyState(VK_MENU) < 0;
    SEffects effects;
    if (!m_session.KeyPressed(key, effects))
        return false;
    Run(std::move(effects));
    return true;
}

// Breaks and line errors are not acted on. Received bytes are read after a short wait, so that
// bytes arriving meanwhile are read together with those that raised the event; a read that comes
// back full is followed by another.
void CPanelDlg::OnSerialMsg(WPARAM wParam)
{
    // Notifications already queued behind this one were posted for bytes that the read below takes
    // too, so one read answers them all. Wine's comm driver reports received characters for as
    // long as bytes wait unread, not once as they arrive: while the panel waits its 50 ms the
    // listener posts again and again, and one wait and read for each of those kept the panel from
    // its clicks and keys for a minute and more.
    MSG queued;
    while (PeekMessageW(&queued, m_hWnd, m_nSerialMsg, m_nSerialMsg, PM_REMOVE))
        wParam |= queued.wParam;
    const DWORD events = static_cast<DWORD>(wParam & 0xFFFF);
    if (events & SERIAL_EVENT_RECV)
        ReadReceived();
    // The device's last word: what it sent before it went has been read above.
    if (events & SERIAL_EVENT_VANISHED)
        Run(m_session.DeviceVanished());
}

void CPanelDlg::ReadReceived()
{
    char buffer[2048] = {};
    std::uint32_t count = 0;
    int reads = 0;
    do {
        ++reads;
        Sleep(50);
        count = 0;
        m_serial.Read(buffer, 2047, count);
        if (count > 2047)
            count = 0;
        // Only what was received is dropped: lines written that the controller has not taken yet
        // are commands, and discarding them would lose a move without a word.
        m_serial.PurgeReceived();
    } while (count == 2047);
    Run(m_session.Received({std::string_view(buffer, count), reads}));
}

void CPanelDlg::OnBnClickedMoreLess()
{
    m_expander.Toggle();
    Run(m_session.ExpanderToggled(m_expander.IsExpanded()));
}

void CPanelDlg::OnCbnSelchangeBaud()
{
    files::WriteSetting("Connection", "Baud", std::to_string(SelectedBaud()));
}
