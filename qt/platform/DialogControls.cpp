// The controls of a dialog, built from its template: the dialog font and units, one widget per
// control with its handlers connected, and the scroll bar that reports scroll codes.
#include "qt/platform/DialogBase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWheelEvent>

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

    SetUpDialogFont();
    setWindowTitle(QString::fromUtf8(m_resources.pTemplate->caption));
    const QRect client = MapDialogRect(0, 0, m_resources.pTemplate->cx, m_resources.pTemplate->cy);
    resize(client.size());
    CreateControls();

    qApp->installEventFilter(this);
    OnInitDialog();
    return true;
}

// The template's font when the system has it, else the application's family at the template's
// size; the dialog units follow from it.
void CDialogBase::SetUpDialogFont()
{
    const SDialogTemplate& tpl = *m_resources.pTemplate;
    QFont dialogFont(QString::fromLatin1(tpl.fontFamily));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSize(tpl.fontPointSize);
    if (!QFontInfo(dialogFont).exactMatch())
        dialogFont = QFont(QApplication::font().family(), tpl.fontPointSize);
    setFont(dialogFont);
    ComputeBaseUnits();
}

void CDialogBase::CreateControls()
{
    QList<QWidget*> groups;
    for (const auto& t : m_resources.pTemplate->controls) {
        QWidget* w = CreateControl(t);
        if (t.kind == EControlKind::GroupBox)
            groups.append(w);
    }
    // A group box only frames: what it overlaps sits above it and stays usable.
    for (QWidget* g : groups)
        g->lower();
}

QWidget* CDialogBase::CreateControl(const SControlTemplate& t)
{
    QRect r = MapDialogRect(t.x, t.y, t.cx, t.cy);
    QWidget* w = nullptr;
    switch (t.kind) {
    case EControlKind::GroupBox: w = new QGroupBox(QString::fromUtf8(t.text), this); break;
    case EControlKind::StaticText: w = CreateStaticText(t); break;
    case EControlKind::StaticIcon: w = CreateStaticIcon(t, r); break;
    case EControlKind::PushButton: w = CreatePushButton(t); break;
    case EControlKind::AutoCheckBox: w = CreateCheckBox(t); break;
    case EControlKind::DropDownList:
    case EControlKind::DropDownCombo: w = CreateComboBox(t, r); break;
    case EControlKind::HScrollBar:
    case EControlKind::VScrollBar: w = CreateScrollBar(t); break;
    }
    AttachControl(w, t, r);
    return w;
}

QWidget* CDialogBase::CreateStaticText(const SControlTemplate& t)
{
    auto* label = new QLabel(QString::fromUtf8(t.text), this);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment((t.style & SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    if (t.style & SS_SUNKEN)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

// The icon is shown at its own size, however small its place in the template.
QWidget* CDialogBase::CreateStaticIcon(const SControlTemplate& t, QRect& r)
{
    auto* label = new QLabel(this);
    const int iconId = QString::fromUtf8(t.text).toInt();
    const QPixmap pm = m_resources.loadIcon ? m_resources.loadIcon(iconId) : QPixmap();
    label->setPixmap(pm);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    r.setSize(r.size().expandedTo(pm.size()));
    return label;
}

QWidget* CDialogBase::CreatePushButton(const SControlTemplate& t)
{
    auto* button = new QPushButton(QString::fromUtf8(t.text), this);
    // Enter must never press a button the operator did not focus.
    button->setAutoDefault(false);
    button->setDefault((t.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
    connect(button, &QPushButton::clicked, this, [this, id = t.id] { OnCommand(id); });
    return button;
}

QWidget* CDialogBase::CreateCheckBox(const SControlTemplate& t)
{
    auto* box = new QCheckBox(QString::fromUtf8(t.text), this);
    connect(box, &QCheckBox::clicked, this, [this, id = t.id] { OnCommand(id); });
    return box;
}

QWidget* CDialogBase::CreateComboBox(const SControlTemplate& t, QRect& r)
{
    auto* combo = new QComboBox(this);
    combo->setEditable(t.kind == EControlKind::DropDownCombo);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(10);
    // The template height includes the dropped-down list; the closed box is one line tall.
    r.setHeight(qMin(r.height(), combo->sizeHint().height()));
    // Only the operator's choice: a list the program fills or selects in says nothing.
    if (t.kind == EControlKind::DropDownList)
        connect(combo, &QComboBox::activated, this, [this, id = t.id] { OnCommand(id); });
    return combo;
}

QWidget* CDialogBase::CreateScrollBar(const SControlTemplate& t)
{
    auto* bar = new CScrollBarCtrl(t.kind == EControlKind::HScrollBar ? Qt::Horizontal : Qt::Vertical, this);
    bar->SetScrollRange(0, 100);
    bar->setPageStep(1);
    bar->setSingleStep(1);
    // Qt's own menu (scroll here, top, bottom...) would move a thumb without a scroll code.
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    // A scroll bar takes the focus only when its template makes it a tab stop.
    bar->setFocusPolicy(t.style & WS_TABSTOP ? Qt::TabFocus : Qt::NoFocus);
    connect(bar, &QAbstractSlider::actionTriggered, bar, &CScrollBarCtrl::OnAction);
    connect(bar, &CScrollBarCtrl::scrollNotify, this, [this, bar](UINT code, UINT pos) {
        if (bar->orientation() == Qt::Horizontal)
            OnHScroll(code, pos, bar);
        else
            OnVScroll(code, pos, bar);
    });
    return bar;
}

// Places a new control, marks it with its ID and style, and files it under its ID (IDC_STATIC
// controls are never looked up).
void CDialogBase::AttachControl(QWidget* w, const SControlTemplate& t, const QRect& r)
{
    w->setGeometry(r);
    w->setObjectName(QStringLiteral("IDC_%1").arg(t.id));
    w->setProperty("dlgId", t.id);
    w->setProperty("dlgStyle", static_cast<uint>(t.style));
    w->setEnabled(!(t.style & WS_DISABLED));
    w->setVisible(t.style & WS_VISIBLE);
    if (t.id != IDC_STATIC) {
        m_items.insert(t.id, w);
        m_styles.insert(t.id, t.style);
    }
}
