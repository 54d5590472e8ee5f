#pragma once
// The control panel: the program's one window. What it decides lives in the stage session
// (core/StageSession.h); the dialog turns its controls and the port's notifications into the
// session's events and carries out what the session answers: the lines on the wire, the pauses,
// the texts, the boxes, the settings. The members that mirror the session's state are kept true
// after every event.
#include <QPixmap>
#include <memory>

#include "core/StageSession.h"
#include "qt/panel/DlgExpander.h"
#include "qt/platform/DialogBase.h"

class CSerialMFC;
struct SComPort;
struct SPortInfo;
struct SPortName;
class CButtonST;
class CPortMonitor;
class QComboBox;
class QLabel;
class QSocketNotifier;

// The connection timer.
constexpr UINT_PTR CONNECT_TIMER_ID = 1;

// The members the panel has always had (m_bConnected, m_fPosX...) come from SPanelMembers and
// follow the session after every event.
class CTarnikMDlg : public CDialogBase, public SPanelMembers {
    Q_OBJECT
public:
    explicit CTarnikMDlg(QWidget* parent = nullptr);
    ~CTarnikMDlg() override;

    void FillSpeedDistanceLists();
    void EnumeratePorts();
    void FillBaudList();
    DWORD SelectedBaud() const;   // the rate Connect uses
    void RefreshPortList();
    void UpdatePortMenu();

    // Handlers, as the message map routes them.
    void OnJogButton(UINT nID);
    void OnBnClickedMoreLess();
    void OnBnClickedConnect();
    void OnBnClickedRefresh();
    void OnBnClickedStatus();
    void OnBnClickedPark();
    void OnBnClickedSetPark();
    void OnBnClickedStart();
    void OnBnClickedEnd();
    void OnBnClickedReset();
    void OnBnClickedAlwaysOnTop();
    void OnBnClickedRetainLastPos();
    void OnCbnSelchangeBaud();
    void OnAboutBox();
    void OnPinSelectedPort() { OnPinPort(true); }
    void OnUnpinSelectedPort() { OnPinPort(false); }
    LRESULT OnSerialMsg(WPARAM wParam, LPARAM lParam);

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
    // Dialog start (TarnikMDlg.cpp).
    void BindControls();
    void SetUpWindow();
    void SetUpStatusButton();
    void InitSliders();
    void SetUpKeyboardAndNames();
    void PlaceTopMost(bool topMost);

    // The session's effects carried out (SessionShell.cpp).
    void Run(SEffects effects);
    bool RunOne(const SEffect& effect);
    std::string BoxText(EControl control) const;
    QWidget* ControlFor(EControl control) const;
    void ShowBox(const SEffect& effect);
    void OpenPort();
    void SetConnectedState(bool bConnected);
    void EnableMotionControls(bool bEnable);
    void ShowConnectionIcon(int iconId);
    void ShowStatusButton(bool bConnected);
    void ShowReadoutLive(bool live);
    void ShowThumbs(const std::array<int, 3>& positions);
    void OnScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar);

    // The port list (PortList.cpp).
    void SetUpPortList();
    void OnPortsChanged();
    void OnPinPort(bool pin);
    void RememberSelectedPort();
    QString AddPortEntry(const SComPort& port, const SPortInfo& info, const SPortName& name);
    int FindWantedAdapter(int selected);

public:
    QPixmap m_hIcon;
    CDlgExpander m_expander;
    std::unique_ptr<CSerialMFC> m_pSerial;
    CStageSession m_session;
    CButtonST* m_btnStatus = nullptr;   // owned by the dialog once it sits on control 1038

private:
    // The controls the handlers use, bound once when the dialog starts.
    QComboBox* m_cmbPort = nullptr;
    QComboBox* m_cmbBaud = nullptr;
    QLabel* m_lblConnIcon = nullptr;
    CScrollBarCtrl* m_sbX = nullptr;
    CScrollBarCtrl* m_sbY = nullptr;
    CScrollBarCtrl* m_sbZ = nullptr;

    // The port list: devices coming and going, and the adapter the operator chose, by a name of its
    // own (serial/PortInfo.h), so that it is selected again when it comes back.
    std::unique_ptr<CPortMonitor> m_pPortMonitor;
    std::unique_ptr<QSocketNotifier> m_pPortNotifier;   // goes before the monitor's descriptor
    QString m_strWantedPort;
    QString m_strWantedDevice;       // the node it was chosen on
    enum EPortListState { EPortListNone, EPortListAfterPaint, EPortListMade };
    EPortListState m_nPortListState = EPortListNone;   // the first list waits for the first paint
};
