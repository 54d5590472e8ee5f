// Without a mouse: every control has a name a screen reader can say, and Tab reaches every enabled
// control in a sensible order, connected or not.
#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <algorithm>

#include "res/Resource.h"
#include "tests/support/PanelFixture.h"

namespace {

using PanelAccess = CPanelTest;

// The order an operator meets the controls with Tab.
const int kExpectedOrder[] = {
    IDC_COMBO_PORT,   IDC_COMBO_BAUD,    IDC_BTN_CONNECT, IDC_BTN_REFRESH, IDC_CHECK_ONTOP, IDC_CHECK_RETAIN,
    IDC_COMBO_XYDIST, IDC_COMBO_XYSPEED, IDC_COMBO_ZDIST, IDC_COMBO_ZSPEED, IDC_BTN_HOME,    IDC_BTN_PARK,
    IDC_BTN_XMINUS,   IDC_BTN_XPLUS,     IDC_BTN_YPLUS,   IDC_BTN_YMINUS,  IDC_BTN_ZPLUS,   IDC_BTN_ZMINUS,
    IDC_SCROLL_X,     IDC_SCROLL_Y,      IDC_SCROLL_Z,    IDC_BTN_SETPARK, IDC_BTN_MORELESS, IDC_BTN_START,
    IDC_BTN_END,      IDC_BTN_RESET,
};

// What a screen reader says for a control. On this platform a combo box's name is its current entry
// and its label comes through the "labelled by" relation, so that is what counts for a combo box.
QString Spoken(QAccessibleInterface* iface)
{
    if (iface->role() == QAccessible::ComboBox) {
        for (const auto& rel : iface->relations(QAccessible::Labelled))
            if (rel.first)
                return rel.first->text(QAccessible::Name);
        return iface->object() ? static_cast<QWidget*>(iface->object())->accessibleName() : QString();
    }
    return iface->text(QAccessible::Name);
}

QStringList Nameless(QAccessibleInterface* root)
{
    QStringList nameless;
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        if (!child || child->state().invisible)
            continue;
        if (Spoken(child).trimmed().isEmpty())
            nameless << (child->object() ? child->object()->objectName() : QStringLiteral("?"));
    }
    return nameless;
}

// Presses Tab from the first control until the focus comes round again.
std::vector<int> TabWalk(CTarnikMDlg& panel)
{
    panel.GetDlgItem(IDC_COMBO_PORT)->setFocus();
    std::vector<int> seen;
    for (int i = 0; i < 60; ++i) {
        QWidget* w = QApplication::focusWidget();
        if (!w)
            break;
        const int id = w->property("dlgId").toInt();
        if (!seen.empty() && id == seen.front())
            break;
        seen.push_back(id);
        QTest::keyClick(w, Qt::Key_Tab);
    }
    return seen;
}

std::vector<int> EnabledInOrder(CTarnikMDlg& panel)
{
    std::vector<int> ids;
    for (int id : kExpectedOrder)
        if (panel.GetDlgItem(id)->isEnabled() && panel.GetDlgItem(id)->isVisible())
            ids.push_back(id);
    return ids;
}

TEST_F(PanelAccess, EveryVisibleControlHasANameAndBoxesTakeTheirLabels)
{
    WriteConfig("[DlgStatus]\nExpanderDlg=1\n");
    auto& panel = OpenPanel();
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&panel);
    ASSERT_NE(root, nullptr);
    EXPECT_GT(root->childCount(), 40);
    const QStringList nameless = Nameless(root);
    EXPECT_TRUE(nameless.isEmpty()) << nameless.join(", ").toStdString();

    const auto name = [&](int id) { return Spoken(QAccessible::queryAccessibleInterface(panel.GetDlgItem(id))); };
    EXPECT_EQ(name(IDC_COMBO_XYDIST), "X, Y Distance");
    EXPECT_EQ(name(IDC_COMBO_ZDIST), "Z Distance");
    EXPECT_EQ(name(IDC_COMBO_BAUD), "Baud rate");
    EXPECT_EQ(name(IDC_COMBO_XYSPEED), "Speed");
    EXPECT_EQ(name(IDC_SCROLL_X), "X");
    EXPECT_EQ(name(IDC_SCROLL_Y), "Y");
    EXPECT_EQ(name(IDC_SCROLL_Z), "Z");
    EXPECT_EQ(name(IDC_COMBO_PORT), "Port");
    EXPECT_EQ(name(IDC_BTN_XPLUS), "+ X");
}

TEST_F(PanelAccess, TabReachesEveryEnabledControlInOrderInBothStates)
{
    WriteConfig("[DlgStatus]\nExpanderDlg=1\n");
    auto& panel = OpenPanel();
    QApplication::setActiveWindow(&panel);
    EXPECT_EQ(TabWalk(panel), EnabledInOrder(panel));
    // The connected look (the hidden status button switches it without a controller).
    panel.OnBnClickedStatus();
    ASSERT_TRUE(panel.GetDlgItem(IDC_BTN_HOME)->isEnabled());
    panel.GetDlgItem(IDC_BTN_CONNECT)->setFocus();
    std::vector<int> walk;
    for (int i = 0; i < 60; ++i) {
        const int id = QApplication::focusWidget()->property("dlgId").toInt();
        if (!walk.empty() && id == walk.front())
            break;
        walk.push_back(id);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    std::vector<int> expected = EnabledInOrder(panel);
    std::rotate(expected.begin(), std::find(expected.begin(), expected.end(), IDC_BTN_CONNECT), expected.end());
    EXPECT_EQ(walk, expected);
    EXPECT_GE(walk.size(), 20u);
}

} // namespace
