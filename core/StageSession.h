#pragma once
// The conversation with the stage controller, apart from any window or port: the front end hands in
// what happened (the operator's actions, a timer tick, the text the controller sent, a port that
// failed) and carries out what the session answers, in order. The session holds every connection
// flag, the stage plan and the key-repeat clock as one state; the connection phases are its state
// machine. The Connect sequence, the handshake, the homing, the jog, Park and the sliders are
// decided here once, for every front end.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ConnectPhase.h"
#include "core/JogPlan.h"
#include "core/MotionFormat.h"   // AXIS_X, AXIS_Y, AXIS_Z
#include "core/SessionEffects.h"
#include "core/StagePlan.h"

// Stage envelope and defaults, in millimetres.
constexpr float STAGE_X_MAX = CStagePlan::ENVELOPE[0];
constexpr float STAGE_Y_MAX = CStagePlan::ENVELOPE[1];
constexpr float STAGE_Z_MAX = CStagePlan::ENVELOPE[2];
constexpr float PARK_DEFAULT_X = 150.0f;
constexpr float PARK_DEFAULT_Y = 150.0f;
constexpr float PARK_DEFAULT_Z = 55.0f;
constexpr float HOME_LIFT_Z = 55.0f;   // Home ends with Z raised this far

// The connection timer.
constexpr unsigned CONNECT_TIMER_MS = 1000;
constexpr int CONNECT_TIMEOUT_TICKS = 10;
// Once connected, a query left unanswered with nothing at all from the controller for this many
// ticks means it is not responding; then the position is asked for every so many ticks.
constexpr int SILENCE_LIMIT_TICKS = 10;
constexpr int NOT_RESPONDING_QUERY_TICKS = 2;
// How long a homing may go without a word from the controller ([Connection] HomingTimeout, s).
constexpr int HOMING_TIMEOUT_DEFAULT_S = 120;
constexpr int HOMING_TIMEOUT_MIN_S = 5;
constexpr int HOMING_TIMEOUT_MAX_S = 3600;
// How often an incomplete position report is asked for again before the panel gives up on it.
constexpr int REPORT_RETRIES_PER_QUERY = 3;
// The pause between the two position queries after a move: the second catches the end of a short one.
constexpr int QUERY_PAUSE_MS = 100;

// The members the panel's dialog has always had, which its handlers, its tests and its readers
// know by name. Each front end's dialog holds them (it derives from this) and fills them from the
// session after every event, so that they stay true. The flags are the platform's BOOL, an int.
struct SPanelMembers {
    int m_bReadyToConnect = 1;
    int m_nConnectPhase = CONNECT_PHASE_IDLE;   // an EConnectPhase
    int m_bSliderStep = 0;
    int m_bAlwaysOnTop = 0;
    int m_bRetainLastPos = 0;
    int m_bConnected = 0;
    float m_fPosX = 0, m_fPosY = 0, m_fPosZ = 0;
    float m_fStartX = 0, m_fStartY = 0, m_fStartZ = 0;
    float m_fParkX = PARK_DEFAULT_X, m_fParkY = PARK_DEFAULT_Y, m_fParkZ = PARK_DEFAULT_Z;
    int m_nTimeoutTicks = 0;
};

// A line without the white space at either end, as the trace log and the boxes quote it.
std::string TrimmedLine(std::string_view line);

// One received-characters notification as the front end read it: the bytes of its last read (up to
// 2047 of them) and how many reads it took (more than one when a read came back full).
struct SReceived {
    std::string_view lastRead;
    int reads = 1;
};

// A key press while the panel has the focus.
struct SKeyPress {
    EJogKey key = EJogKey::None;
    bool autoRepeat = false;
    std::uint64_t stamp = 0;   // the event's own time in ms, 0 when it has none
    bool alt = false;          // pressed with Alt: a menu key, not a jog key
};

// What a slider notification was.
enum class ESliderCode {
    LineUpLeft,      // the upper (Y, Z) or left (X) arrow
    LineDownRight,   // the lower or right arrow
    ThumbReleased,   // the thumb let go at a position
    Other,           // a trough click, a drag, the end of a scroll
};

class CStageSession {
public:
    explicit CStageSession(SSessionInputs inputs);

    // The panel opens: its controls as System.cfg left them.
    SEffects Start();

    // The connection.
    SEffects ConnectPressed();          // Connect or Disconnect, whichever the button offers
    // After OpenPort: whether the port opened, and whether its line was set up as asked.
    SEffects LineReady(bool opened, bool configured);
    SEffects Tick();                    // the connection timer
    SEffects Received(const SReceived& received);
    SEffects DeviceVanished();
    SEffects WriteFailed(long code);
    SEffects BoxClosed(bool ok);        // the last box shown was closed: OK (or Cancel)
    SEffects RefreshPressed();
    SEffects StatusPressed();

    // Motion.
    SEffects JogPressed(int nAxis, bool bNegative);   // a jog button: AXIS_X..AXIS_Z
    SEffects HomePressed();
    SEffects ParkPressed();
    SEffects SetParkPressed();
    SEffects SliderScrolled(int nAxis, ESliderCode code, int pos);
    // False when the key is not the session's: it keeps its usual meaning.
    bool KeyPressed(const SKeyPress& key, SEffects& effects);

    // The depth measurement and the options.
    SEffects DepthStart();
    SEffects DepthEnd();
    SEffects DepthReset();
    SEffects RetainToggled();
    SEffects OnTopToggled();
    SEffects ExpanderToggled(bool expanded);
    SEffects CloseRequested();

    // The state, for the front end's mirrors.
    bool ReadyToConnect() const { return m_bReadyToConnect; }
    int ConnectPhase() const { return m_nConnectPhase; }
    bool Connected() const { return m_bConnected; }
    bool ConnectedLook() const { return m_bConnectedLook; }
    bool HandshakeDone() const { return m_bHandshakeDone; }
    bool PositionLive() const { return m_bPositionLive; }
    bool SliderStep() const { return m_bSliderStep; }
    bool AlwaysOnTop() const { return m_bAlwaysOnTop; }
    bool RetainLastPos() const { return m_bRetainLastPos; }
    int TimeoutTicks() const { return m_nTimeoutTicks; }
    int HomingTimeoutTicks() const { return m_nHomingTimeoutTicks; }
    const CStagePlan::Axes& Position() const { return m_pos; }
    const CStagePlan::Axes& StartPoint() const { return m_start; }
    const CStagePlan::Axes& ParkPoint() const { return m_park; }
    const CStagePlan& Plan() const { return m_plan; }
    // The dialog's members as the session's state has them now.
    void Mirror(SPanelMembers& members) const;
    // Motion commands act: connected, and neither silent nor halted.
    bool CanMove() const { return m_bConnected && ConnectPhaseAllowsMotion(m_nConnectPhase); }

private:
    // What closing a box leads to.
    enum EBoxContinuation { BOX_NOTHING, BOX_END_CONNECTION, BOX_CLOSE_WINDOW };

    // Connection (StageSession.cpp).
    void BeginConnection();
    void EndConnection();
    void OnHandshakeReply();
    void OnCompleteReport();
    void OnBusyLine();
    void OnErrorLine(const std::string& line);
    void EnterHalted(const std::string& line);
    void ShowNotResponding();
    void ReportConnectionError(const std::string& text = {});
    void TickWhileConnecting();
    void WatchController();
    int SilenceLimitTicks() const;
    bool AdvanceConnectPhase(EConnectEvent event);
    void ShowPhaseText();
    void ShowConnected(bool connected);
    void EnableMotionControls(bool enable);
    void SetPositionLive(bool live);

    // Replies (SessionReplies.cpp).
    void ProcessReply(const std::string& text);
    void TakeReport(const std::string& line, const struct SPositionReport& report);

    // Motion (SessionMotion.cpp).
    bool WriteLine(const std::string& line);
    bool SendCommandLine(const std::string& line);
    bool SendQuery();
    void SendPositionQuery();
    bool SendAbsoluteMove(const char* what, const CStagePlan::Axes& target, const std::string& line);
    void StepMove(int nAxis, bool bNegative);
    void Home();
    void ReleaseThumb(int nAxis, float fValue, int nPos);
    void UpdateSliders();
    int XYSpeed() const;

    // Settings (SessionSettings.cpp).
    bool ReadFlag(std::string_view section, std::string_view key) const;
    float ReadFloat(std::string_view section, std::string_view key) const;
    void LoadRetainLastPos();
    void RestoreLastPosition();
    void SaveLastPosition();
    void LoadParkPosition();
    void LoadHomingTimeout();
    void LoadSpeedsAndDistances();
    void ShowDepthCleared();
    void Store(std::string_view section, std::string_view key, std::string value);
    bool RetainChecked() const;

    // Effects.
    void Emit(SEffect effect) { m_out.push_back(std::move(effect)); }
    void EmitText(EControl control, std::string text);
    void EmitFlag(EEffect kind, bool flag, EControl control = EControl::None);
    void Trace(std::string text);
    void ShowBox(std::string text, std::string caption, EBoxStyle style, EBoxContinuation continuation);
    SEffects TakeEffects();

    SSessionInputs m_in;
    SEffects m_out;

    bool m_bReadyToConnect = true;
    int m_nConnectPhase = CONNECT_PHASE_IDLE;
    bool m_bConnected = false;
    bool m_bConnectedLook = false;   // the motion controls are enabled
    bool m_bSliderStep = false;
    bool m_bAlwaysOnTop = false;
    bool m_bRetainLastPos = false;
    bool m_bPortOpen = false;
    bool m_bTimerRunning = false;
    CStagePlan::Axes m_pos{};
    CStagePlan::Axes m_start{};
    CStagePlan::Axes m_park{PARK_DEFAULT_X, PARK_DEFAULT_Y, PARK_DEFAULT_Z};
    int m_nTimeoutTicks = 0;
    bool m_bHandshakeDone = false;     // this connection's first handshake reply has come
    bool m_bPositionLive = false;      // this connection has reported a complete position
    bool m_bShowingConnectionError = false;
    int m_nReportRetries = 0;          // incomplete reports asked again since the last query
    int m_nSilentTicks = 0;            // connection timer ticks since the controller last sent a byte
    int m_nHomingTimeoutTicks = HOMING_TIMEOUT_DEFAULT_S;
    int m_nQueriesSinceReport = 0;     // position queries sent since the controller last reported
    bool m_bHomeSinceReport = false;   // a G28 went out after the last complete report
    std::string m_strLastError;        // the controller's latest line, while it is an error line
    bool m_bReadEndedMidLine = false;  // the last read's text did not end with a line feed
    bool m_bTextStartsMidLine = false; // the text in hand begins with the rest of a cut line
    CStagePlan m_plan;                 // where the lines sent take the stage: the envelope checks
    CKeyRepeatClock m_keyRepeats;      // repeats that queued up while a step ran are merged
    std::vector<int> m_boxes;          // what to do when each box shown is closed, innermost last
};
