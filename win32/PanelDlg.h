#pragma once
// The control panel on Windows: a modeless dialog on template 102. What it decides lives in the
// stage session (core/StageSession.h); the dialog turns its controls, keys, timer and the port's
// notifications into the session's events and carries out what the session answers, in order:
// the lines on the wire, the pauses, the texts, the boxes, the settings.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "core/StageSession.h"
#include "win32/SerialWnd.h"

// The connection timer.
constexpr UINT_PTR CONNECT_TIMER_ID = 1;

// The "More >>" / "<< Less" expander: the collapsed panel ends at the marker control's bottom edge.
class CDlgExpander {
public:
    void Init(HWND hDlg);
    void Toggle();
    bool IsExpanded() const { return m_bExpanded; }

private:
    HWND m_hDlg = nullptr;
    std::wstring m_strMore;
    std::wstring m_strLess;
    RECT m_rcFull{};   // the panel's window rectangle at initialisation, full size
    bool m_bExpanded = false;
};

// The owner-drawn status button: its caption, and the icon of the connection state at its right.
class CStatusButton {
public:
    ~CStatusButton();
    void Attach(HWND hButton) { m_hButton = hButton; }
    void SetIcon(int iconId);
    void Draw(const DRAWITEMSTRUCT& item) const;

private:
    HWND m_hButton = nullptr;
    HICON m_hIcon = nullptr;   // loaded at its own size: ours to destroy
};

class CPanelDlg : public SPanelMembers {
public:
    CPanelDlg();
    ~CPanelDlg();
    CPanelDlg(const CPanelDlg&) = delete;
    CPanelDlg& operator=(const CPanelDlg&) = delete;

    // Creates the window (modeless); nullptr when it cannot.
    HWND Create(HINSTANCE hInstance);
    HWND Hwnd() const { return m_hWnd; }
    // The message loop's first look at every message: true when the panel took it (the jog keys,
    // whichever control has the focus).
    bool PreTranslateMessage(const MSG& msg);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Start and window (PanelDlg.cpp).
    BOOL OnInitDialog();
    void SetUpWindow();
    void FillSpeedDistanceLists();
    void InitSliders();
    void EnumeratePorts();
    void FillBaudList();
    DWORD SelectedBaud() const;
    void PlaceTopMost(bool topMost);
    void OnContextMenu(POINT where);
    void OnAboutBox();
    void OnPaintMinimized();

    // Events (PanelEvents.cpp).
    void OnCommand(int id, int code);
    void OnJogButton(int id);
    void OnScroll(HWND hBar, UINT code, UINT pos);
    void OnSerialMsg(WPARAM wParam);
    void ReadReceived();
    void OnBnClickedMoreLess();
    void OnCbnSelchangeBaud();

    // Effects (PanelShell.cpp).
    void Run(SEffects effects);
    bool RunOne(const SEffect& effect);
    std::string BoxText(EControl control) const;
    void ShowBox(const SEffect& effect);
    void OpenPort();
    void SetConnectedState(bool bConnected);
    void EnableMotionControls(bool bEnable);
    void ShowConnectionIcon(int iconId);
    void ShowThumbs(const std::array<int, 3>& positions);
    void EnableItem(int id, bool enable);
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

private:
    HWND m_hWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    HICON m_hIcon = nullptr;        // 129 at the system's large size (shared: not destroyed)
    HICON m_hIconSmall = nullptr;   // and at its small size
    HICON m_hConnIcon = nullptr;    // shown by control 1039, ours to destroy
    CDlgExpander m_expander;
    CStatusButton m_btnStatus;
    CSerialWnd m_serial;
    CStageSession m_session;
    std::vector<SComName> m_ports;  // the port list's entries, in its order
    UINT m_nSerialMsg = 0;
};
