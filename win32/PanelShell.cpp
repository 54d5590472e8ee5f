// The session's effects carried out on this window and its port, in the order the session gives
// them, and what the session reads from the window: the jog boxes and the two option boxes.
#include "res/PanelControls.h"
#include "platform/win32/Files.h"
#include "win32/PanelDlg.h"
#include "platform/win32/Text.h"

namespace {

constexpr int kSliders[] = {IDC_SCROLL_X, IDC_SCROLL_Y, IDC_SCROLL_Z};

UINT BoxType(EBoxStyle style)
{
    switch (style) {
    case EBoxStyle::OkWarning: return MB_OK | MB_ICONWARNING;
    case EBoxStyle::OkCancelQuestion: return MB_OKCANCEL | MB_ICONQUESTION;
    case EBoxStyle::Ok: break;
    }
    return MB_OK;
}

} // namespace

std::string CPanelDlg::BoxText(EControl control) const
{
    const int id = ControlId(control);
    if (control == EControl::RetainCheck || control == EControl::OnTopCheck)
        return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED ? "1" : "0";
    const HWND item = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return ToLatin1(text);
}


// Effects run in order. A line that did not go out whole ends the connection (the session says
// how) and what was to follow it is dropped: it was meant for a connection that no longer is.
void CPanelDlg::Run(SEffects effects)
{
    m_session.Mirror(*this);
    for (const SEffect& effect : effects)
        if (!RunOne(effect))
            break;
    m_session.Mirror(*this);
}

bool CPanelDlg::RunOne(const SEffect& e)
{
    // The window may have gone while a box was up (the operator confirmed closing).
    if (!m_hWnd && e.kind != EEffect::SendLine && e.kind != EEffect::Pause && e.kind != EEffect::Trace &&
        e.kind != EEffect::Store && e.kind != EEffect::ClosePort && e.kind != EEffect::PurgePort)
        return true;
    switch (e.kind) {
    case EEffect::SendLine: {
        if (!m_serial.IsOpen())
            return true;
        const std::int32_t rc = m_serial.WriteText(e.text.c_str());
        if (rc == 0)
            return true;
        Run(m_session.WriteFailed(rc));
        return false;
    }
    case EEffect::Pause: Sleep(static_cast<DWORD>(e.Number())); break;
    case EEffect::OpenPort: OpenPort(); break;
    case EEffect::PurgePort: m_serial.Purge(); break;
    case EEffect::ClosePort: m_serial.Close(); break;
    case EEffect::ListPorts: EnumeratePorts(); break;
    case EEffect::SetText: SetDlgItemTextW(m_hWnd, ControlId(e.control), FromLatin1(e.text).c_str()); break;
    case EEffect::Check: CheckDlgButton(m_hWnd, ControlId(e.control), e.flag ? BST_CHECKED : BST_UNCHECKED); break;
    case EEffect::ConnectedLook: SetConnectedState(e.flag); break;
    case EEffect::MotionControls: EnableMotionControls(e.flag); break;
    case EEffect::StatusButton:
        m_btnStatus.SetIcon(e.flag ? IDI_CONNECTED : IDI_DISCONNECTED);
        InvalidateRect(Item(IDC_BTN_STATUS), nullptr, TRUE);
        break;
    case EEffect::ReadoutLive: EnableItem(IDC_STATIC_CURPOS, e.flag); break;
    case EEffect::Thumbs: ShowThumbs(e.numbers); break;
    case EEffect::Thumb:
        if (e.axis >= 0 && e.axis < 3)
            SetScrollPos(Item(kSliders[e.axis]), SB_CTL, e.Number(), TRUE);
        break;
    case EEffect::Box: ShowBox(e); break;
    case EEffect::Trace: files::WriteTraceLog(e.text); break;
    case EEffect::Store: files::WriteSetting(e.caption, e.key, e.text); break;
    case EEffect::StartTimer: SetTimer(m_hWnd, CONNECT_TIMER_ID, CONNECT_TIMER_MS, nullptr); break;
    case EEffect::StopTimer: KillTimer(m_hWnd, CONNECT_TIMER_ID); break;
    case EEffect::TopMost: PlaceTopMost(e.flag); break;
    case EEffect::ToggleExpander: OnBnClickedMoreLess(); break;
    case EEffect::CloseWindow: DestroyWindow(m_hWnd); break;
    }
    return true;
}

// A box is modal: messages keep coming while it is up, and the session may hear from the port or
// the operator meanwhile. What its closing leads to comes from the session afterwards.
void CPanelDlg::ShowBox(const SEffect& e)
{
    const int answer = MessageBoxW(m_hWnd, FromLatin1(e.text).c_str(), FromLatin1(e.caption).c_str(), BoxType(e.style));
    Run(m_session.BoxClosed(answer == IDOK));
}

// The device opened is the one the list showed.
void CPanelDlg::OpenPort()
{
    const LRESULT selected = SendMessageW(Item(IDC_COMBO_PORT), CB_GETCURSEL, 0, 0);
    const std::string device =
        selected >= 0 && static_cast<size_t>(selected) < m_ports.size() ? m_ports[selected].strDevice : std::string();
    bool opened = false;
    bool configured = false;
    if (!device.empty() && m_serial.Open(device, m_hWnd) == 0) {
        opened = true;
        configured = m_serial.ConfigureLine(SelectedBaud()) == 0;
    }
    Run(m_session.LineReady(opened, configured));
}

void CPanelDlg::EnableItem(int id, bool enable) { EnableWindow(Item(id), enable ? TRUE : FALSE); }

void CPanelDlg::SetConnectedState(bool bConnected)
{
    for (int id : kDisconnectedOnly)
        EnableItem(id, !bConnected);
    EnableMotionControls(bConnected);
    ShowConnectionIcon(bConnected ? IDI_CONNECTED : IDI_DISCONNECTED);
}

void CPanelDlg::EnableMotionControls(bool bEnable)
{
    for (int id : kConnectedOnly)
        EnableItem(id, bEnable);
}

void CPanelDlg::ShowConnectionIcon(int iconId)
{
    const HICON icon = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16, 16, 0));
    if (!icon)
        return;
    SendDlgItemMessageW(m_hWnd, IDC_ICON_CONN, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    if (m_hConnIcon)
        DestroyIcon(m_hConnIcon);
    m_hConnIcon = icon;
}

void CPanelDlg::ShowThumbs(const std::array<int, 3>& positions)
{
    for (int axis = 0; axis < 3; ++axis)
        SetScrollPos(Item(kSliders[axis]), SB_CTL, positions[axis], TRUE);
}
