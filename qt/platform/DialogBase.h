#pragma once
// The dialog base: builds a dialog from its template table, converts dialog units to pixels from
// the dialog font, finds controls by ID and routes Qt's signals to the OnXxx handlers the way a
// dialog's message map does. Esc closes through OnClose; Enter presses only a focused push button.
// The dialog built on it hands in its template and icons: this layer knows no resource numbers.
#include <functional>

#include <QDialog>
#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>

#include "qt/platform/ButtonKeys.h"
#include "qt/platform/DialogTemplate.h"
#include "platform/WinTypes.h"

class QMenu;

// Scroll codes handed to OnHScroll/OnVScroll.
constexpr UINT SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
               SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7,
               SB_ENDSCROLL = 8;

// A scroll bar that leaves its thumb where the program puts it (arrows and trough clicks report,
// they do not move it) and reports the end of a scroll when the mouse is released.
class CScrollBarCtrl : public QScrollBar {
    Q_OBJECT
public:
    using QScrollBar::QScrollBar;
    void SetScrollRange(int nMin, int nMax);
    void SetScrollPos(int nPos);
    int GetScrollPos() const { return value(); }
signals:
    void scrollNotify(UINT nSBCode, UINT nPos);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    friend class CDialogBase;
    void OnAction(int action);
};

// What a dialog is built from: its template (nullptr: the dialog cannot be created), and the icon
// that a static icon control names by number (a null pixmap for a number it does not know).
struct SDialogResources {
    const SDialogTemplate* pTemplate = nullptr;
    std::function<QPixmap(int id)> loadIcon;
};

class CDialogBase : public QDialog {
    Q_OBJECT
public:
    explicit CDialogBase(SDialogResources resources, QWidget* parent = nullptr);
    ~CDialogBase() override;

    // Builds the controls and runs OnInitDialog, once. DoModal does it too.
    bool Create();
    int DoModal();
    void EndDialog(int result);

    QWidget* GetDlgItem(int id) const;
    template <class T> T* DlgItem(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }
    // The style bits the template gave a control (0 for an unknown ID).
    DWORD GetDlgItemStyle(int id) const;
    // Puts another widget in the place of a control (same geometry, text, visibility, state).
    void ReplaceDlgItem(int id, QWidget* replacement);

    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;
    void EnableDlgItem(int id, bool enable);
    void ShowDlgItem(int id, bool show);
    void CheckDlgButton(int id, int check);
    int IsDlgButtonChecked(int id) const;

    // Dialog units to pixels, from the dialog font's average character width and height.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;
    QSize BaseUnits() const { return m_baseUnits; }
    const SDialogTemplate* Template() const { return m_resources.pTemplate; }

    // The window's command menu (shown on a right click on the dialog); entries reach OnSysCommand.
    QMenu* GetSystemMenu();
    void AppendSystemMenuSeparator();
    void AppendSystemMenuItem(UINT nID, const QString& text);

    // Per-ID timers delivered to OnTimer.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapseMs);
    BOOL KillTimer(UINT_PTR nIDEvent);
    bool IsTimerRunning(UINT_PTR nIDEvent) const { return m_timers.contains(nIDEvent); }

    // Runs a system command as the menu would.
    void SendSysCommand(UINT nID, LPARAM lParam = 0) { OnSysCommand(nID, lParam); }

protected:
    virtual BOOL OnInitDialog();
    // A push button or check box was clicked (BN_CLICKED), or the operator chose an entry of a
    // drop-down list (CBN_SELCHANGE).
    virtual void OnCommand(int id);
    virtual void OnHScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar);
    virtual void OnVScroll(UINT nSBCode, UINT nPos, CScrollBarCtrl* pScrollBar);
    virtual void OnSysCommand(UINT nID, LPARAM lParam);
    virtual void OnTimer(UINT_PTR nIDEvent);
    // The close request (close box, Esc, window manager). The default handling ends the dialog.
    virtual void OnClose();
    // Keyboard messages first reach this filter, whatever control has the focus; return true
    // when the key was handled. The default handles none.
    virtual bool PreTranslateMessage(QObject* receiver, QKeyEvent* e);

    void timerEvent(QTimerEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SetUpDialogFont();
    void ComputeBaseUnits();
    void CreateControls();
    QWidget* CreateControl(const SControlTemplate& t);
    QWidget* CreateStaticText(const SControlTemplate& t);
    QWidget* CreateStaticIcon(const SControlTemplate& t, QRect& r);
    QWidget* CreatePushButton(const SControlTemplate& t);
    QWidget* CreateCheckBox(const SControlTemplate& t);
    QWidget* CreateComboBox(const SControlTemplate& t, QRect& r);
    QWidget* CreateScrollBar(const SControlTemplate& t);
    void AttachControl(QWidget* w, const SControlTemplate& t, const QRect& r);

    SDialogResources m_resources;
    QHash<int, QPointer<QWidget>> m_items;
    QHash<int, DWORD> m_styles;
    QSize m_baseUnits{6, 13};
    bool m_bCreated = false;
    bool m_bCloseAccepted = false;
    QMenu* m_pSystemMenu = nullptr;
    QHash<UINT_PTR, int> m_timers;   // our ID -> Qt timer ID
    CButtonKeyRepeats m_buttonKeyRepeats;
};
