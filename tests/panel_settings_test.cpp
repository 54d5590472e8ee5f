// The panel offline: first start, settings loaded from System.cfg and written back, closing.
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <sys/stat.h>

#include "panel/ConfigFile.h"
#include "platform/FileLocations.h"
#include "res/Resource.h"
#include "tests/support/PanelFixture.h"

namespace {

using PanelSettings = CPanelTest;

TEST_F(PanelSettings, FirstRunStartsCollapsedWithDefaultsAndCreatesTheFile)
{
    ASSERT_FALSE(PathExists(ConfigPath()));
    auto& panel = OpenPanel();

    EXPECT_FALSE(panel.m_expander.IsExpanded());
    EXPECT_EQ(Text(IDC_BTN_MORELESS), "More >>");
    EXPECT_EQ(Config(), "[DlgStatus]\nExpanderDlg=0\n");
    EXPECT_EQ(panel.m_fParkX, 150.0f);
    EXPECT_EQ(panel.m_fParkY, 150.0f);
    EXPECT_EQ(panel.m_fParkZ, 55.0f);
    EXPECT_EQ(Text(IDC_COMBO_XYDIST), "1.0");
    EXPECT_EQ(Text(IDC_COMBO_ZDIST), "1.0");
    EXPECT_EQ(Text(IDC_COMBO_XYSPEED), "5000 (Default)");
    EXPECT_EQ(Text(IDC_COMBO_ZSPEED), "3000 (Default)");
    EXPECT_FALSE(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(panel.IsDlgButtonChecked(IDC_CHECK_ONTOP), 0);
    EXPECT_EQ(panel.IsDlgButtonChecked(IDC_CHECK_RETAIN), 0);
}

TEST_F(PanelSettings, StoredOptionsAndBoxesAreShownAtStart)
{
    WriteConfig("[DlgStatus]\r\nOnTop=1\r\nExpanderDlg=1\r\n[Last_Pos]\r\nkeep=1\r\n"
                "[SpdDst]\r\nXYSpeed=750\r\nZSpeed=1200\r\nXYDistance=2.5\r\nZDistance=0.3\r\n");
    auto& panel = OpenPanel();

    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(panel.IsDlgButtonChecked(IDC_CHECK_ONTOP), 1);
    EXPECT_EQ(panel.IsDlgButtonChecked(IDC_CHECK_RETAIN), 1);
    EXPECT_TRUE(panel.m_expander.IsExpanded());
    EXPECT_EQ(Text(IDC_BTN_MORELESS), "<< Less");
    EXPECT_EQ(Text(IDC_COMBO_XYSPEED), "750");
    EXPECT_EQ(Text(IDC_COMBO_ZSPEED), "1200");
    EXPECT_EQ(Text(IDC_COMBO_XYDIST), "2.5");
    EXPECT_EQ(Text(IDC_COMBO_ZDIST), "0.3");
}

TEST_F(PanelSettings, OnlyTheExactTextOneSetsAFlagAndMissingSpeedsKeepTheirDefaults)
{
    WriteConfig("[DlgStatus]\nOnTop=true\nExpanderDlg= 1\n[Last_Pos]\nkeep=0\n");
    auto& panel = OpenPanel();
    EXPECT_FALSE(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(panel.IsDlgButtonChecked(IDC_CHECK_ONTOP), 0);
    EXPECT_EQ(panel.m_bRetainLastPos, FALSE);
    // The reader trims " 1" to "1", as the profile services always did.
    EXPECT_TRUE(panel.m_expander.IsExpanded());
    // A file without SpdDst leaves the default entries (an empty speed would be 50 mm/min).
    EXPECT_EQ(Text(IDC_COMBO_XYSPEED), "5000 (Default)");
    EXPECT_EQ(Text(IDC_COMBO_ZSPEED), "3000 (Default)");
    EXPECT_EQ(Text(IDC_COMBO_XYDIST), "1.0");
    EXPECT_EQ(Text(IDC_COMBO_ZDIST), "1.0");
}

TEST_F(PanelSettings, OptionCheckBoxesAndTheExpanderWriteAtOnce)
{
    auto& panel = OpenPanel();
    Click(IDC_CHECK_ONTOP);
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    Click(IDC_CHECK_RETAIN);
    Click(IDC_BTN_MORELESS);
    EXPECT_EQ(Config(), "[DlgStatus]\nExpanderDlg=1\nOnTop=1\n[Last_Pos]\nkeep=1\n");
    Click(IDC_CHECK_ONTOP);
    Click(IDC_CHECK_RETAIN);
    Click(IDC_BTN_MORELESS);
    EXPECT_FALSE(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(Config(), "[DlgStatus]\nExpanderDlg=0\nOnTop=0\n[Last_Pos]\nkeep=0\n");
}

TEST_F(PanelSettings, SetParkWritesTwoDecimalsWithAPointUnderAnyLocale)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    auto& panel = OpenPanel();
    panel.m_fPosX = 12.345f;
    panel.m_fPosY = 0.5f;
    panel.m_fPosZ = 150.0f;
    panel.OnBnClickedSetPark();
    std::setlocale(LC_ALL, old.c_str());

    EXPECT_NE(Config().find("[Park_Pos]\nX=12.35\nY=0.50\nZ=150.00\n"), std::string::npos) << Config();
    EXPECT_EQ(panel.m_fParkX, 12.345f);
    EXPECT_EQ(panel.m_fParkZ, 150.0f);
    panel.SaveLastPosition();
    EXPECT_NE(Config().find("[Last_Pos]\nX=12.3\nY=0.5\nZ=150.0\n"), std::string::npos) << Config();

    // A position outside the stage is never stored as the park position.
    CaptureLog();
    panel.m_fPosZ = 250.0f;
    panel.OnBnClickedSetPark();
    EXPECT_EQ(panel.m_fParkZ, 150.0f);
    EXPECT_NE(Config().find("Z=150.00\n"), std::string::npos) << Config();
    EXPECT_EQ(Log(), "Park position not stored: (12.35, 0.50, 250.00) lies outside the stage\r\n");
}

TEST_F(PanelSettings, AParkPositionStoredAsZerosMeansNoneAtTheNextStart)
{
    auto& panel = OpenPanel();
    panel.OnBnClickedSetPark();   // at (0, 0, 0)
    EXPECT_NE(Config().find("[Park_Pos]\nX=0.00\nY=0.00\nZ=0.00\n"), std::string::npos);
    EXPECT_EQ(panel.m_fParkX, 0.0f);
    ClosePanel();
    auto& again = OpenPanel();
    EXPECT_EQ(again.m_fParkX, 150.0f);
    EXPECT_EQ(again.m_fParkY, 150.0f);
    EXPECT_EQ(again.m_fParkZ, 55.0f);
}

TEST_F(PanelSettings, ClosingWhileConnectedStoresSpeedsBeforeAskingAndCancelKeepsThem)
{
    auto& panel = OpenPanel();
    panel.m_bConnected = TRUE;
    panel.SetDlgItemText(IDC_COMBO_XYSPEED, QStringLiteral("7000"));
    panel.SetDlgItemText(IDC_COMBO_XYDIST, QStringLiteral("0.05"));
    panel.SetDlgItemText(IDC_COMBO_ZDIST, QStringLiteral("0.02"));
    panel.CheckDlgButton(IDC_CHECK_RETAIN, 1);
    panel.m_fPosX = 1.25f;
    panel.m_bPositionLive = true;

    std::string atQuestion;
    CMessageBoxAnswerer answerer(QStringLiteral("Cancel"));
    QTimer::singleShot(10, [&] { atQuestion = Config(); });
    EXPECT_FALSE(panel.close());
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].text, "Are you sure you want to exit?");
    EXPECT_EQ(answerer.Seen()[0].caption, "");
    EXPECT_EQ(answerer.Seen()[0].buttons, QStringList({"OK", "Cancel"}));
    EXPECT_EQ(answerer.Seen()[0].icon, QMessageBox::Question);
    EXPECT_TRUE(panel.isVisible());
    const std::string expected =
        "[SpdDst]\nXYSpeed=5000\nZSpeed=3000\nXYDistance=0.05\nZDistance=0.02\n[Last_Pos]\nX=1.2\nY=0.0\nZ=0.0\n";
    EXPECT_NE(atQuestion.find(expected), std::string::npos) << atQuestion;
    EXPECT_NE(Config().find(expected), std::string::npos);
}

TEST_F(PanelSettings, ClosingWhileNotConnectedWritesNothingAndOkEndsThePanel)
{
    auto& panel = OpenPanel();
    const std::string before = Config();
    CMessageBoxAnswerer answerer(QStringLiteral("OK"));
    EXPECT_TRUE(panel.close());
    EXPECT_EQ(answerer.Seen().size(), 1u);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(Config(), before);
}

TEST_F(PanelSettings, EscAsksBeforeClosingAndEnterInABoxPressesNothing)
{
    auto& panel = OpenPanel();
    panel.m_bConnected = TRUE;
    panel.SetConnectedState(TRUE);
    auto* speed = panel.DlgItem<QComboBox>(IDC_COMBO_XYSPEED);
    speed->setFocus();
    QApplication::setActiveWindow(&panel);
    QTest::keyClick(speed, Qt::Key_Return);
    QTest::keyClick(speed, Qt::Key_Enter);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");   // nothing was pressed

    CMessageBoxAnswerer answerer(QStringLiteral("Cancel"));
    QTest::keyClick(speed, Qt::Key_Escape);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].text, "Are you sure you want to exit?");
    EXPECT_TRUE(panel.isVisible());
    EXPECT_NE(Config().find("[SpdDst]"), std::string::npos);   // the close path saved
}

TEST_F(PanelSettings, TabMovesTheFocusWhileNotConnected)
{
    auto& panel = OpenPanel();
    QApplication::setActiveWindow(&panel);
    auto* ports = panel.GetDlgItem(IDC_COMBO_PORT);
    ports->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), ports);
    // Enough Tabs reach Connect, so that an operator without a mouse can connect.
    bool reached = false;
    for (int i = 0; i < 10 && !reached; ++i) {
        reached = QApplication::focusWidget() == panel.GetDlgItem(IDC_BTN_CONNECT);
        if (!reached)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_TRUE(reached);
}

TEST_F(PanelSettings, AReadOnlySettingsFileChangesNothingAndBreaksNothing)
{
    const std::string original = "[DlgStatus]\nExpanderDlg=0\nOnTop=0\n";
    WriteConfig(original);
    ::chmod(ConfigPath().c_str(), 0444);
    auto& panel = OpenPanel();
    Click(IDC_BTN_MORELESS);
    Click(IDC_CHECK_ONTOP);
    panel.OnBnClickedSetPark();
    EXPECT_TRUE(panel.m_expander.IsExpanded());   // the panel follows the operator all the same
    EXPECT_EQ(Config(), original);
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
    struct stat st {};
    EXPECT_TRUE(::lstat(ConfigPath().c_str(), &st) == 0 && S_ISLNK(st.st_mode));
}

TEST_F(PanelSettings, AFolderThatCannotBeWrittenLeavesThePanelWorking)
{
    // A folder below a plain file can be written by nobody, root included.
    WriteWholeFile(m_dir.File("plain"), "x");
    platform::SetDataDirOverride(m_dir.File("plain") + "/sub/");
    auto& panel = OpenPanel();
    EXPECT_FALSE(panel.m_expander.IsExpanded());
    Click(IDC_BTN_MORELESS);
    Click(IDC_CHECK_RETAIN);
    EXPECT_TRUE(panel.m_expander.IsExpanded());
    EXPECT_EQ(panel.m_bRetainLastPos, TRUE);
    EXPECT_FALSE(PathExists(m_dir.File("plain") + "/sub/System.cfg"));
}

TEST_F(PanelSettings, CollapseThenExpandGivesBackTheFullSize)
{
    WriteConfig("[DlgStatus]\nExpanderDlg=1\n");
    auto& panel = OpenPanel();
    const QSize full = panel.size();
    Click(IDC_BTN_MORELESS);
    const QWidget* marker = panel.GetDlgItem(IDC_STATIC_MARKER);
    EXPECT_EQ(panel.height(), marker->geometry().bottom() + 1);
    EXPECT_EQ(panel.width(), full.width());
    EXPECT_FALSE(panel.GetDlgItem(IDC_BTN_START)->geometry().top() < panel.height());
    Click(IDC_BTN_MORELESS);
    EXPECT_EQ(panel.size(), full);
}

} // namespace
