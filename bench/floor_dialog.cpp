// The floor for the start-up, memory, thread and idle figures: a plain QDialog holding the panel's
// 51 controls (same kinds, texts, places, visibility and enabled state, taken from the panel's own
// template table) and nothing else: no settings file, no log, no ports, no serial object, no
// icons loaded, no handlers. What the panel costs beyond this is the panel's own doing.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "qt/platform/DialogTemplate.h"
#include "qt/res/Resources.h"
#include "res/Resource.h"

namespace {

QWidget* MakeControl(const SControlTemplate& t, QDialog* dlg)
{
    const QString text = QString::fromUtf8(t.text);
    switch (t.kind) {
    case EControlKind::GroupBox: return new QGroupBox(text, dlg);
    case EControlKind::StaticText: {
        auto* label = new QLabel(text, dlg);
        if (t.style & SS_SUNKEN)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    case EControlKind::StaticIcon: return new QLabel(dlg);  // an icon's place, without the icon
    case EControlKind::PushButton: return new QPushButton(text, dlg);
    case EControlKind::AutoCheckBox: return new QCheckBox(text, dlg);
    case EControlKind::DropDownList:
    case EControlKind::DropDownCombo: {
        auto* combo = new QComboBox(dlg);
        combo->setEditable(t.kind == EControlKind::DropDownCombo);
        return combo;
    }
    case EControlKind::HScrollBar: return new QScrollBar(Qt::Horizontal, dlg);
    case EControlKind::VScrollBar: return new QScrollBar(Qt::Vertical, dlg);
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const SDialogTemplate* tpl = FindDialogTemplate(IDD_TARNIKM_DIALOG);
    if (!tpl)
        return 1;

    QDialog dlg;
    QFont font = QApplication::font();
    font.setPointSize(tpl->fontPointSize);
    dlg.setFont(font);
    // Dialog units from the font, so the floor has the panel's size and places.
    const QFontMetrics fm(font);
    const int bx = qMax(1, (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2);
    const int by = qMax(1, fm.height());
    const auto mx = [bx](int v) { return (v * bx + 2) / 4; };
    const auto my = [by](int v) { return (v * by + 4) / 8; };

    dlg.setWindowTitle(QStringLiteral("Floor dialog"));
    dlg.setFixedSize(mx(tpl->cx), my(tpl->cy));
    for (const SControlTemplate& t : tpl->controls) {
        QWidget* w = MakeControl(t, &dlg);
        QRect r(mx(t.x), my(t.y), mx(t.cx), my(t.cy));
        if (qobject_cast<QComboBox*>(w))
            r.setHeight(qMin(r.height(), w->sizeHint().height()));
        w->setGeometry(r);
        w->setEnabled(!(t.style & WS_DISABLED));
        w->setVisible(t.style & WS_VISIBLE);
        if (t.kind == EControlKind::GroupBox)
            w->lower();
    }
    dlg.exec();
    return 0;
}
