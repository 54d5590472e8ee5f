// The connection: the Connect button's two branches, the connection timer, the handshake, the wait
// for the homing, and what the panel says while the controller works, stops answering or halts.
#include "core/StageSession.h"

#include <tuple>

#include "core/CommandLines.h"
#include "core/ControllerLines.h"

namespace {

const char* const kConnectionErrorText = "Please Check COM Port number";
const char* const kConnectionErrorCaption = "Connection Error";
const char* const kStoppedAnsweringText =
    "The controller answered, then stopped answering before it reported a position.";

} // namespace

std::string TrimmedLine(std::string_view s)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

CStageSession::CStageSession(SSessionInputs inputs) : m_in(std::move(inputs)) {}

void CStageSession::Mirror(SPanelMembers& m) const
{
    m.m_bReadyToConnect = m_bReadyToConnect ? 1 : 0;
    m.m_nConnectPhase = m_nConnectPhase;
    m.m_bSliderStep = m_bSliderStep ? 1 : 0;
    m.m_bAlwaysOnTop = m_bAlwaysOnTop ? 1 : 0;
    m.m_bRetainLastPos = m_bRetainLastPos ? 1 : 0;
    m.m_bConnected = m_bConnected ? 1 : 0;
    std::tie(m.m_fPosX, m.m_fPosY, m.m_fPosZ) = std::tie(m_pos[0], m_pos[1], m_pos[2]);
    std::tie(m.m_fStartX, m.m_fStartY, m.m_fStartZ) = std::tie(m_start[0], m_start[1], m_start[2]);
    std::tie(m.m_fParkX, m.m_fParkY, m.m_fParkZ) = std::tie(m_park[0], m_park[1], m_park[2]);
    m.m_nTimeoutTicks = m_nTimeoutTicks;
}

SEffects CStageSession::TakeEffects()
{
    SEffects out;
    out.swap(m_out);
    return out;
}

void CStageSession::EmitText(EControl control, std::string text)
{
    SEffect e{EEffect::SetText, control};
    e.text = std::move(text);
    Emit(std::move(e));
}

void CStageSession::EmitFlag(EEffect kind, bool flag, EControl control)
{
    SEffect e{kind, control};
    e.flag = flag;
    Emit(std::move(e));
}

void CStageSession::Trace(std::string text)
{
    SEffect e{EEffect::Trace};
    e.text = std::move(text);
    Emit(std::move(e));
}

void CStageSession::ShowBox(std::string text, std::string caption, EBoxStyle style, EBoxContinuation continuation)
{
    SEffect e{EEffect::Box};
    e.text = std::move(text);
    e.caption = std::move(caption);
    e.style = style;
    m_boxes.push_back(continuation);
    Emit(std::move(e));
}

SEffects CStageSession::BoxClosed(bool ok)
{
    const int continuation = m_boxes.empty() ? BOX_NOTHING : m_boxes.back();
    if (!m_boxes.empty())
        m_boxes.pop_back();
    if (continuation == BOX_END_CONNECTION) {
        m_bShowingConnectionError = false;
        if (!m_bReadyToConnect)
            EndConnection();
    } else if (continuation == BOX_CLOSE_WINDOW && ok) {
        Emit({EEffect::CloseWindow});
    }
    return TakeEffects();
}

void CStageSession::ShowConnected(bool connected)
{
    EmitFlag(EEffect::ConnectedLook, connected);
    m_bConnectedLook = connected;
    EmitText(EControl::ConnectionText, connected ? "Connected" : "Disconnected");
}

void CStageSession::EnableMotionControls(bool enable)
{
    EmitFlag(EEffect::MotionControls, enable);
    m_bConnectedLook = enable;
}

// Whether the read-out and the thumbs show where the stage is now, or only where it was last
// reported: after a disconnect or a vanished device the numbers stay, dimmed.
void CStageSession::SetPositionLive(bool live)
{
    m_bPositionLive = live;
    EmitFlag(EEffect::ReadoutLive, live);
}

// The distance and speed boxes keep what they show in both directions: what System.cfg stored,
// or what the operator chose, never the defaults again.
SEffects CStageSession::ConnectPressed()
{
    if (m_bReadyToConnect)
        BeginConnection();
    else
        EndConnection();
    return TakeEffects();
}

void CStageSession::EndConnection()
{
    Emit({EEffect::StopTimer});
    m_bTimerRunning = false;
    Emit({EEffect::ClosePort});
    m_bPortOpen = false;
    m_bReadyToConnect = true;
    m_bConnected = false;
    AdvanceConnectPhase(EConnectEvent::Disconnect);
    ShowConnected(false);
    EmitText(EControl::ConnectButton, "Connect");
    ShowDepthCleared();
    Emit({EEffect::ListPorts});
    m_bRetainLastPos = RetainChecked();
    // A connection that never reported a position has nothing to store: the point kept from
    // an earlier session stays.
    if (m_bRetainLastPos && m_bPositionLive)
        SaveLastPosition();
    m_bHandshakeDone = false;
    SetPositionLive(false);
}

void CStageSession::BeginConnection()
{
    EmitText(EControl::ConnectButton, "Connecting...");
    AdvanceConnectPhase(EConnectEvent::Connect);
    m_bReadyToConnect = false;
    m_bHandshakeDone = false;
    m_bPositionLive = false;
    m_plan.Reset();
    m_nSilentTicks = 0;
    m_nQueriesSinceReport = 0;
    m_bHomeSinceReport = false;
    m_strLastError.clear();
    m_bReadEndedMidLine = false;
    LoadHomingTimeout();
    Emit({EEffect::StartTimer});
    m_bTimerRunning = true;
    m_nTimeoutTicks = 0;
    // The device opened is the one the list showed, never a fresh resolution of its COM number,
    // which may name another machine once a USB adapter came or went.
    Emit({EEffect::OpenPort});
}

// Each early stop leaves the panel connecting: the time-out tells the operator.
SEffects CStageSession::LineReady(bool opened, bool configured)
{
    if (!opened || m_bReadyToConnect)
        return TakeEffects();
    // A port whose line set-up failed stays open: the handshake is asked again on every tick.
    m_bPortOpen = true;
    if (!configured)
        return TakeEffects();
    LoadRetainLastPos();
    if (m_bRetainLastPos)
        RestoreLastPosition();
    WriteLine(LINE_HANDSHAKE);
    return TakeEffects();
}

SEffects CStageSession::Tick()
{
    if (m_bReadyToConnect)
        return TakeEffects();   // a tick that was already queued when the connection ended
    ++m_nTimeoutTicks;
    ++m_nSilentTicks;
    if (!m_bHandshakeDone) {
        TickWhileConnecting();
        return TakeEffects();
    }
    switch (m_nConnectPhase) {
    case CONNECT_PHASE_HOMING:
        // A homing lasts as long as it lasts; only a controller that says nothing at all for the
        // whole allowance is given up. One whose last word was an error has halted.
        if (!m_strLastError.empty() && m_nSilentTicks >= SILENCE_LIMIT_TICKS)
            EnterHalted(m_strLastError);
        else if (m_nSilentTicks >= m_nHomingTimeoutTicks && AdvanceConnectPhase(EConnectEvent::Silence))
            ReportConnectionError(kStoppedAnsweringText);
        break;
    case CONNECT_PHASE_REPORTED:
    case CONNECT_PHASE_BUSY:
        // An idle controller is silent, rightly: only a query left unanswered counts.
        if (m_nQueriesSinceReport == 0 || m_nSilentTicks < SilenceLimitTicks())
            break;
        if (!m_strLastError.empty())
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
    return TakeEffects();
}

void CStageSession::TickWhileConnecting()
{
    if (m_nTimeoutTicks > CONNECT_TIMEOUT_TICKS) {
        ReportConnectionError();
        return;
    }
    // Most boards reboot when their port opens and miss the first query in their boot loader:
    // ask again on every tick until one answers.
    WriteLine(LINE_HANDSHAKE);
}

// The connection timer runs while the panel waits for the controller: for the handshake, through the
// homing, while a query is unanswered or the controller is not responding. An idle connection, and
// a halted one, costs no wake-up at all.
void CStageSession::WatchController()
{
    const bool waiting = !m_bReadyToConnect && m_nConnectPhase != CONNECT_PHASE_HALTED &&
                         (!m_bHandshakeDone || m_nConnectPhase == CONNECT_PHASE_HOMING ||
                          m_nConnectPhase == CONNECT_PHASE_NOT_RESPONDING || m_nQueriesSinceReport > 0);
    if (!waiting) {
        if (m_bTimerRunning)
            Emit({EEffect::StopTimer});
        m_bTimerRunning = false;
    } else if (!m_bTimerRunning) {
        m_nSilentTicks = 0;
        Emit({EEffect::StartTimer});
        m_bTimerRunning = true;
    }
}

int CStageSession::SilenceLimitTicks() const
{
    // A G28 blocks the controller's queue, and its queries with it, for as long as it homes.
    return m_bHomeSinceReport ? m_nHomingTimeoutTicks : SILENCE_LIMIT_TICKS;
}

bool CStageSession::AdvanceConnectPhase(EConnectEvent event)
{
    const std::optional<int> next = NextConnectPhase(m_nConnectPhase, event);
    if (next)
        m_nConnectPhase = *next;
    return next.has_value();
}

void CStageSession::ShowPhaseText()
{
    if (const char* text = ConnectPhaseText(m_nConnectPhase))
        EmitText(EControl::ConnectionText, text);
}

// The box of a failed connection (the port box unless told another text); the connection ends
// when it is closed.
void CStageSession::ReportConnectionError(const std::string& text)
{
    Emit({EEffect::StopTimer});
    m_bTimerRunning = false;
    // While the box is up the event loop runs: a vanishing device must not raise a second one.
    m_bShowingConnectionError = true;
    ShowBox(text.empty() ? kConnectionErrorText : text, kConnectionErrorCaption, EBoxStyle::Ok, BOX_END_CONNECTION);
}

SEffects CStageSession::RefreshPressed()
{
    if (!m_bConnected) {
        ShowConnected(false);
        Emit({EEffect::ListPorts});
    }
    return TakeEffects();
}

SEffects CStageSession::StatusPressed()
{
    m_bConnected = !m_bConnected;
    ShowConnected(m_bConnected);
    return TakeEffects();
}

void CStageSession::OnHandshakeReply()
{
    m_bConnected = true;
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
void CStageSession::OnCompleteReport()
{
    m_nQueriesSinceReport = 0;
    m_bHomeSinceReport = false;
    if (!m_bPositionLive || m_nConnectPhase == CONNECT_PHASE_NOT_RESPONDING)
        SetPositionLive(true);
    const int before = m_nConnectPhase;
    if (!AdvanceConnectPhase(EConnectEvent::CompleteReport))
        return;   // every report of a connection that is complete already
    if (before == CONNECT_PHASE_CONNECTING || before == CONNECT_PHASE_HOMING) {
        EmitText(EControl::ConnectButton, "Disconnect");
        EmitFlag(EEffect::StatusButton, true);
        EmitText(EControl::StatusButton, "Connected");
    }
    // A report that beat the handshake reply leaves the controls off: the first report after the
    // handshake turns them on, and a report ends a busy or silent spell.
    ShowConnected(m_bConnected);
}

void CStageSession::OnBusyLine()
{
    if (m_bHandshakeDone && AdvanceConnectPhase(EConnectEvent::Busy))
        ShowPhaseText();
}

// A query went unanswered and the controller said nothing for too long: no step is planned from a
// position that may be stale until it reports again, and it is asked for one every 2 s meanwhile.
void CStageSession::ShowNotResponding()
{
    EnableMotionControls(false);
    EmitFlag(EEffect::ReadoutLive, false);
    ShowPhaseText();
    SendQuery();
}

// Error lines go to the trace log. Before the handshake an error is the controller's answer to
// M105: it does not speak this panel's dialect, and waiting would only end in the port box.
void CStageSession::OnErrorLine(const std::string& line)
{
    Trace("Controller: " + TrimmedLine(line));
    if (IsHaltLine(line)) {
        EnterHalted(line);
        return;
    }
    if (!m_bHandshakeDone) {
        const char* why = AsksForChecksums(line)
                              ? "This firmware asks for line numbers and checksums, which this panel does not send."
                              : "This controller does not speak the G-code dialect this panel uses.";
        ReportConnectionError("The controller answered M105 with:\n\n" + TrimmedLine(line) + "\n\n" + why);
        return;
    }
    m_strLastError = TrimmedLine(line);
}

// The controller halted: it will take nothing more. The panel says so once, in the controller's own
// words, and sends nothing until the operator connects again; Disconnect stays available.
void CStageSession::EnterHalted(const std::string& line)
{
    if (!AdvanceConnectPhase(EConnectEvent::Halt))
        return;
    Emit({EEffect::StopTimer});
    m_bTimerRunning = false;
    EnableMotionControls(false);
    EmitFlag(EEffect::ReadoutLive, false);
    ShowPhaseText();
    ShowBox("The controller halted:\n\n" + TrimmedLine(line), "Controller Halted", EBoxStyle::OkWarning, BOX_NOTHING);
}

// The device went away under an open port (a USB adapter pulled out, the controller's side closed):
// say so as a failed connection does, and go back to idle, so the panel never shows "Connected"
// to a device that is gone.
SEffects CStageSession::DeviceVanished()
{
    if (!m_bReadyToConnect && !m_bShowingConnectionError)
        ReportConnectionError();
    return TakeEffects();
}

// A write that ran out of time may have left part of its line on the wire, and the controller would
// read it and the next line as one line nobody sent; and a controller that stopped taking data is
// not one to go on talking to. The front end drops what was to follow the line. The port is closed before the box comes up: nothing more goes out,
// and what of the line still waits in the driver is dropped rather than left to the controller.
SEffects CStageSession::WriteFailed(long code)
{
    Trace("Write() failed with error code = " + std::to_string(code));
    Emit({EEffect::PurgePort});
    Emit({EEffect::ClosePort});
    m_bPortOpen = false;
    if (!m_bShowingConnectionError)
        ReportConnectionError();
    return TakeEffects();
}
