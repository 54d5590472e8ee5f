#pragma once
// The control panel: the program's one window. It connects to the stage controller, jogs, homes,
// parks and moves the stage, shows where the controller says the stage is, measures a Z depth, and
// keeps its settings in System.cfg. The handlers live in one file per concern (connection, replies,
// motion, sliders, depth, settings); this header holds the state they share.
#include <QElapsedTimer>
#include <QPixmap>
#include <memory>

#include "core/ConnectPhase.h"
#include "qt/panel/DlgExpander.h"
#include "core/JogPlan.h"
#include "core/StagePlan.h"
#include "qt/platform/DialogBase.h"

class CSerialMFC;
struct SPositionReport;
class CButtonST;
class CPortMonitor;
class QSocketNotifier;

// Stage envelope and defaults, in millimetres.
constexpr float STAGE_X_MAX = CStagePlan::ENVELOPE[0];
constexpr float STAGE_Y_MAX = CStagePlan::ENVELOPE[1];
constexpr float STAGE_Z_MAX = CStagePlan::ENVELOPE[2];
constexpr float PARK_DEFAULT_X = 150.0f;
constexpr float PARK_DEFAULT_Y = 150.0f;
constexpr float PARK_DEFAULT_Z = 55.0f;
constexpr float HOME_LIFT_Z = 55.0f;   // Home ends with Z raised this far

// The connection timer.
constexpr UINT_PTR CONNECT_TIMER_ID = 1;
constexpr UINT CONNECT_TIMER_MS = 1000;
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

class CTarnikMDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CTarnikMDlg(QWidget* parent = nullptr);
    ~CTarnikMDlg() override;

    // Shared panel operations.
    BOOL SendCommandLine(const QString& strLine);
    std::string BoxText(int nID);
    float GetXYDistance();
    float GetZDistance();
    int GetXYSpeed();
    int GetZSpeed();
    void OnJogButton(UINT nID);
    void FillSpeedDistanceLists();
    void EnumeratePorts();
    void FillBaudList();
    DWORD SelectedBaud() const;   // the rate Connect uses
    void RefreshPortList();
    void UpdatePortMenu();
    void SetPositionLive(bool live);
    void ShowReadoutLive(bool live);
    void SetConnectedState(BOOL bConnected);
    void UpdateSliders();

    // Handlers, as the message map routes them.
    void OnBnClickedMoreLess();
    void OnBnClickedConnect();
    void OnBnClickedRefresh();
    void OnBnClickedStatus();
    void OnBnClickedPark();
    void OnBnClickedStart();
    void OnBnClickedEnd();
    void OnBnClickedReset();
    void OnBnClickedSetPark();
    void OnBnClickedAlwaysOnTop();
    void OnBnClickedRetainLastPos();
    void OnCbnSelchangeBaud();
    void OnAboutBox();
    void OnPinSelectedPort() { OnPinPort(true); }
    void OnUnpinSelectedPort() { OnPinPort(false); }
    LRESULT OnSerialMsg(WPARAM wParam, LPARAM lParam);

    // Settings.
    BOOL LoadExpanderState();
    BOOL LoadAlwaysOnTop();
    void LoadRetainLastPos();
    BOOL RestoreLastPosition();
    void SaveLastPosition();
    BOOL LoadParkPosition();
    void LoadSpeedsAndDistances();
    void LoadHomingTimeout();

    // Replies.
    void ProcessReply(QString text);
    BOOL ParsePosition(QString line);

    void OnTimer(UINT_PTR nIDEvent) override;
    void OnHScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar) override;
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar) override;

protected:
    BOOL OnInitDialog() override;
    void OnCommand(int id) override;
    void OnSysCommand(UINT nID, LPARAM lParam) override;
    void OnClose() override;
    bool PreTranslateMessage(QObject* receiver, QKeyEvent* e) override;
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void InitSliders();
    void SetUpKeyboardAndNames();
    void BeginConnection();
    void EndConnection();
    void OnHandshakeReply();
    // One line read as a position report: stored, shown and handed to the plan, or asked again.
    void TakeReport(const QString& line, const SPositionReport& report);
    void OnCompleteReport();
    void OnBusyLine();
    void OnErrorLine(const QString& line);
    void EnterHalted(const QString& line);
    void ShowNotResponding();
    // Moves m_nConnectPhase along kConnectTransitions; false when event changes nothing.
    bool AdvanceConnectPhase(EConnectEvent event);
    void ShowPhaseText();
    // The operator's motion commands act: connected, and neither silent nor halted.
    bool CanMove() const;
    int SilenceLimitTicks() const;
    void WatchController();
    void EnableMotionControls(BOOL bEnable);
    // The box of a failed connection (the port box unless told another text), then idle.
    void ReportConnectionError(const QString& text = QString());
    void OnDeviceVanished();
    void StepMove(int nAxis, bool bNegative);
    void OnScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar);
    void ReleaseThumb(int nAxis, float fValue, CScrollBarCtrl* pBar, int nPos);
    void Home();
    // Each false when the line did not go out whole (the connection has then ended) or the port
    // is not open.
    bool WriteLine(const char* line);
    bool SendFixedLine(const char* line);
    void SendPositionQuery();
    bool SendQuery();
    static long long PlanClockMs();   // the stage plan's clock
    bool SendAbsoluteMove(const char* what, const CStagePlan::Axes& target, const std::string& line);
    void PlaceTopMost(bool topMost);
    void ShowConnectionIcon(int iconId);
    void SetUpPortList();
    void OnPortsChanged();
    void OnPinPort(bool pin);
    void RememberSelectedPort();

public:
    QPixmap m_hIcon;
    CDlgExpander m_expander;
    std::unique_ptr<CSerialMFC> m_pSerial;
    BOOL m_bReadyToConnect = TRUE;
    int m_nConnectPhase = CONNECT_PHASE_IDLE;   // an EConnectPhase
    BOOL m_bSliderStep = FALSE;
    BOOL m_bAlwaysOnTop = FALSE;
    BOOL m_bRetainLastPos = FALSE;
    BOOL m_bConnected = FALSE;
    BOOL m_bConnectedLook = FALSE;   // the motion controls are enabled
    float m_fPosX = 0, m_fPosY = 0, m_fPosZ = 0;
    float m_fStartX = 0, m_fStartY = 0, m_fStartZ = 0;
    float m_fParkX = PARK_DEFAULT_X, m_fParkY = PARK_DEFAULT_Y, m_fParkZ = PARK_DEFAULT_Z;
    int m_nTimeoutTicks = 0;
    bool m_bHandshakeDone = false;     // this connection's first handshake reply has come
    bool m_bPositionLive = false;      // this connection has reported a complete position
    bool m_bShowingConnectionError = false;
    int m_nReportRetries = 0;          // incomplete reports asked again since the last query
    int m_nSilentTicks = 0;            // connection timer ticks since the controller last sent a byte
    int m_nHomingTimeoutTicks = HOMING_TIMEOUT_DEFAULT_S;
    int m_nQueriesSinceReport = 0;     // position queries sent since the controller last reported
    bool m_bHomeSinceReport = false;   // a G28 went out after the last complete report
    QString m_strLastError;            // the controller's latest line, while it is an error line
    bool m_bReadEndedMidLine = false;  // the last read's text did not end with a line feed
    bool m_bTextStartsMidLine = false; // the text in hand begins with the rest of a cut line
    CButtonST* m_btnStatus = nullptr;   // owned by the dialog once it sits on control 1038
    CStagePlan m_plan;                   // where the lines sent take the stage: the envelope checks

private:
    // Keyboard jog: repeats that queued up while a step ran are merged into one.
    QElapsedTimer m_jogClock;
    CKeyRepeatClock m_keyRepeats;

    // The port list: devices coming and going, and the adapter the operator chose, by a name of its
    // own (serial/PortInfo.h), so that it is selected again when it comes back.
    std::unique_ptr<CPortMonitor> m_pPortMonitor;
    std::unique_ptr<QSocketNotifier> m_pPortNotifier;   // goes before the monitor's descriptor
    QString m_strWantedPort;
    QString m_strWantedDevice;       // the node it was chosen on
    enum EPortListState { EPortListNone, EPortListAfterPaint, EPortListMade };
    EPortListState m_nPortListState = EPortListNone;   // the first list waits for the first paint
};
