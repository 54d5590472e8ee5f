// Connecting to the simulated stage and what the panel then shows, end to end.
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <unistd.h>

#include "controls/ButtonST.h"
#include "panel/ConfigFile.h"
#include "res/Resource.h"
#include "res/Resources.h"
#include "serial/SerialWnd.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

using PanelConnection = CStageTest;

const WireLines kHome = {"G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"};

WireLines Join(std::initializer_list<WireLines> parts)
{
    WireLines all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

void ExpectConnectedLook(CStageTest& t, CTarnikMDlg& panel)
{
    EXPECT_EQ(panel.GetDlgItemText(IDC_BTN_CONNECT), "Disconnect");
    EXPECT_EQ(panel.GetDlgItemText(IDC_STATIC_CONN), "Connected");
    EXPECT_EQ(panel.GetDlgItemText(IDC_BTN_STATUS), "Connected");
    EXPECT_EQ(panel.m_nConnectPhase, 2);
    EXPECT_EQ(panel.m_bConnected, TRUE);
    for (int id : {IDC_BTN_HOME, IDC_BTN_PARK, IDC_BTN_XPLUS, IDC_SCROLL_Y, IDC_COMBO_XYDIST, IDC_BTN_SETPARK})
        EXPECT_TRUE(panel.GetDlgItem(id)->isEnabled()) << id;
    for (int id : {IDC_COMBO_PORT, IDC_COMBO_BAUD, IDC_BTN_REFRESH, IDC_COMBO_ZSPEED})
        EXPECT_FALSE(panel.GetDlgItem(id)->isEnabled()) << id;
    (void)t;
}

TEST_F(PanelConnection, ConnectHandshakesHomesAndShowsTheReportedPosition)
{
    sim::SSimOptions options = Quiet();
    options.banner = true;   // the start-up chatter must not confuse the panel
    StartStage(options);
    auto& panel = OpenPanel();
    EXPECT_EQ(panel.DlgItem<QComboBox>(IDC_COMBO_PORT)->itemData(0, Qt::ToolTipRole).toString().toStdString(),
              "COM1: " + m_stage->DevicePath());

    const auto statusIcon = [&] { return panel.m_btnStatus->GetIcon(CButtonST::ICON_HOT)->image; };
    const auto resIcon = [](int id) {
        return LoadResIcon(id).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    EXPECT_EQ(statusIcon(), resIcon(IDI_DISCONNECTED));
    EXPECT_EQ(Text(IDC_BTN_STATUS), "Disconnected");

    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connecting...");
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);
    ExpectConnectedLook(*this, panel);
    EXPECT_EQ(statusIcon(), resIcon(IDI_CONNECTED));
    EXPECT_FALSE(panel.GetDlgItem(IDC_BTN_STATUS)->isVisible());   // the status button is never shown
    EXPECT_EQ(Lines(), Join({{"M105\n"}, kHome}));
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), QStringLiteral("current: (0.00 , 0.00 , 55.00 )"), 3000);
    EXPECT_FALSE(panel.IsTimerRunning(CONNECT_TIMER_ID));
    EXPECT_EQ(panel.m_fParkX, 150.0f);   // the park position was loaded again

    ReportPosition(1, 2, 3);
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (1.00 , 2.00 , 3.00 )");
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_X)->value(), 1);
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y)->value(), 298);
    EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z)->value(), 197);

    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Disconnected");
    EXPECT_FALSE(Enabled(IDC_BTN_HOME));
    EXPECT_TRUE(Enabled(IDC_COMBO_PORT));
    EXPECT_EQ(panel.m_bConnected, FALSE);
    EXPECT_EQ(panel.m_nConnectPhase, 0);
    EXPECT_EQ(Text(IDC_COMBO_PORT), "COM1");   // the list was built again, its first entry chosen
}

TEST_F(PanelConnection, RetainLastPositionSendsTheStoredPointAroundTheHandshake)
{
    WriteConfig("[Last_Pos]\nkeep=1\nX=12.3\nY=45.6\nZ=7.8\n");
    StartStage();
    auto& panel = OpenPanel();
    Click(IDC_BTN_CONNECT);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), QStringLiteral("current: (12.30 , 45.60 , 7.80 )"), 5000);
    // Before the handshake the move line itself is held back: only its mode lines and the query go out.
    const WireLines expected = Join({{"G21\n", "G90\n", "M114\n", "M105\n"},
                                 kHome,
                                 {"G21\n", "G90\n", "G0 X12.3 Y45.6 Z7.8 F5000\n", "M114\n"}});
    EXPECT_EQ(LinesAfterQuiet(), expected);
    ExpectConnectedLook(*this, panel);

    // Disconnecting with the option ticked stores where the stage was.
    ReportPosition(100.04, 20, 3.96);
    Click(IDC_BTN_CONNECT);
    EXPECT_NE(Config().find("X=100.0\nY=20.0\nZ=4.0\n"), std::string::npos) << Config();
}

// A position report that beats the handshake reply (the controller answers M105 late) used to
// leave the motion controls disabled for the whole connection.
TEST_F(PanelConnection, AReportBeforeTheHandshakeStillEndsInTheConnectedLook)
{
    WriteConfig("[Last_Pos]\nkeep=1\nX=1\nY=2\nZ=3\n");
    sim::SSimOptions options = Quiet();
    options.lateHandshakeMs = 400;
    StartStage(options);
    auto& panel = OpenPanel();
    Click(IDC_BTN_CONNECT);
    // The early report ends the connecting phase while the controller has not answered yet.
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 3000);
    EXPECT_EQ(panel.m_bConnected, FALSE);
    EXPECT_FALSE(Enabled(IDC_BTN_HOME));
    // Then the handshake, Home, and the first report after it: the controls come on.
    EXPECT_EVENTUALLY(Enabled(IDC_BTN_HOME), 5000);
    ExpectConnectedLook(*this, panel);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), QStringLiteral("current: (1.00 , 2.00 , 3.00 )"), 3000);
}

// A board that reboots when its port opens loses the first query in its boot loader; the panel
// asks again on its timer and at once when the board says "start". Listing ports opens none.
TEST_F(PanelConnection, ABoardThatRebootsOnOpenConnectsAndIsHomedOnce)
{
    sim::SSimOptions options = Quiet();
    options.banner = true;
    options.resetOnOpenMs = sim::DEFAULT_RESET_BOOT_MS;
    StartStage(options);
    auto& panel = OpenPanel();
    for (int i = 0; i < 3; ++i)
        Click(IDC_BTN_REFRESH);
    EXPECT_EQ(m_stage->OpenCount(), 0);
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_HOME), 6000);
    ExpectConnectedLook(*this, panel);
    EXPECT_EQ(m_stage->OpenCount(), 1);

    const auto transcript = m_stage->Transcript();
    ASSERT_FALSE(transcript.empty());
    EXPECT_TRUE(transcript[0].lostInBoot);
    EXPECT_EQ(transcript[0].text, "M105");
    WireLines answered;
    for (const auto& line : transcript)
        if (!line.lostInBoot && line.text != "M105")
            answered.push_back(line.text + "\n");
    EXPECT_EQ(answered, kHome);
}

// Firmware built without an extruder leaves the E field out of its reports.
TEST_F(PanelConnection, ReportsWithoutEConnectAsReportsWithIt)
{
    sim::SSimOptions options = Quiet();
    options.noEField = true;
    StartStage(options);
    auto& panel = OpenPanel();
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_HOME), 5000);
    ExpectConnectedLook(*this, panel);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), QStringLiteral("current: (0.00 , 0.00 , 55.00 )"), 3000);
    EXPECT_EQ(LinesAfterQuiet(), Join({{"M105\n"}, kHome}));
}

// No handshake reply, or a handshake and never a position: both end in the box after the 11th
// tick and back in Idle. The stored last point is replaced only by a position the stage reported.
TEST_F(PanelConnection, AControllerThatNeverCompletesEndsInTheErrorBoxAfterTheEleventhTick)
{
    const struct {
        const char* how;
        bool noHandshake, noReports;
        const char* stored;
    } cases[] = {{"no handshake reply", true, false, "X=0.0\nY=0.0\nZ=0.0\n"},
                 {"no position report", false, true, "X=12.3\nY=45.6\nZ=7.8\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        WriteConfig("[Last_Pos]\nkeep=1\nX=12.3\nY=45.6\nZ=7.8\n");
        sim::SSimOptions options = Quiet();
        options.noHandshake = c.noHandshake;
        options.noReports = c.noReports;
        StartStage(options);
        auto& panel = OpenPanel();
        CMessageBoxAnswerer answerer;
        // The device vanishing while the box is up brings no second box.
        answerer.SetWhileShown([this] {
            m_stage->Vanish();
            QTest::qWait(300);
        });
        QElapsedTimer clock;
        clock.start();
        Click(IDC_BTN_CONNECT);
        ASSERT_EVENTUALLY(!answerer.Seen().empty(), 15000);
        EXPECT_GE(clock.elapsed(), 10500);
        EXPECT_EQ(answerer.Seen()[0].text, "Please Check COM Port number");
        EXPECT_EQ(answerer.Seen()[0].caption, "Connection Error");
        EXPECT_EQ(answerer.Seen()[0].buttons, QStringList({"OK"}));
        EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connect"), 5000);
        QTest::qWait(300);
        EXPECT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(panel.m_bReadyToConnect, TRUE);
        EXPECT_TRUE(Enabled(IDC_BTN_REFRESH));
        // Unanswered, the query went out again on the ticks; answered, it was not repeated.
        const auto lines = m_stage->TranscriptTexts();
        const auto queries = std::count(lines.begin(), lines.end(), "M105");
        if (c.noHandshake)
            EXPECT_GE(queries, 5);
        else
            EXPECT_EQ(queries, 1);
        EXPECT_NE(Config().find(c.stored), std::string::npos) << Config();
        ClosePanel();
    }
}

// The keys follow the jog buttons: nothing moves while the stage homes before its first report.
TEST_F(PanelConnection, KeysSendNothingUntilTheFirstReportAfterTheHandshake)
{
    sim::SSimOptions options = Quiet();
    options.replyDelayMs = 150;
    StartStage(options);
    auto& panel = OpenPanel();
    QApplication::setActiveWindow(&panel);
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY(panel.m_bConnected, 3000);
    ASSERT_FALSE(Enabled(IDC_BTN_XPLUS));
    const auto right = [&panel] {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &panel, Qt::Key_Right);
    };
    right();
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_XPLUS), 5000);
    EXPECT_EQ(LinesAfterQuiet(), Join({{"M105\n"}, kHome}));
    Forget();
    right();
    EXPECT_TRUE(WaitForLines(3));
    EXPECT_EQ(Lines()[2], "G0 X1.00 F5000\n");
}

TEST_F(PanelConnection, NoPortsStillCountsDownToTheErrorBox)
{
    auto& panel = OpenPanel();
    EXPECT_EQ(panel.DlgItem<QComboBox>(IDC_COMBO_PORT)->count(), 0);
    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connecting...");
    CMessageBoxAnswerer answerer;
    for (int tick = 1; tick <= 10; ++tick)
        panel.OnTimer(CONNECT_TIMER_ID);
    EXPECT_TRUE(answerer.Seen().empty());
    panel.OnTimer(CONNECT_TIMER_ID);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].caption, "Connection Error");
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");
    EXPECT_FALSE(panel.IsTimerRunning(CONNECT_TIMER_ID));
}

TEST_F(PanelConnection, PressingConnectingDisconnectsAtOnceWithoutABox)
{
    sim::SSimOptions options = Quiet();
    options.noHandshake = true;
    StartStage(options);
    auto& panel = OpenPanel();
    CMessageBoxAnswerer answerer;
    Click(IDC_BTN_CONNECT);
    ASSERT_EQ(Text(IDC_BTN_CONNECT), "Connecting...");
    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");
    EXPECT_FALSE(panel.IsTimerRunning(CONNECT_TIMER_ID));
    QTest::qWait(100);
    EXPECT_TRUE(answerer.Seen().empty());
    // A tick that was queued before the timer stopped never shows the box.
    for (int tick = 0; tick < 12; ++tick)
        panel.OnTimer(CONNECT_TIMER_ID);
    EXPECT_TRUE(answerer.Seen().empty());
}

// What System.cfg stores is what the boxes show and the steps use, through Connect and back.
TEST_F(PanelConnection, StoredSpeedsAndDistancesSurviveConnectAndClosing)
{
    WriteConfig("[SpdDst]\nXYSpeed=2500\nZSpeed=800\nXYDistance=10.0\nZDistance=0.02\n");
    StartStage();
    auto& panel = OpenPanel();
    ConnectPanel();
    const std::pair<int, const char*> shown[] = {
        {IDC_COMBO_XYSPEED, "2500"}, {IDC_COMBO_ZSPEED, "800"}, {IDC_COMBO_XYDIST, "10.0"}, {IDC_COMBO_ZDIST, "0.02"}};
    for (const auto& [id, text] : shown)
        EXPECT_EQ(Text(id), text) << id;
    Click(IDC_BTN_XPLUS);
    Click(IDC_BTN_ZPLUS);
    EXPECT_TRUE(WaitForLines(10));
    EXPECT_EQ(Lines()[2], "G0 X10.00 F2500\n");
    EXPECT_EQ(Lines()[7], "G0 Z0.02 F800\n");
    Click(IDC_BTN_CONNECT);
    for (const auto& [id, text] : shown)
        EXPECT_EQ(Text(id), text) << id;
    CMessageBoxAnswerer answerer(QStringLiteral("Cancel"));
    panel.m_bConnected = TRUE;   // closing stores the boxes only while connected
    panel.close();
    EXPECT_NE(Config().find("XYSpeed=2500\nZSpeed=800\nXYDistance=10.0\nZDistance=0.02\n"), std::string::npos) << Config();
}

TEST_F(PanelConnection, RefreshDoesNothingWhileConnected)
{
    StartStage();
    auto& panel = OpenPanel();
    ConnectPanel();
    panel.OnBnClickedRefresh();
    ExpectConnectedLook(*this, panel);
    EXPECT_EQ(Lines(), WireLines{});
}

TEST_F(PanelConnection, APortHeldByAnotherProgramIsListedOnlyOnceItIsFree)
{
    StartStage();
    // Another port object holds the device with its exclusive lock, as a second panel would.
    auto holder = std::make_unique<CSerial>();
    ASSERT_EQ(holder->Open(m_stage->DevicePath()), 0);
    auto& panel = OpenPanel();
    EXPECT_EQ(panel.DlgItem<QComboBox>(IDC_COMBO_PORT)->count(), 0);
    holder.reset();
    Click(IDC_BTN_REFRESH);
    EXPECT_EQ(Text(IDC_COMBO_PORT), "COM1");
}

// Connect opens the device the list showed, even when its COM name has since come to mean another.
TEST_F(PanelConnection, ConnectOpensTheListedDeviceNotAFreshResolutionOfItsName)
{
    StartStage();
    sim::SSimOptions otherOptions = Quiet();
    otherOptions.portsDir = m_dir.Path() + "other";
    otherOptions.comNumber = 1;
    sim::CStageSimulator other(otherOptions);
    ASSERT_TRUE(other.Start()) << other.LastError();
    OpenPanel();
    const std::string entry = m_stage->PortEntryPath();
    ASSERT_EQ(::unlink(entry.c_str()), 0);
    ASSERT_EQ(::symlink(other.DevicePath().c_str(), entry.c_str()), 0);
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_HOME), 5000);
    EXPECT_EQ(Lines(), Join({{"M105\n"}, kHome}));
    EXPECT_EQ(other.TranscriptTexts(), std::vector<std::string>{});
    EXPECT_EQ(other.OpenCount(), 0);
}

// A device that goes away while connected used to leave the panel showing "Connected" for ever.
TEST_F(PanelConnection, AVanishedDeviceEndsTheConnectionWithTheErrorBox)
{
    StartStage();
    auto& panel = OpenPanel();
    ConnectPanel();
    CMessageBoxAnswerer answerer;
    m_stage->Vanish();
    ASSERT_EVENTUALLY(!answerer.Seen().empty(), 3000);
    EXPECT_EQ(answerer.Seen()[0].text, "Please Check COM Port number");
    EXPECT_EQ(answerer.Seen()[0].caption, "Connection Error");
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connect"), 5000);
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Disconnected");
    EXPECT_EQ(panel.m_bConnected, FALSE);
    EXPECT_EQ(panel.DlgItem<QComboBox>(IDC_COMBO_PORT)->count(), 0);
    EXPECT_EQ(answerer.Seen().size(), 1u);
}

// A controller that stops reading (its buffer full, flow control held) froze the panel for ever.
TEST_F(PanelConnection, AControllerThatStopsReadingFailsTheLineAndLeavesThePanelResponsive)
{
    CaptureLog();
    StartStage();
    const SClientSide line(m_stage->DevicePath());
    OpenPanel();
    ConnectPanel();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(20);
    HoldClientOutput(line.fd, true);
    QElapsedTimer clock;
    clock.start();
    Click(IDC_BTN_PARK);   // four lines, one a move line: one wait in all, one log entry
    EXPECT_LE(clock.elapsed(), 3500);
    EXPECT_EQ(Log(), "Write() failed with error code = 1460\r\n");
    EXPECT_EVENTUALLY(ticks > 2, 1000);
    EXPECT_EQ(Panel().SendCommandLine(QStringLiteral("G0 X1 F5000\n")), FALSE);
    HoldClientOutput(line.fd, false);
    Forget();
    Click(IDC_BTN_HOME);
    EXPECT_TRUE(WaitForLines(kHome.size()));
}

} // namespace
