// Connecting to the stage controller and tearing the connection down: the Connect button's two
// branches, the connection timer, the handshake, the wait for the homing, and what the panel says
// while the controller works, stops answering or halts. The port list itself lives in PortList.cpp.
#include <QComboBox>
#include <QLabel>

#include "core/CommandLines.h"
#include "qt/controls/ButtonST.h"
#include "core/ControllerLines.h"
#include "qt/panel/TarnikMDlg.h"
#include "qt/platform/MessageBox.h"
#include "qt/platform/TraceLog.h"
#include "res/Resource.h"
#include "qt/res/Resources.h"
#include "qt/serial/SerialWnd.h"

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
const QString kStoppedAnsweringText =
    QStringLiteral("The controller answered, then stopped answering before it reported a position.");

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
    EnableMotionControls(bConnected);
    ShowConnectionIcon(bConnected ? IDI_CONNECTED : IDI_DISCONNECTED);
    SetDlgItemText(IDC_STATIC_CONN, bConnected ? QStringLiteral("Connected") : QStringLiteral("Disconnected"));
}

void CTarnikMDlg::EnableMotionControls(BOOL bEnable)
{
    for (int id : kConnectedOnly)
        EnableDlgItem(id, bEnable);
    m_bConnectedLook = bEnable;
}

// The distance and speed boxes keep what they show in both directions: what System.cfg stored,
// or what the operator chose, never the defaults again.
void CTarnikMDlg::OnBnClickedConnect()
{
    if (m_bReadyToConnect)
        BeginConnection();
    else
        EndConnection();
}

void CTarnikMDlg::EndConnection()
{
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
}

void CTarnikMDlg::BeginConnection()
{
    SetDlgItemText(IDC_BTN_CONNECT, QStringLiteral("Connecting..."));
    AdvanceConnectPhase(EConnectEvent::Connect);
    m_bReadyToConnect = FALSE;
    m_bHandshakeDone = false;
    m_bPositionLive = false;
    m_plan.Reset();
    m_nSilentTicks = 0;
    m_nQueriesSinceReport = 0;
    m_bHomeSinceReport = false;
    m_strLastError.clear();
    m_bReadEndedMidLine = false;
    LoadHomingTimeout();
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
    SendFixedLine(LINE_HANDSHAKE);
}

void CTarnikMDlg::OnTimer(UINT_PTR nIDEvent)
{
    Q_UNUSED(nIDEvent);
    if (m_bReadyToConnect)
        return;   // a tick that was already queued when the connection ended
    ++m_nTimeoutTicks;
    ++m_nSilentTicks;
    if (!m_bHandshakeDone) {
        if (m_nTimeoutTicks > CONNECT_TIMEOUT_TICKS) {
            ReportConnectionError();
            return;
        }
        // Most boards reboot when their port opens and miss the first query in their boot loader:
        // ask again on every tick until one answers.
        if (m_pSerial->IsOpen())
            SendFixedLine(LINE_HANDSHAKE);
        return;
    }
    switch (m_nConnectPhase) {
    case CONNECT_PHASE_HOMING:
        // A homing lasts as long as it lasts; only a controller that says nothing at all for the
        // whole allowance is given up. One whose last word was an error has halted.
        if (!m_strLastError.isEmpty() && m_nSilentTicks >= SILENCE_LIMIT_TICKS)
            EnterHalted(m_strLastError);
        else if (m_nSilentTicks >= m_nHomingTimeoutTicks && AdvanceConnectPhase(EConnectEvent::Silence))
            ReportConnectionError(kStoppedAnsweringText);
        break;
    case CONNECT_PHASE_REPORTED:
    case CONNECT_PHASE_BUSY:
        // An idle controller is silent, rightly: only a query left unanswered counts.
        if (m_nQueriesSinceReport == 0 || m_nSilentTicks < SilenceLimitTicks())
            break;
        if (!m_strLastError.isEmpty())
            EnterHalted(m_strLastError);
        else if (AdvanceConnectPhase(EConnectEvent::Silence))
            ShowNotResponding();
        break;
    case CONNECT_PHASE_NOT_RESPONDING:
        if (m_nTimeoutTicks % NOT_RESPONDING_QUERY_TICKS == 0)
            SendQuery();
        break;
    default:
        break;
    }
}

// The connection timer runs while the panel waits for the controller: for the handshake, through the
// homing, while a query is unanswered or the controller is not responding. An idle connection, and
// a halted one, costs no wake-up at all.
void CTarnikMDlg::WatchController()
{
    const bool waiting = !m_bReadyToConnect && m_nConnectPhase != CONNECT_PHASE_HALTED &&
                         (!m_bHandshakeDone || m_nConnectPhase == CONNECT_PHASE_HOMING ||
                          m_nConnectPhase == CONNECT_PHASE_NOT_RESPONDING || m_nQueriesSinceReport > 0);
    if (!waiting) {
        KillTimer(CONNECT_TIMER_ID);
    } else if (!IsTimerRunning(CONNECT_TIMER_ID)) {
        m_nSilentTicks = 0;
        SetTimer(CONNECT_TIMER_ID, CONNECT_TIMER_MS);
    }
}

int CTarnikMDlg::SilenceLimitTicks() const
{
    // A G28 blocks the controller's queue, and its queries with it, for as long as it homes.
    return m_bHomeSinceReport ? m_nHomingTimeoutTicks : SILENCE_LIMIT_TICKS;
}

bool CTarnikMDlg::AdvanceConnectPhase(EConnectEvent event)
{
    const std::optional<int> next = NextConnectPhase(m_nConnectPhase, event);
    if (next)
        m_nConnectPhase = *next;
    return next.has_value();
}

bool CTarnikMDlg::CanMove() const { return m_bConnected && ConnectPhaseAllowsMotion(m_nConnectPhase); }

void CTarnikMDlg::ShowPhaseText()
{
    if (const char* text = ConnectPhaseText(m_nConnectPhase))
        SetDlgItemText(IDC_STATIC_CONN, QString::fromLatin1(text));
}

void CTarnikMDlg::ReportConnectionError(const QString& text)
{
    KillTimer(CONNECT_TIMER_ID);
    // While the box is up the event loop runs: a vanishing device must not raise a second one.
    m_bShowingConnectionError = true;
    MessageBox(this, text.isEmpty() ? kConnectionErrorText : text, kConnectionErrorCaption, MB_OK);
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
    AdvanceConnectPhase(EConnectEvent::Handshake);
    ShowPhaseText();
    WatchController();
    Home();
    if (m_bRetainLastPos)
        RestoreLastPosition();
    else
        LoadParkPosition();
}

// A complete report has been shown: the first one ends the connecting phase; the first one after
// the handshake completes the connection, and a later one ends a busy or silent spell.
void CTarnikMDlg::OnCompleteReport()
{
    m_nQueriesSinceReport = 0;
    m_bHomeSinceReport = false;
    if (!m_bPositionLive || m_nConnectPhase == CONNECT_PHASE_NOT_RESPONDING)
        SetPositionLive(true);
    const int before = m_nConnectPhase;
    if (!AdvanceConnectPhase(EConnectEvent::CompleteReport))
        return;   // every report of a connection that is complete already
    if (before == CONNECT_PHASE_CONNECTING || before == CONNECT_PHASE_HOMING) {
        SetDlgItemText(IDC_BTN_CONNECT, QStringLiteral("Disconnect"));
        if (m_btnStatus) {
            m_btnStatus->SetButtonIcons(CreateButtonIcon(LoadResIcon(IDI_CONNECTED)), nullptr);
            SetDlgItemText(IDC_BTN_STATUS, QStringLiteral("Connected"));
        }
    }
    // A report that beat the handshake reply leaves the controls off: the first report after the
    // handshake turns them on, and a report ends a busy or silent spell.
    SetConnectedState(m_bConnected);
}

void CTarnikMDlg::OnBusyLine()
{
    if (m_bHandshakeDone && AdvanceConnectPhase(EConnectEvent::Busy))
        ShowPhaseText();
}

// A query went unanswered and the controller said nothing for too long: no step is planned from a
// position that may be stale until it reports again, and it is asked for one every 2 s meanwhile.
void CTarnikMDlg::ShowNotResponding()
{
    EnableMotionControls(FALSE);
    ShowReadoutLive(false);
    ShowPhaseText();
    SendQuery();
}

// Error lines go to the trace log. Before the handshake an error is the controller's answer to
// M105: it does not speak this panel's dialect, and waiting would only end in the port box.
void CTarnikMDlg::OnErrorLine(const QString& line)
{
    WriteTraceLog(QStringLiteral("Controller: ") + line.trimmed());
    const std::string bytes = line.toLatin1().toStdString();
    if (IsHaltLine(bytes)) {
        EnterHalted(line);
        return;
    }
    if (!m_bHandshakeDone) {
        KillTimer(CONNECT_TIMER_ID);
        const QString why = AsksForChecksums(bytes)
                                ? QStringLiteral("This firmware asks for line numbers and checksums, which this panel does not send.")
                                : QStringLiteral("This controller does not speak the G-code dialect this panel uses.");
        ReportConnectionError(QStringLiteral("The controller answered M105 with:\n\n") + line.trimmed() +
                              QStringLiteral("\n\n") + why);
        return;
    }
    m_strLastError = line.trimmed();
}

// The controller halted: it will take nothing more. The panel says so once, in the controller's own
// words, and sends nothing until the operator connects again; Disconnect stays available.
void CTarnikMDlg::EnterHalted(const QString& line)
{
    if (!AdvanceConnectPhase(EConnectEvent::Halt))
        return;
    KillTimer(CONNECT_TIMER_ID);
    EnableMotionControls(FALSE);
    ShowReadoutLive(false);
    ShowPhaseText();
    MessageBox(this, QStringLiteral("The controller halted:\n\n") + line.trimmed(), QStringLiteral("Controller Halted"),
               MB_OK | MB_ICONWARNING);
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
