// The session's effects carried out on this window and its port, in the order the session gives
// them, and what the session reads from the window: the jog boxes and the Retain box.
#include <QComboBox>
#include <QLabel>
#include <QThread>

#include "qt/controls/ButtonST.h"
#include "qt/panel/ConfigFile.h"
#include "qt/panel/TarnikMDlg.h"
#include "qt/platform/MessageBox.h"
#include "qt/platform/TraceLog.h"
#include "qt/res/Resources.h"
#include "qt/serial/SerialWnd.h"
#include "res/PanelControls.h"

namespace {

QString FromLatin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

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

std::string CTarnikMDlg::BoxText(EControl control) const
{
    const int id = ControlId(control);
    if (control == EControl::RetainCheck || control == EControl::OnTopCheck)
        return IsDlgButtonChecked(id) == 1 ? "1" : "0";
    return GetDlgItemText(id).toLatin1().toStdString();
}


// Effects run in order. A line that did not go out whole ends the connection (the session says
// how) and what was to follow it is dropped: it was meant for a connection that no longer is.
void CTarnikMDlg::Run(SEffects effects)
{
    m_session.Mirror(*this);
    for (const SEffect& effect : effects)
        if (!RunOne(effect))
            break;
    m_session.Mirror(*this);
}

bool CTarnikMDlg::RunOne(const SEffect& e)
{
    switch (e.kind) {
    case EEffect::SendLine: {
        if (!m_pSerial->IsOpen())
            return true;
        const LONG rc = m_pSerial->WriteText(e.text.c_str());
        if (rc == ERROR_SUCCESS)
            return true;
        Run(m_session.WriteFailed(rc));
        return false;
    }
    case EEffect::Pause: QThread::msleep(static_cast<unsigned long>(e.Number())); break;
    case EEffect::OpenPort: OpenPort(); break;
    case EEffect::PurgePort: m_pSerial->Purge(); break;
    case EEffect::ClosePort: m_pSerial->Close(); break;
    case EEffect::ListPorts: EnumeratePorts(); break;
    case EEffect::SetText: SetDlgItemText(ControlId(e.control), FromLatin1(e.text)); break;
    case EEffect::Check: CheckDlgButton(ControlId(e.control), e.flag ? 1 : 0); break;
    case EEffect::ConnectedLook: SetConnectedState(e.flag); break;
    case EEffect::MotionControls: EnableMotionControls(e.flag); break;
    case EEffect::StatusButton: ShowStatusButton(e.flag); break;
    case EEffect::ReadoutLive: ShowReadoutLive(e.flag); break;
    case EEffect::Thumbs: ShowThumbs(e.numbers); break;
    case EEffect::Thumb: {
        CScrollBarCtrl* bars[] = {m_sbX, m_sbY, m_sbZ};
        bars[e.axis]->SetScrollPos(e.Number());
        break;
    }
    case EEffect::Box: ShowBox(e); break;
    case EEffect::Trace: WriteTraceLog(FromLatin1(e.text)); break;
    case EEffect::Store:
        WriteConfigString(g_strConfigFile, FromLatin1(e.caption), FromLatin1(e.key), FromLatin1(e.text));
        break;
    case EEffect::StartTimer: SetTimer(CONNECT_TIMER_ID, CONNECT_TIMER_MS); break;
    case EEffect::StopTimer: KillTimer(CONNECT_TIMER_ID); break;
    case EEffect::TopMost: PlaceTopMost(e.flag); break;
    case EEffect::ToggleExpander: OnBnClickedMoreLess(); break;
    case EEffect::CloseWindow: CDialogBase::OnClose(); break;
    }
    return true;
}

// A box is modal: the event loop runs while it is up, and the session may hear from the port or
// the operator meanwhile. What its closing leads to comes from the session afterwards.
void CTarnikMDlg::ShowBox(const SEffect& e)
{
    const int answer = MessageBox(this, FromLatin1(e.text), FromLatin1(e.caption), BoxType(e.style));
    Run(m_session.BoxClosed(answer == IDOK));
}

// The device opened is the one the list showed, never a fresh resolution of its COM number.
void CTarnikMDlg::OpenPort()
{
    const QString device = m_cmbPort->currentIndex() >= 0 ? m_cmbPort->currentData().toString() : QString();
    RememberSelectedPort();
    bool opened = false;
    bool configured = false;
    if (!device.isEmpty() && m_pSerial->Open(device.toStdString(), this, 0, 0, 0, 0) == ERROR_SUCCESS) {
        opened = true;
        configured = m_pSerial->ConfigureLine(SelectedBaud(), 8, 0, 0) == ERROR_SUCCESS;
        if (configured)
            m_pSerial->ConfigureReadMode(CSerial::EReadNonBlocking);
    }
    Run(m_session.LineReady(opened, configured));
}

void CTarnikMDlg::ShowConnectionIcon(int iconId) { m_lblConnIcon->setPixmap(LoadResIcon(iconId).scaled(16, 16)); }

void CTarnikMDlg::SetConnectedState(bool bConnected)
{
    for (int id : kDisconnectedOnly)
        EnableDlgItem(id, !bConnected);
    EnableMotionControls(bConnected);
    ShowConnectionIcon(bConnected ? IDI_CONNECTED : IDI_DISCONNECTED);
}

void CTarnikMDlg::EnableMotionControls(bool bEnable)
{
    for (int id : kConnectedOnly)
        EnableDlgItem(id, bEnable);
}

void CTarnikMDlg::ShowStatusButton(bool bConnected)
{
    if (m_btnStatus)
        m_btnStatus->SetButtonIcons(CreateButtonIcon(LoadResIcon(bConnected ? IDI_CONNECTED : IDI_DISCONNECTED)),
                                    nullptr);
}

// The look alone: a controller that stopped answering dims what it last reported, which stays the
// position this connection reported. A disabled label is drawn in the style's dim text colour; the
// sliders are disabled anyway whenever the panel is not connected.
void CTarnikMDlg::ShowReadoutLive(bool live)
{
    EnableDlgItem(IDC_STATIC_CURPOS, live);
    const QString description = live ? QStringLiteral("live position") : QStringLiteral("last known position, not live");
    for (QWidget* w : {GetDlgItem(IDC_STATIC_CURPOS), static_cast<QWidget*>(m_sbX), static_cast<QWidget*>(m_sbY),
                       static_cast<QWidget*>(m_sbZ)})
        w->setAccessibleDescription(description);
}

void CTarnikMDlg::ShowThumbs(const std::array<int, 3>& positions)
{
    m_sbX->SetScrollPos(positions[0]);
    m_sbY->SetScrollPos(positions[1]);
    m_sbZ->SetScrollPos(positions[2]);
}
