// Connecting to the stage controller and tearing the connection down: the Connect button's two
// branches, the connection timer, the handshake and the moment the panel switches to its connected
// look. The port list itself lives in PortList.cpp.
#include <QComboBox>
#include <QLabel>

#include "controls/ButtonST.h"
#include "panel/TarnikMDlg.h"
#include "platform/MessageBox.h"
#include "res/Resource.h"
#include "res/Resources.h"
#include "serial/SerialWnd.h"

namespace {

// Enabled only while connected, in the order they are switched.
constexpr int kConnectedOnly[] = {
    IDC_COMBO_XYDIST, IDC_COMBO_XYSPEED, IDC_COMBO_ZDIST, IDC_BTN_HOME,  IDC_BTN_PARK,    IDC_BTN_XMINUS,
    IDC_BTN_YMINUS,   IDC_BTN_ZMINUS,    IDC_BTN_XPLUS,   IDC_BTN_YPLUS, IDC_BTN_ZPLUS,   IDC_SCROLL_X,
    IDC_SCROLL_Y,     IDC_SCROLL_Z,      IDC_BTN_SETPARK, IDC_BTN_START, IDC_BTN_END,     IDC_BTN_RESET,
};
constexpr int kDisconnectedOnly[] = {IDC_COMBO_PORT, IDC_COMBO_BAUD, IDC_BTN_REFRESH};

const QString kConnectionErrorText = QStringLiteral("Please Check COM Port number");
const QString kConnectionErrorCaption = QStringLiteral("Connection Error");

} // namespace

void CTarnikMDlg::ShowConnectionIcon(int iconId)
{
    if (auto* icon = DlgItem<QLabel>(IDC_ICON_CONN))
        icon->setPixmap(LoadResIcon(iconId).scaled(16, 16));
}

void CTarnikMDlg::SetConnectedState(BOOL bConnected)
{
    for (int id : kDisconnectedOnly)
        EnableDlgItem(id, !bConnected);
    for (int id : kConnectedOnly)
        EnableDlgItem(id, bConnected);
    ShowConnectionIcon(bConnected ? IDI_CONNECTED : IDI_DISCONNECTED);
    SetDlgItemText(IDC_STATIC_CONN, bConnected ? QStringLiteral("Connected") : QStringLiteral("Disconnected"));
    m_bConnectedLook = bConnected;
}

// The distance and speed boxes keep what they show in both directions: what System.cfg stored,
// or what the operator chose, never the defaults again.
void CTarnikMDlg::OnBnClickedConnect()
{
    if (!m_bReadyToConnect) {
        KillTimer(CONNECT_TIMER_ID);
        m_pSerial->Close();
        m_bReadyToConnect = TRUE;
        m_bConnected = FALSE;
        AdvanceConnectPhase(EConnectEvent::Disconnect);
        SetConnectedState(FALSE);
        SetDlgItemText(IDC_BTN_CONNECT, QStringLiteral("Connect"));
        OnBnClickedReset();
        EnumeratePorts();
        m_bRetainLastPos = IsDlgButtonChecked(IDC_CHECK_RETAIN) == 1;
        // A connection that never reported a position has nothing to store: the point kept from
        // an earlier session stays.
        if (m_bRetainLastPos && m_bPositionLive)
            SaveLastPosition();
        m_bHandshakeDone = false;
        SetPositionLive(false);
        return;
    }

    SetDlgItemText(IDC_BTN_CONNECT, QStringLiteral("Connecting..."));
    AdvanceConnectPhase(EConnectEvent::Connect);
    m_bReadyToConnect = FALSE;
    m_bHandshakeDone = false;
    m_bPositionLive = false;
    m_plan.Reset();
    SetTimer(CONNECT_TIMER_ID, CONNECT_TIMER_MS);
    m_nTimeoutTicks = 0;

    // Each early stop leaves the panel connecting: the time-out tells the operator. The device
    // opened is the one the list showed, never a fresh resolution of its COM number, which may
    // name another machine once a USB adapter came or went.
    auto* ports = DlgItem<QComboBox>(IDC_COMBO_PORT);
    const QString device = ports && ports->currentIndex() >= 0 ? ports->currentData().toString() : QString();
    RememberSelectedPort();
    if (device.isEmpty())
        return;
    if (m_pSerial->Open(device.toStdString(), this, 0, 0, 0, 0) != ERROR_SUCCESS)
        return;
    if (m_pSerial->ConfigureLine(SelectedBaud(), 8, 0, 0) != ERROR_SUCCESS)
        return;
    m_pSerial->ConfigureReadMode(CSerial::EReadNonBlocking);
    LoadRetainLastPos();
    if (m_bRetainLastPos)
        RestoreLastPosition();
    m_pSerial->WriteText("M105\n");
}

void CTarnikMDlg::OnTimer(UINT_PTR nIDEvent)
{
    Q_UNUSED(nIDEvent);
    if (m_bReadyToConnect)
        return;   // a tick that was already queued when the connection ended
    ++m_nTimeoutTicks;
    if (m_nTimeoutTicks > CONNECT_TIMEOUT_TICKS && !IsConnectionComplete()) {
        ReportConnectionError();
        return;
    }
    // Most boards reboot when their port opens and miss the first query in their boot loader:
    // ask again on every tick until one answers.
    if (!m_bHandshakeDone && m_pSerial->IsOpen())
        SendFixedLine("M105\n");
}

bool CTarnikMDlg::AdvanceConnectPhase(EConnectEvent event)
{
    const std::optional<int> next = NextConnectPhase(m_nConnectPhase, event);
    if (next)
        m_nConnectPhase = *next;
    return next.has_value();
}

bool CTarnikMDlg::IsConnectionComplete() const { return m_bHandshakeDone && m_bPositionLive; }

void CTarnikMDlg::ReportConnectionError()
{
    KillTimer(CONNECT_TIMER_ID);
    // While the box is up the event loop runs: a vanishing device must not raise a second one.
    m_bShowingConnectionError = true;
    MessageBox(this, kConnectionErrorText, kConnectionErrorCaption, MB_OK);
    m_bShowingConnectionError = false;
    if (!m_bReadyToConnect)
        OnBnClickedConnect();
}

void CTarnikMDlg::OnBnClickedRefresh()
{
    if (m_bConnected)
        return;
    m_bConnected = FALSE;
    SetConnectedState(FALSE);
    EnumeratePorts();
}

void CTarnikMDlg::OnBnClickedStatus()
{
    m_bConnected = !m_bConnected;
    SetConnectedState(m_bConnected);
}

void CTarnikMDlg::OnHandshakeReply()
{
    m_bConnected = TRUE;
    m_bHandshakeDone = true;
    // The timer runs on until the first position report: a controller that answers the handshake
    // but never reports would otherwise leave the panel connecting for ever.
    if (IsConnectionComplete())
        KillTimer(CONNECT_TIMER_ID);
    OnJogButton(IDC_BTN_HOME);
    if (m_bRetainLastPos)
        RestoreLastPosition();
    else
        LoadParkPosition();
}

// A complete report has been shown: the first one ends the connecting phase; the first one after
// the handshake completes the connection.
void CTarnikMDlg::OnCompleteReport()
{
    const bool wasComplete = IsConnectionComplete();
    if (!m_bPositionLive)
        SetPositionLive(true);
    if (AdvanceConnectPhase(EConnectEvent::CompleteReport)) {
        SetDlgItemText(IDC_BTN_CONNECT, QStringLiteral("Disconnect"));
        if (m_btnStatus) {
            m_btnStatus->SetButtonIcons(CreateButtonIcon(LoadResIcon(IDI_CONNECTED)), nullptr);
            SetDlgItemText(IDC_BTN_STATUS, QStringLiteral("Connected"));
        }
        SetConnectedState(m_bConnected);
    } else if (m_bConnected && !m_bConnectedLook) {
        // A report that came before the handshake reply already ended the connecting phase with the
        // controls disabled; the first complete report after the handshake enables them.
        SetConnectedState(TRUE);
    }
    if (!wasComplete && IsConnectionComplete())
        KillTimer(CONNECT_TIMER_ID);
}

// The device went away under an open port (a USB adapter pulled out, the controller's side closed):
// say so as a failed connection does, and go back to idle, so the panel never shows "Connected"
// to a device that is gone.
void CTarnikMDlg::OnDeviceVanished()
{
    if (m_bReadyToConnect || m_bShowingConnectionError)
        return;
    ReportConnectionError();
}
