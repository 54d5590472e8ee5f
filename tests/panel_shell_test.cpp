// The application shell around the panel: the about box and its menu entry, the layout in pixels.
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "panel/AboutDlg.h"
#include "res/Resource.h"
#include "res/Resources.h"
#include "tests/support/PanelFixture.h"
#include "tests/support/Wait.h"

namespace {

using PanelShell = CPanelTest;

// Runs cmd and reports whether an about box came up (closing it again).
bool OpensAboutBox(CTarnikMDlg& panel, UINT cmd)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            seen = true;
            about->EndDialog(IDOK);
        }
    });
    panel.SendSysCommand(cmd);
    return seen;
}

TEST_F(PanelShell, TheAboutEntryOpensTheBoxForCommands0x10To0x1F)
{
    auto& panel = OpenPanel();
    const QList<QAction*> actions = panel.GetSystemMenu()->actions();
    ASSERT_GE(actions.size(), 2);   // the port entries follow
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), "&About Tarnik S4");
    EXPECT_EQ(actions[1]->data().toUInt(), 0x0010u);
    for (UINT cmd = 0x0010; cmd <= 0x001F; ++cmd)
        EXPECT_TRUE(OpensAboutBox(panel, cmd)) << cmd;
    EXPECT_FALSE(OpensAboutBox(panel, 0x0020));
    EXPECT_FALSE(OpensAboutBox(panel, 0xF060));

    bool viaMenu = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            viaMenu = about->GetDlgItemText(IDC_ABOUT_NAME).startsWith("TarnikS");
            about->EndDialog(IDOK);
        }
    });
    closer.start(20);
    actions[1]->trigger();
    EXPECT_EVENTUALLY(viaMenu, 5000);
}

TEST_F(PanelShell, AnEmptyAboutStringAddsNoEntry)
{
    SetResStringOverride(IDS_ABOUTBOX, QString());
    auto& panel = OpenPanel();
    for (const QAction* action : panel.GetSystemMenu()->actions())
        EXPECT_NE(action->data().toUInt(), 0x0010u) << action->text().toStdString();
}

TEST_F(PanelShell, ControlsSitWhereTheirDialogUnitsPutThem)
{
    auto& panel = OpenPanel();
    const QSize base = panel.BaseUnits();
    const auto px = [&](int x, int y, int cx, int cy) {
        return QRect((x * base.width() + 2) / 4, (y * base.height() + 4) / 8, (cx * base.width() + 2) / 4,
                     (cy * base.height() + 4) / 8);
    };
    EXPECT_EQ(panel.GetDlgItem(IDC_BTN_CONNECT)->geometry(), px(128, 32, 56, 12));
    EXPECT_EQ(panel.GetDlgItem(IDC_BTN_XPLUS)->geometry(), px(117, 131, 23, 20));
    EXPECT_EQ(panel.GetDlgItem(IDC_SCROLL_Y)->geometry(), px(36, 119, 11, 61));
    EXPECT_EQ(panel.GetDlgItem(IDC_STATIC_STARTPOINT)->geometry(), px(14, 280, 218, 16));
    // A combo box's template height includes its list: the closed box is one line tall.
    const QRect ports = panel.GetDlgItem(IDC_COMBO_PORT)->geometry();
    EXPECT_EQ(ports.topLeft(), px(57, 16, 63, 33).topLeft());
    EXPECT_LT(ports.height(), px(57, 16, 63, 33).height());
    EXPECT_LE(ports.bottom(), panel.GetDlgItem(IDC_COMBO_BAUD)->geometry().top());
    // Controls over a group box stay on top of it, and so usable.
    QWidget* atConnect = panel.childAt(panel.GetDlgItem(IDC_BTN_CONNECT)->geometry().center());
    EXPECT_EQ(atConnect, panel.GetDlgItem(IDC_BTN_CONNECT));
}

TEST_F(PanelShell, TheOfflinePanelShowsItsStartLook)
{
    auto& panel = OpenPanel();
    EXPECT_EQ(panel.windowTitle(), "Tarnik S4");
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Disconnected");
    EXPECT_EQ(Text(IDC_STATIC_STARTPOINT), "  X = 0.00, Y = 0.00, Z = 0.00");
    EXPECT_EQ(Text(IDC_STATIC_ENDPOINT), "  X = 0.00, Y = 0.00, Z = 0.00");
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  0.0");
    for (int id : {IDC_COMBO_PORT, IDC_COMBO_BAUD, IDC_BTN_REFRESH, IDC_BTN_CONNECT, IDC_CHECK_ONTOP})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {IDC_COMBO_XYDIST, IDC_COMBO_ZSPEED, IDC_BTN_HOME, IDC_BTN_XPLUS, IDC_SCROLL_Z, IDC_BTN_START})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(panel.GetDlgItem(IDC_BTN_STATUS)->isVisible());
    EXPECT_EQ(panel.DlgItem<QComboBox>(IDC_COMBO_BAUD)->count(), 1);
    EXPECT_EQ(Text(IDC_COMBO_BAUD), "115200");
    // The thumbs match the position (0, 0, 0): X at the left end, Y and Z at the bottom ends.
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_X)->value(), 0);
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y)->value(), 300);
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z)->value(), 200);
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z)->maximum(), 200);
    const QColor grey = panel.GetDlgItem(IDC_STATIC_VERSION)->palette().color(QPalette::WindowText);
    EXPECT_EQ(grey, QColor(195, 195, 195));
}

} // namespace
