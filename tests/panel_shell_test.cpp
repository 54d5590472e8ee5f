// The application shell around the panel: the about box and its menu entry, the layout in pixels,
// the look at start.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <functional>

#include "qt/panel/AboutDlg.h"
#include "res/Resource.h"
#include "qt/res/Resources.h"
#include "tests/support/PanelFixture.h"

namespace {

using PanelShell = CPanelTest;

// Runs what and reports whether the about box came up (closing it again).
bool OpensAboutBox(const std::function<void()>& what)
{
    bool seen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            seen = about->GetDlgItemText(IDC_ABOUT_NAME).startsWith("TarnikS");
            about->EndDialog(IDOK);
        }
    });
    closer.start(5);
    what();
    QCoreApplication::sendPostedEvents();   // a menu command runs queued
    return seen;
}

TEST_F(PanelShell, TheAboutEntryOpensTheBoxForCommands0x10To0x1F)
{
    auto& panel = OpenPanel();
    const QList<QAction*> actions = panel.GetSystemMenu()->actions();
    ASSERT_GE(actions.size(), 2);   // the port entries follow
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), "&About Tarnik S4");
    EXPECT_TRUE(OpensAboutBox([&] { actions[1]->trigger(); }));
    for (UINT cmd : {0x0010u, 0x001Fu, 0x0020u, 0xF060u})
        EXPECT_EQ(OpensAboutBox([&] { panel.SendSysCommand(cmd); }), cmd < 0x20) << cmd;

    // An empty about string adds no entry.
    SetResStringOverride(IDS_ABOUTBOX, QString());
    for (const QAction* action : OpenPanel().GetSystemMenu()->actions())
        EXPECT_NE(action->data().toUInt(), 0x0010u) << action->text().toStdString();
}

// The icon the about box's template names comes from the icons the box hands to its dialog base.
TEST_F(PanelShell, TheAboutBoxShowsTheApplicationIcon)
{
    CAboutDlg about;
    ASSERT_TRUE(about.Create());
    const QImage shown = about.DlgItem<QLabel>(IDC_ABOUT_ICON)->pixmap().toImage();
    EXPECT_FALSE(shown.isNull());
    EXPECT_EQ(shown, LoadResIcon(IDR_MAINFRAME).toImage());
}

TEST_F(PanelShell, TheOfflinePanelShowsItsStartLookWhereItsDialogUnitsPutIt)
{
    auto& panel = OpenPanel();
    EXPECT_EQ(panel.windowTitle(), "Tarnik S4");
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Disconnected");
    for (int id : {IDC_COMBO_PORT, IDC_BTN_REFRESH, IDC_BTN_CONNECT, IDC_CHECK_ONTOP})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {IDC_COMBO_XYDIST, IDC_COMBO_ZSPEED, IDC_BTN_HOME, IDC_BTN_XPLUS, IDC_SCROLL_Z, IDC_BTN_START})
        EXPECT_FALSE(Enabled(id)) << id;
    // The thumbs match the position (0, 0, 0): X at the left end, Y and Z at the bottom ends.
    const std::pair<int, int> thumbs[] = {{IDC_SCROLL_X, 0}, {IDC_SCROLL_Y, 300}, {IDC_SCROLL_Z, 200}};
    for (auto [id, value] : thumbs)
        EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(id)->value(), value) << id;
    EXPECT_EQ(panel.GetDlgItem(IDC_STATIC_VERSION)->palette().color(QPalette::WindowText), QColor(195, 195, 195));

    const QSize base = panel.BaseUnits();
    const auto px = [&](int x, int y, int cx, int cy) {
        return QRect((x * base.width() + 2) / 4, (y * base.height() + 4) / 8, (cx * base.width() + 2) / 4,
                     (cy * base.height() + 4) / 8);
    };
    EXPECT_EQ(panel.GetDlgItem(IDC_BTN_XPLUS)->geometry(), px(117, 131, 23, 20));
    // A combo box's template height includes its list: the closed box is one line tall.
    const QRect ports = panel.GetDlgItem(IDC_COMBO_PORT)->geometry();
    EXPECT_EQ(ports.topLeft(), px(57, 16, 63, 33).topLeft());
    EXPECT_LE(ports.bottom(), panel.GetDlgItem(IDC_COMBO_BAUD)->geometry().top());
    // Controls over a group box stay on top of it, and so usable.
    QWidget* connect = panel.GetDlgItem(IDC_BTN_CONNECT);
    EXPECT_EQ(panel.childAt(connect->geometry().center()), connect);
}

} // namespace
