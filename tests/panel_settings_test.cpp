// The panel offline: settings loaded from System.cfg and written back, closing.
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <unistd.h>
#include <vector>

#include "platform/FileLocations.h"
#include "qt/panel/ConfigFile.h"
#include "res/Resource.h"
#include "serial/posix/LineRate.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StageFixture.h"

namespace {

using PanelSettings = CPanelTest;

TEST_F(PanelSettings, StoredSettingsAreShownAtStart)
{
    const char* defaults = "5000 (Default)|3000 (Default)|1.0|1.0";   // speeds and distances
    const struct {
        const char* config;   // nullptr: no file yet
        bool onTop, retain, expanded;
        std::tuple<float, float, float> park;
        const char* boxes;
    } cases[] = {
        {nullptr, false, false, false, {150, 150, 55}, defaults},
        {"[DlgStatus]\r\nOnTop=1\r\nExpanderDlg=1\r\n[Last_Pos]\r\nkeep=1\r\n[Park_Pos]\r\nX=10.5\r\nY=20\r\nZ=30\r\n"
         "[SpdDst]\r\nXYSpeed=750\r\nZSpeed=1200\r\nXYDistance=2.5\r\nZDistance=0.3\r\n",
         true, true, true, {10.5f, 20, 30}, "750|1200|2.5|0.3"},
        // Only the exact text "1" sets a flag (the reader trims " 1"); a park position stored as
        // zeros means none; without SpdDst the defaults stay (an empty speed would be 50 mm/min).
        {"[DlgStatus]\nOnTop=true\nExpanderDlg= 1\n[Last_Pos]\nkeep=0\n[Park_Pos]\nX=0.00\nY=0.00\nZ=0.00\n", false, false,
         true, {150, 150, 55}, defaults},
        // A corner with one coordinate at 0 is a park position all the same.
        {"[Park_Pos]\nX=0.00\nY=100.00\nZ=30.00\n", false, false, false, {0, 100, 30}, defaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config ? c.config : "first start");
        if (c.config)
            WriteConfig(c.config);
        auto& panel = OpenPanel();
        const std::vector<int> flags = {panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                                        panel.IsDlgButtonChecked(IDC_CHECK_ONTOP), panel.IsDlgButtonChecked(IDC_CHECK_RETAIN),
                                        panel.m_bRetainLastPos, panel.m_expander.IsExpanded()};
        EXPECT_EQ(flags, std::vector<int>({c.onTop, c.onTop, c.retain, c.retain, c.expanded}));
        EXPECT_EQ(Text(IDC_BTN_MORELESS), c.expanded ? "<< Less" : "More >>");
        EXPECT_EQ(std::tie(panel.m_fParkX, panel.m_fParkY, panel.m_fParkZ), c.park);
        const QStringList boxes = {Text(IDC_COMBO_XYSPEED), Text(IDC_COMBO_ZSPEED), Text(IDC_COMBO_XYDIST), Text(IDC_COMBO_ZDIST)};
        EXPECT_EQ(boxes.join('|'), c.boxes);
        EXPECT_TRUE(c.config || Config() == "[DlgStatus]\nExpanderDlg=0\n") << Config();
    }
}

TEST_F(PanelSettings, OptionsAndTheExpanderAreWrittenAtOnceAndWorkWhereNothingCanBeWritten)
{
    // A folder below a plain file can be written by nobody, root included.
    WriteWholeFile(m_dir.File("plain"), "x");
    for (const std::string& dir : {m_dir.Path(), m_dir.File("plain") + "/sub/"}) {
        platform::SetDataDirOverride(dir);
        auto& panel = OpenPanel();
        for (const std::string v : {"1", "0"}) {
            Click(IDC_CHECK_ONTOP);
            Click(IDC_CHECK_RETAIN);
            Click(IDC_BTN_MORELESS);
            const std::vector<int> flags = {panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint), panel.m_bRetainLastPos,
                                            panel.m_expander.IsExpanded()};
            EXPECT_EQ(flags, std::vector<int>(3, v == "1"));
            const std::string written = "[DlgStatus]\nExpanderDlg=" + v + "\nOnTop=" + v + "\n[Last_Pos]\nkeep=" + v + "\n";
            EXPECT_EQ(ReadWholeFile(dir + "System.cfg"), dir == m_dir.Path() ? written : "");
        }
    }
}

TEST_F(PanelSettings, ClosingWhileConnectedStoresTheBoxesBeforeAskingAndOnlyOkCloses)
{
    auto& panel = OpenPanel();
    panel.OnBnClickedStatus();   // the status button sets the connected look by hand
    // Enter in a box presses nothing.
    auto* speed = panel.DlgItem<QComboBox>(IDC_COMBO_XYSPEED);
    speed->setFocus();
    QApplication::setActiveWindow(&panel);
    QTest::keyClick(speed, Qt::Key_Return);
    QTest::keyClick(speed, Qt::Key_Enter);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");

    panel.SetDlgItemText(IDC_COMBO_XYSPEED, QStringLiteral("7000"));
    panel.SetDlgItemText(IDC_COMBO_XYDIST, QStringLiteral("0.05"));
    panel.SetDlgItemText(IDC_COMBO_ZDIST, QStringLiteral("0.02"));
    panel.CheckDlgButton(IDC_CHECK_RETAIN, 1);
    std::string atQuestion;
    CMessageBoxAnswerer answerer(QStringLiteral("Cancel"));
    QTimer::singleShot(10, [&] { atQuestion = Config(); });
    EXPECT_FALSE(panel.close());
    ASSERT_EQ(answerer.Seen().size(), 1u);
    const auto& box = answerer.Seen()[0];
    EXPECT_EQ(QStringList({box.text, box.caption, box.buttons.join('/')}),
              QStringList({"Are you sure you want to exit?", "", "OK/Cancel"}));
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_TRUE(panel.isVisible());
    const std::string stored =
        "[SpdDst]\nXYSpeed=5000\nZSpeed=3000\nXYDistance=0.05\nZDistance=0.02\n";
    EXPECT_NE(atQuestion.find(stored), std::string::npos) << atQuestion;
    // Esc asks the same.
    QTest::keyClick(speed, Qt::Key_Escape);
    EXPECT_EQ(answerer.Seen().size(), 2u);
    EXPECT_TRUE(panel.isVisible());

    // Not connected: nothing is written, and OK ends the panel.
    const std::string before = Config();
    panel.OnBnClickedStatus();
    panel.SetDlgItemText(IDC_COMBO_XYDIST, QStringLiteral("3"));
    answerer.SetAnswer(QStringLiteral("OK"));
    EXPECT_TRUE(panel.close());
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(Config(), before);
}

TEST_F(PanelSettings, ASettingsFileThatCannotBeReadIsLeftAloneAndEachSkippedWriteLogged)
{
    CaptureLog();
    // Reading the process's own memory at address 0 fails with an I/O error, for root as well.
    ASSERT_EQ(::symlink("/proc/self/mem", ConfigPath().c_str()), 0);
    OpenPanel();
    Click(IDC_CHECK_ONTOP);
    EXPECT_EQ(Log(), "System.cfg not rewritten: it cannot be read (ExpanderDlg in [DlgStatus] not stored)\r\n"
                     "System.cfg not rewritten: it cannot be read (OnTop in [DlgStatus] not stored)\r\n");
}

TEST_F(PanelSettings, CollapseThenExpandGivesBackTheFullSize)
{
    WriteConfig("[DlgStatus]\nExpanderDlg=1\n");
    auto& panel = OpenPanel();
    const QSize full = panel.size();
    Click(IDC_BTN_MORELESS);
    EXPECT_EQ(panel.size(), QSize(full.width(), panel.GetDlgItem(IDC_STATIC_MARKER)->geometry().bottom() + 1));
    EXPECT_GE(panel.GetDlgItem(IDC_BTN_START)->geometry().top(), panel.height());
    Click(IDC_BTN_MORELESS);
    EXPECT_EQ(panel.size(), full);
}

using PanelBaud = CStageTest;

// The baud list offers its rates, 115200 first and chosen when System.cfg stores none or one the
// list does not offer. The operator's choice is stored at once, and Connect opens the line at it,
// a rate without a speed constant of its own too (read back from the device).
TEST_F(PanelBaud, TheChosenRateIsStoredAtOnceAndOpensTheLine)
{
    const QStringList rates = {"115200", "250000", "230400", "500000", "1000000", "57600"};
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "115200"}, {"1000000", "1000000"}, {"9600", "115200"}, {"fast", "115200"}};
    for (auto [stored, shown] : cases) {
        SCOPED_TRACE(stored ? stored : "nothing stored");
        if (stored)
            WriteConfig(std::string("[Connection]\nBaud=") + stored + "\n");
        g_strConfigFile.clear();   // as the program starts: the panel finds System.cfg itself
        auto* list = OpenPanel().DlgItem<QComboBox>(IDC_COMBO_BAUD);
        QStringList offered;
        for (int i = 0; i < list->count(); ++i)
            offered << list->itemText(i);
        EXPECT_EQ(offered, rates);
        EXPECT_EQ(list->currentText(), shown);
        ClosePanel();
    }
    StartStage();
    auto& panel = OpenPanel();
    QTest::keyClick(panel.GetDlgItem(IDC_COMBO_BAUD), Qt::Key_Down);
    EXPECT_NE(Config().find("[Connection]\nBaud=250000\n"), std::string::npos) << Config();
    Click(IDC_BTN_CONNECT);
    ASSERT_TRUE(WaitForLines(1));
    const SClientSide device(m_stage->DevicePath());
    EXPECT_EQ(serial_detail::QueryOutputRate(device.fd), 250000);
}

} // namespace
