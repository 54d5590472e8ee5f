#include "qt/platform/DialogBase.h"

#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimerEvent>

CDialogBase::CDialogBase(SDialogResources resources, QWidget* parent)
    : QDialog(parent), m_resources(std::move(resources))
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CDialogBase::~CDialogBase()
{
    qApp->removeEventFilter(this);
}

int CDialogBase::DoModal()
{
    if (!Create())
        return -1;
    return exec();
}

void CDialogBase::EndDialog(int result)
{
    done(result);
}

QWidget* CDialogBase::GetDlgItem(int id) const
{
    return m_items.value(id).data();
}

DWORD CDialogBase::GetDlgItemStyle(int id) const
{
    return m_styles.value(id, 0);
}

void CDialogBase::ReplaceDlgItem(int id, QWidget* replacement)
{
    QWidget* old = GetDlgItem(id);
    if (!old || !replacement || old == replacement)
        return;
    replacement->setParent(this);
    replacement->setGeometry(old->geometry());
    replacement->setObjectName(old->objectName());
    replacement->setProperty("dlgId", id);
    replacement->setProperty("dlgStyle", old->property("dlgStyle"));
    replacement->setEnabled(old->isEnabled());
    if (auto* oldButton = qobject_cast<QAbstractButton*>(old))
        if (auto* newButton = qobject_cast<QAbstractButton*>(replacement)) {
            newButton->setText(oldButton->text());
            connect(newButton, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
        }
    replacement->stackUnder(old);
    setTabOrder(old, replacement);
    replacement->setVisible(!old->isHidden());
    m_items.insert(id, replacement);
    delete old;
}

void CDialogBase::SetDlgItemText(int id, const QString& text)
{
    QWidget* w = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable())
            combo->setEditText(text);
        else
            combo->setCurrentIndex(combo->findText(text));
    } else if (w)
        w->setWindowTitle(text);
}

QString CDialogBase::GetDlgItemText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    return {};
}

void CDialogBase::EnableDlgItem(int id, bool enable)
{
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(enable);
}

void CDialogBase::ShowDlgItem(int id, bool show)
{
    if (QWidget* w = GetDlgItem(id))
        w->setVisible(show);
}

void CDialogBase::CheckDlgButton(int id, int check)
{
    if (auto* b = DlgItem<QAbstractButton>(id))
        b->setChecked(check != 0);
}

int CDialogBase::IsDlgButtonChecked(int id) const
{
    auto* b = DlgItem<QAbstractButton>(id);
    return b && b->isChecked() ? 1 : 0;
}

QMenu* CDialogBase::GetSystemMenu()
{
    if (!m_pSystemMenu)
        m_pSystemMenu = new QMenu(this);
    return m_pSystemMenu;
}

void CDialogBase::AppendSystemMenuSeparator()
{
    GetSystemMenu()->addSeparator();
}

void CDialogBase::AppendSystemMenuItem(UINT nID, const QString& text)
{
    QAction* action = GetSystemMenu()->addAction(text);
    action->setData(nID);
    // Queued, as a menu command is: the command may run a modal box of its own, which must not
    // run inside the menu's activation.
    connect(action, &QAction::triggered, this, [this, nID] { OnSysCommand(nID, 0); }, Qt::QueuedConnection);
}

void CDialogBase::contextMenuEvent(QContextMenuEvent* e)
{
    if (m_pSystemMenu && !m_pSystemMenu->isEmpty())
        m_pSystemMenu->popup(e->globalPos());
}

UINT_PTR CDialogBase::SetTimer(UINT_PTR nIDEvent, UINT nElapseMs)
{
    KillTimer(nIDEvent);
    const int qtId = startTimer(static_cast<int>(nElapseMs));
    if (qtId == 0)
        return 0;
    m_timers.insert(nIDEvent, qtId);
    return nIDEvent;
}

BOOL CDialogBase::KillTimer(UINT_PTR nIDEvent)
{
    auto it = m_timers.find(nIDEvent);
    if (it == m_timers.end())
        return FALSE;
    killTimer(it.value());
    m_timers.erase(it);
    return TRUE;
}

void CDialogBase::timerEvent(QTimerEvent* e)
{
    for (auto it = m_timers.cbegin(); it != m_timers.cend(); ++it)
        if (it.value() == e->timerId()) {
            OnTimer(it.key());
            return;
        }
    QDialog::timerEvent(e);
}

void CDialogBase::closeEvent(QCloseEvent* e)
{
    m_bCloseAccepted = false;
    OnClose();
    if (m_bCloseAccepted) {
        e->accept();
        QDialog::done(QDialog::Rejected);
    } else {
        e->ignore();
    }
}

void CDialogBase::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Escape:
        // Esc asks like the close box does, so nothing is lost by a stray key.
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter acts only on the push button that has the focus; it never ends the panel.
        if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isEnabled())
            b->animateClick();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

bool CDialogBase::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
        // A button is pressed by a fresh press of Enter or Space, never by the keyboard's repeats,
        // which go on to whatever window has the focus. Enter held on a box (which closes at the
        // press) went on repeating into the panel, where each repeat restarted the focused
        // button's 100 ms animated click: Connect was clicked as soon as the repeats paused or
        // stopped, and the port opened with nobody pressing Connect. A key sent to the box's own
        // window (xdotool key --window) leaves Return held for good: the press goes through the
        // X server because the box has the focus, the release is sent to the box's window, which
        // has gone by then, so the server repeats Return until some other release of it.
        if (m_buttonKeyRepeats.IsRepeatedPress(*static_cast<QKeyEvent*>(e)))
            return true;
        auto* w = qobject_cast<QWidget*>(watched);
        // Each key event is seen once: at the widget that receives it first.
        const bool first = w && (w == QApplication::focusWidget() || (!QApplication::focusWidget() && w == this));
        if (first && w->window() == this && PreTranslateMessage(watched, static_cast<QKeyEvent*>(e)))
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

BOOL CDialogBase::OnInitDialog() { return TRUE; }
void CDialogBase::OnCommand(int id)
{
    if (id == IDOK || id == IDCANCEL)
        EndDialog(id);
}
void CDialogBase::OnHScroll(UINT, UINT, CScrollBarCtrl*) {}
void CDialogBase::OnVScroll(UINT, UINT, CScrollBarCtrl*) {}
void CDialogBase::OnSysCommand(UINT, LPARAM) {}
void CDialogBase::OnTimer(UINT_PTR) {}
void CDialogBase::OnClose() { m_bCloseAccepted = true; }
bool CDialogBase::PreTranslateMessage(QObject*, QKeyEvent*) { return false; }
