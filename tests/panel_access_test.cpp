// Without a mouse: every control has a name a screen reader can say, and Tab reaches the controls.
#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <set>
#include <vector>

#include "res/Resource.h"
#include "tests/support/PanelFixture.h"

namespace {

using PanelAccess = CPanelTest;

// What a screen reader says for a control. On this platform a combo box's name is its current entry
// and its label comes through the "labelled by" relation, so that is what counts for a combo box.
QString Spoken(QAccessibleInterface* iface)
{
    if (iface->role() != QAccessible::ComboBox)
        return iface->text(QAccessible::Name);
    for (const auto& rel : iface->relations(QAccessible::Labelled))
        if (rel.first)
            return rel.first->text(QAccessible::Name);
    return static_cast<QWidget*>(iface->object())->accessibleName();
}

TEST_F(PanelAccess, EveryVisibleControlHasANameAndBoxesTakeTheirLabels)
{
    WriteConfig("[DlgStatus]\nExpanderDlg=1\n");
    auto& panel = OpenPanel();
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&panel);
    ASSERT_GT(root->childCount(), 40);
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        if (child && !child->state().invisible) {
            EXPECT_FALSE(Spoken(child).trimmed().isEmpty()) << child->object()->objectName().toStdString();
        }
    }
    const std::pair<int, const char*> names[] = {{IDC_COMBO_XYDIST, "X, Y Distance"}, {IDC_COMBO_ZDIST, "Z Distance"},
                                                 {IDC_COMBO_PORT, "Port"}, {IDC_SCROLL_Y, "Y"}};
    for (const auto& [id, name] : names)
        EXPECT_EQ(Spoken(QAccessible::queryAccessibleInterface(panel.GetDlgItem(id))), name) << id;
}

TEST_F(PanelAccess, TabReachesConnectOfflineAndTheMotionControlsConnected)
{
    auto& panel = OpenPanel();
    QApplication::setActiveWindow(&panel);
    panel.GetDlgItem(IDC_COMBO_PORT)->setFocus();
    // Offline, then in the connected look (the status button switches it without a controller).
    for (const std::vector<int>& reached : {std::vector{IDC_BTN_CONNECT}, {IDC_BTN_HOME, IDC_SCROLL_X, IDC_BTN_SETPARK}}) {
        std::set<int> seen;
        for (int i = 0; i < 60; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            seen.insert(QApplication::focusWidget()->property("dlgId").toInt());
        for (int id : reached)
            EXPECT_TRUE(seen.count(id)) << id;
        panel.OnBnClickedStatus();
    }
}

} // namespace
