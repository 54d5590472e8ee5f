#include "qt/platform/DialogBase.h"

#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QWheelEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimerEvent>

void CScrollBarCtrl::SetScrollRange(int nMin, int nMax)
{
    QSignalBlocker block(this);
    setRange(nMin, nMax);
}

void CScrollBarCtrl::SetScrollPos(int nPos)
{
    QSignalBlocker block(this);
    setValue(nPos);
    setSliderPosition(nPos);
}

// Which Qt slider action is which scroll code:
//   SliderSingleStepSub -> SB_LINEUP / SB_LINELEFT (upper or left arrow)
//   SliderSingleStepAdd -> SB_LINEDOWN / SB_LINERIGHT (lower or right arrow)
//   SliderPageStepSub   -> SB_PAGEUP (trough above or left of the thumb)
//   SliderPageStepAdd   -> SB_PAGEDOWN (trough below or right of the thumb)
//   SliderMove          -> SB_THUMBTRACK (thumb dragged)
//   SliderToMinimum     -> SB_TOP, SliderToMaximum -> SB_BOTTOM
//   sliderReleased      -> SB_THUMBPOSITION (thumb let go; the position is where)
//   mouse button up     -> SB_ENDSCROLL
void CScrollBarCtrl::OnAction(int action)
{
    UINT code = SB_ENDSCROLL;
    switch (action) {
    case SliderSingleStepSub: code = SB_LINEUP; break;
    case SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case SliderPageStepSub: code = SB_PAGEUP; break;
    case SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case SliderMove: code = SB_THUMBTRACK; break;
    case SliderToMinimum: code = SB_TOP; break;
    case SliderToMaximum: code = SB_BOTTOM; break;
    default: return;
    }
    const int pos = sliderPosition();
    // Only a dragged thumb follows the mouse; everything else waits for the program to move it.
    if (code != SB_THUMBTRACK)
        setSliderPosition(value());
    emit scrollNotify(code, static_cast<UINT>(pos));
}

// The wheel has no scroll code of its own: turned over a slider it would move the thumb away from
// where the stage is and send nothing that moves it. It is swallowed.
void CScrollBarCtrl::wheelEvent(QWheelEvent* e) { e->accept(); }

void CScrollBarCtrl::mouseReleaseEvent(QMouseEvent* e)
{
    const bool wasDown = isSliderDown();
    const int pos = sliderPosition();
    QScrollBar::mouseReleaseEvent(e);
    if (wasDown)
        emit scrollNotify(SB_THUMBPOSITION, static_cast<UINT>(pos));
    emit scrollNotify(SB_ENDSCROLL, 0);
}

CDialogBase::CDialogBase(SDialogResources resources, QWidget* parent)
    : QDialog(parent), m_resources(std::move(resources))
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CDialogBase::~CDialogBase()
{
    qApp->removeEventFilter(this);
}

void CDialogBase::ComputeBaseUnits()
{
    const QFontMetrics fm(font());
    static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int cx = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
    m_baseUnits = QSize(qMax(1, cx), qMax(1, fm.height()));
}

QRect CDialogBase::MapDialogRect(int x, int y, int cx, int cy) const
{
    const auto mx = [&](int v) { return (v * m_baseUnits.width() + 2) / 4; };
    const auto my = [&](int v) { return (v * m_baseUnits.height() + 4) / 8; };
    return QRect(mx(x), my(y), mx(cx), my(cy));
}

bool CDialogBase::Create()
{
    if (m_bCreated)
        return true;
    if (!m_resources.pTemplate)
        return false;
    m_bCreated = true;

    QFont dialogFont(QString::fromLatin1(m_resources.pTemplate->fontFamily));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSize(m_resources.pTemplate->fontPointSize);
    if (!QFontInfo(dialogFont).exactMatch())
        dialogFont = QFont(QApplication::font().family(), m_resources.pTemplate->fontPointSize);
    setFont(dialogFont);
    ComputeBaseUnits();

    setWindowTitle(QString::fromUtf8(m_resources.pTemplate->caption));
    const QRect client = MapDialogRect(0, 0, m_resources.pTemplate->cx, m_resources.pTemplate->cy);
    resize(client.size());

    QList<QWidget*> groups;
    for (const auto& t : m_resources.pTemplate->controls) {
        QWidget* w = CreateControl(t);
        if (t.kind == EControlKind::GroupBox)
            groups.append(w);
    }
    // A group box only frames: what it overlaps sits above it and stays usable.
    for (QWidget* g : groups)
        g->lower();

    qApp->installEventFilter(this);
    OnInitDialog();
    return true;
}

QWidget* CDialogBase::CreateControl(const SControlTemplate& t)
{
    const QString text = QString::fromUtf8(t.text);
    QRect r = MapDialogRect(t.x, t.y, t.cx, t.cy);
    QWidget* w = nullptr;
    switch (t.kind) {
    case EControlKind::GroupBox:
        w = new QGroupBox(text, this);
        break;
    case EControlKind::StaticText: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment((t.style & SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        if (t.style & SS_SUNKEN)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        w = label;
        break;
    }
    case EControlKind::StaticIcon: {
        auto* label = new QLabel(this);
        const QPixmap pm = m_resources.loadIcon ? m_resources.loadIcon(text.toInt()) : QPixmap();
        label->setPixmap(pm);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        r.setSize(r.size().expandedTo(pm.size()));
        w = label;
        break;
    }
    case EControlKind::PushButton: {
        auto* button = new QPushButton(text, this);
        // Enter must never press a button the operator did not focus.
        button->setAutoDefault(false);
        button->setDefault((t.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        connect(button, &QPushButton::clicked, this, [this, id = t.id] { OnCommand(id); });
        w = button;
        break;
    }
    case EControlKind::AutoCheckBox: {
        auto* box = new QCheckBox(text, this);
        connect(box, &QCheckBox::clicked, this, [this, id = t.id] { OnCommand(id); });
        w = box;
        break;
    }
    case EControlKind::DropDownList:
    case EControlKind::DropDownCombo: {
        auto* combo = new QComboBox(this);
        combo->setEditable(t.kind == EControlKind::DropDownCombo);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(10);
        // The template height includes the dropped-down list; the closed box is one line tall.
        r.setHeight(qMin(r.height(), combo->sizeHint().height()));
        // Only the operator's choice: a list the program fills or selects in says nothing.
        if (t.kind == EControlKind::DropDownList)
            connect(combo, &QComboBox::activated, this, [this, id = t.id] { OnCommand(id); });
        w = combo;
        break;
    }
    case EControlKind::HScrollBar:
    case EControlKind::VScrollBar: {
        auto* bar = new CScrollBarCtrl(
            t.kind == EControlKind::HScrollBar ? Qt::Horizontal : Qt::Vertical, this);
        bar->SetScrollRange(0, 100);
        bar->setPageStep(1);
        bar->setSingleStep(1);
        // Qt's own menu (scroll here, top, bottom...) would move a thumb without a scroll code.
        bar->setContextMenuPolicy(Qt::PreventContextMenu);
        connect(bar, &QAbstractSlider::actionTriggered, bar, &CScrollBarCtrl::OnAction);
        connect(bar, &CScrollBarCtrl::scrollNotify, this, [this, bar](UINT code, UINT pos) {
            if (bar->orientation() == Qt::Horizontal)
                OnHScroll(code, pos, bar);
            else
                OnVScroll(code, pos, bar);
        });
        w = bar;
        break;
    }
    }
    w->setGeometry(r);
    w->setObjectName(QStringLiteral("IDC_%1").arg(t.id));
    w->setProperty("dlgId", t.id);
    w->setProperty("dlgStyle", static_cast<uint>(t.style));
    // A scroll bar takes the focus only when its template makes it a tab stop.
    if (qobject_cast<QScrollBar*>(w))
        w->setFocusPolicy(t.style & WS_TABSTOP ? Qt::TabFocus : Qt::NoFocus);
    w->setEnabled(!(t.style & WS_DISABLED));
    w->setVisible(t.style & WS_VISIBLE);
    if (t.id != IDC_STATIC) {
        m_items.insert(t.id, w);
        m_styles.insert(t.id, t.style);
    }
    return w;
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
