// Names for screen readers and the Tab order: every control can be reached and announced without
// a mouse. A box or slider is announced by the text of the label beside it.
#include <QAccessible>
#include <QLabel>
#include <QList>

#include "qt/panel/TarnikMDlg.h"
#include "res/Resource.h"

namespace {

// Label -> the control it names.
constexpr struct {
    int label;
    int control;
} kLabelled[] = {
    {IDC_STATIC_BAUD, IDC_COMBO_BAUD},     {IDC_STATIC_XYDIST, IDC_COMBO_XYDIST},
    {IDC_STATIC_XYSPEED, IDC_COMBO_XYSPEED}, {IDC_STATIC_ZDIST, IDC_COMBO_ZDIST},
    {IDC_STATIC_ZSPEED, IDC_COMBO_ZSPEED}, {IDC_STATIC_DEPTHLABEL, IDC_STATIC_DEPTH},
};

// The order Tab takes: connection first, then the step inputs, then the motion buttons from left
// to right and top to bottom, the sliders, and the depth measurement.
constexpr int kTabOrder[] = {
    IDC_COMBO_PORT,   IDC_COMBO_BAUD,    IDC_BTN_CONNECT, IDC_BTN_REFRESH, IDC_CHECK_ONTOP, IDC_CHECK_RETAIN,
    IDC_COMBO_XYDIST, IDC_COMBO_XYSPEED, IDC_COMBO_ZDIST, IDC_COMBO_ZSPEED, IDC_BTN_HOME,    IDC_BTN_PARK,
    IDC_BTN_XMINUS,   IDC_BTN_XPLUS,     IDC_BTN_YPLUS,   IDC_BTN_YMINUS,  IDC_BTN_ZPLUS,   IDC_BTN_ZMINUS,
    IDC_SCROLL_X,     IDC_SCROLL_Y,      IDC_SCROLL_Z,    IDC_BTN_SETPARK, IDC_BTN_MORELESS, IDC_BTN_START,
    IDC_BTN_END,      IDC_BTN_RESET,
};

} // namespace

void CTarnikMDlg::SetUpKeyboardAndNames()
{
    // A combo box would be announced by its current entry: give it its label's text as its name.
    const auto name = [](QLabel* label, QWidget* control) {
        label->setBuddy(control);
        control->setAccessibleName(label->text());
    };
    for (const auto& l : kLabelled)
        if (auto* label = DlgItem<QLabel>(l.label))
            name(label, GetDlgItem(l.control));
    // The slider labels and the depth group have no control ID: find them by their place.
    const QList<QLabel*> labels = findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    for (QLabel* label : labels) {
        const QString text = label->text();
        if (text == QStringLiteral("X"))
            name(label, GetDlgItem(IDC_SCROLL_X));
        else if (text == QStringLiteral("Y"))
            name(label, GetDlgItem(IDC_SCROLL_Y));
        else if (text == QStringLiteral("Z"))
            name(label, GetDlgItem(IDC_SCROLL_Z));
    }
    // The two speed boxes share the label "Speed": say which is which.
    GetDlgItem(IDC_COMBO_XYSPEED)->setAccessibleDescription(QStringLiteral("X, Y feed rate in mm/min"));
    GetDlgItem(IDC_COMBO_ZSPEED)->setAccessibleDescription(QStringLiteral("Z feed rate in mm/min"));
    // Controls without a label of their own.
    GetDlgItem(IDC_COMBO_PORT)->setAccessibleName(QStringLiteral("Port"));
    GetDlgItem(IDC_ICON_CONN)->setAccessibleName(QStringLiteral("Connection state"));
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->inherits("QGroupBox") && child->accessibleName().isEmpty() &&
            child->property("title").toString().isEmpty())
            child->setAccessibleName(QStringLiteral("Depth Measurement"));

    for (size_t i = 0; i + 1 < std::size(kTabOrder); ++i)
        setTabOrder(GetDlgItem(kTabOrder[i]), GetDlgItem(kTabOrder[i + 1]));
}
