// Connecting to the simulated stage and what the panel then shows, end to end.
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>
#include <unistd.h>

#include "qt/controls/ButtonST.h"
#include "platform/FileLocations.h"
#include "res/Resource.h"
#include "qt/res/Resources.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

using PanelConnection = CStageTest;

const WireLines kHome = {"G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"};
const WireLines kConnect = {"M105\n", "G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"};

void ExpectLook(CTarnikMDlg& panel, bool connected)
{
    EXPECT_EQ(panel.GetDlgItemText(IDC_BTN_CONNECT), connected ? "Disconnect" : "Connect");
    EXPECT_EQ(panel.GetDlgItemText(IDC_STATIC_CONN), connected ? "Connected" : "Disconnected");
    EXPECT_EQ(panel.m_bConnected, connected);
    for (int id : {IDC_BTN_HOME, IDC_BTN_PARK, IDC_BTN_XPLUS, IDC_SCROLL_Y, IDC_COMBO_XYDIST, IDC_BTN_SETPARK})
        EXPECT_EQ(panel.GetDlgItem(id)->isEnabled(), connected) << id;
    for (int id : {IDC_COMBO_PORT, IDC_COMBO_BAUD, IDC_BTN_REFRESH})
        EXPECT_EQ(panel.GetDlgItem(id)->isEnabled(), !connected) << id;
    EXPECT_FALSE(panel.GetDlgItem(IDC_COMBO_ZSPEED)->isEnabled());
}

// Slow replies and reports without E (firmware built without an extruder) change nothing. The keys
// follow the jog buttons: nothing moves while the stage homes before its first report.
TEST_F(PanelConnection, ConnectHandshakesHomesAndShowsTheReportedPosition)
{
    sim::SSimOptions options = Quiet();
    options.noEField = true;
    options.replyDelayMs = 150;
    StartStage(options);
    auto& panel = OpenPanel();
    QApplication::setActiveWindow(&panel);
    const auto statusIconIs = [&panel](int id) {
        return panel.m_btnStatus->GetIcon(CButtonST::ICON_HOT)->image ==
               LoadResIcon(id).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    EXPECT_TRUE(statusIconIs(IDI_DISCONNECTED));
    const auto right = [&panel] {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &panel, Qt::Key_Right);
    };

    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connecting...");
    ASSERT_EVENTUALLY(panel.m_bConnected, 3000);
    ASSERT_FALSE(Enabled(IDC_BTN_XPLUS));
    right();
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);
    panel.OnBnClickedRefresh();   // does nothing while connected
    ExpectLook(panel, true);
    EXPECT_TRUE(statusIconIs(IDI_CONNECTED));
    EXPECT_FALSE(panel.GetDlgItem(IDC_BTN_STATUS)->isVisible());   // the status button is never shown
    EXPECT_EQ(LinesAfterQuiet(), kConnect);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), QStringLiteral("current: (0.00 , 0.00 , 55.00 )"), 3000);
    EXPECT_FALSE(panel.IsTimerRunning(CONNECT_TIMER_ID));   // an idle connection wakes nothing up
    Forget();
    right();
    EXPECT_TRUE(WaitForLines(3));
    EXPECT_EQ(Lines()[2], "G0 X1.00 F5000\n");

    ReportPosition(1, 2, 3);
    const auto expectReadout = [&panel](bool live) {
        for (int id : {IDC_STATIC_CURPOS, IDC_SCROLL_X, IDC_SCROLL_Y, IDC_SCROLL_Z}) {
            EXPECT_EQ(panel.GetDlgItem(id)->isEnabled(), live) << id;
            EXPECT_TRUE(QAccessible::queryAccessibleInterface(panel.GetDlgItem(id))
                            ->text(QAccessible::Description)
                            .startsWith(live ? "live position" : "last known position")) << id;
        }
    };
    expectReadout(true);

    Click(IDC_BTN_CONNECT);
    ExpectLook(panel, false);
    EXPECT_EQ(Text(IDC_COMBO_PORT), "COM1");   // the list was built again, its first entry chosen
    // The last known position stays, dimmed: drawn with the disabled colours, which differ.
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (1.00 , 2.00 , 3.00 )");
    for (auto [id, pos] : std::initializer_list<std::pair<int, int>>{{IDC_SCROLL_X, 1}, {IDC_SCROLL_Y, 298}, {IDC_SCROLL_Z, 197}})
        EXPECT_EQ(panel.DlgItem<CScrollBarCtrl>(id)->value(), pos) << id;
    expectReadout(false);
    const QPalette colours = panel.GetDlgItem(IDC_STATIC_CURPOS)->palette();
    EXPECT_NE(colours.color(QPalette::Disabled, QPalette::WindowText), colours.color(QPalette::Active, QPalette::WindowText));

    Click(IDC_BTN_CONNECT);   // still the last known position until this connection's first report
    EXPECT_FALSE(Enabled(IDC_STATIC_CURPOS));
    ASSERT_EVENTUALLY(panel.m_session.PositionLive(), 5000);
    EXPECT_EVENTUALLY(Enabled(IDC_SCROLL_Z), 5000);
    expectReadout(true);
}

// With "retain" ticked the stored point goes out around the handshake, its move line held back
// until then. Its report beats a late handshake reply: that ends the connecting phase with the
// controls still off, and the first report after the handshake turns them on. The boxes keep what
// System.cfg stored through Connect and back; Disconnect stores where the stage was. Connect opens
// the device the list showed, even when its COM name has since come to mean another.
TEST_F(PanelConnection, StoredSettingsHoldAroundAConnectionToTheListedDevice)
{
    WriteConfig("[Last_Pos]\nkeep=1\nX=12.3\nY=45.6\nZ=7.8\n"
                "[SpdDst]\nXYSpeed=2500\nZSpeed=800\nXYDistance=10.0\nZDistance=0.02\n");
    sim::SSimOptions options = Quiet();
    options.lateHandshakeMs = 400;
    StartStage(options);
    sim::SSimOptions otherOptions = Quiet();
    otherOptions.portsDir = m_dir.Path() + "other";
    otherOptions.comNumber = 1;
    sim::CStageSimulator other(otherOptions);
    ASSERT_TRUE(other.Start()) << other.LastError();
    auto& panel = OpenPanel();
    ASSERT_EQ(::unlink(m_stage->PortEntryPath().c_str()), 0);
    ASSERT_EQ(::symlink(other.DevicePath().c_str(), m_stage->PortEntryPath().c_str()), 0);
    Click(IDC_BTN_CONNECT);
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 3000);
    EXPECT_FALSE(Enabled(IDC_BTN_HOME));
    EXPECT_EVENTUALLY(Enabled(IDC_BTN_HOME), 5000);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), QStringLiteral("current: (12.30 , 45.60 , 7.80 )"), 5000);
    EXPECT_EQ(LinesAfterQuiet(), (WireLines{"G21\n", "G90\n", "M114\n", "M105\n", "G21\n", "G91\n", "G28\n",
                                            "G0 Z55\n", "M114\n", "M114\n", "G21\n", "G90\n",
                                            "G0 X12.3 Y45.6 Z7.8 F2500\n", "M114\n"}));
    ExpectLook(panel, true);
    const auto expectBoxes = [this] {
        for (auto [id, text] : std::initializer_list<std::pair<int, const char*>>{
                 {IDC_COMBO_XYSPEED, "2500"}, {IDC_COMBO_ZSPEED, "800"}, {IDC_COMBO_XYDIST, "10.0"}, {IDC_COMBO_ZDIST, "0.02"}})
            EXPECT_EQ(Text(id), text) << id;
    };
    expectBoxes();
    ReportPosition(100.04, 20, 3.96);
    Click(IDC_BTN_CONNECT);
    expectBoxes();
    EXPECT_NE(Config().find("X=100.0\nY=20.0\nZ=4.0\n"), std::string::npos) << Config();
    EXPECT_EQ(other.OpenCount(), 0);
}

// A board that reboots when its port opens loses the first query in its boot loader; the panel
// asks again as soon as the board says "start" (a line ended by a bare line feed), not only at the
// next tick: with the connection timer stopped, only that query can bring the connection up.
// Listing the ports (at start) opened none.
TEST_F(PanelConnection, ABoardThatRebootsOnOpenConnectsAndIsHomedOnce)
{
    sim::SSimOptions options = Quiet();
    options.banner = true;
    options.resetOnOpenMs = sim::DEFAULT_RESET_BOOT_MS;
    StartStage(options);
    auto& panel = OpenPanel();
    Click(IDC_BTN_CONNECT);
    ASSERT_TRUE(panel.KillTimer(CONNECT_TIMER_ID));
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_HOME), 6000);
    EXPECT_EQ(m_stage->OpenCount(), 1);
    const auto transcript = m_stage->Transcript();
    EXPECT_TRUE(!transcript.empty() && transcript[0].lostInBoot);
    WireLines answered;
    for (const auto& line : transcript)
        if (!line.lostInBoot && line.text != "M105")
            answered.push_back(line.text + "\n");
    EXPECT_EQ(answered, kHome);
}

// Pressing "Connecting..." ends the attempt at once, and a tick queued before that never shows the
// box. Otherwise, with no port or no handshake reply, the connection timer's eleventh tick brings the
// box and the panel back to idle. Each tick before the handshake asks again. The stored last point is
// replaced only by a position the stage reported.
TEST_F(PanelConnection, AConnectionThatNeverCompletesEndsInTheErrorBoxOnTheEleventhTickOrAtAPress)
{
    {
        auto& panel = OpenPanel();
        CMessageBoxAnswerer answerer;
        Click(IDC_BTN_CONNECT);
        Click(IDC_BTN_CONNECT);
        ExpectLook(panel, false);
        EXPECT_FALSE(panel.IsTimerRunning(CONNECT_TIMER_ID));
        for (int tick = 0; tick < 12; ++tick)
            panel.OnTimer(CONNECT_TIMER_ID);
        EXPECT_TRUE(answerer.Seen().empty());
        ClosePanel();
    }
    const struct {
        const char* how;
        bool stage;
        long queries;
        const char* stored;
    } cases[] = {{"no port", false, 0, "X=12.3\nY=45.6\nZ=7.8\n"},   // first: m_stage still empty
                 {"no handshake reply", true, 11, "X=0.0\nY=0.0\nZ=0.0\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        WriteConfig("[Last_Pos]\nkeep=1\nX=12.3\nY=45.6\nZ=7.8\n");
        sim::SSimOptions options = Quiet();
        options.noHandshake = true;
        if (c.stage)
            StartStage(options);
        auto& panel = OpenPanel();
        const auto queries = [this] {
            const auto lines = m_stage->TranscriptTexts();
            return std::count(lines.begin(), lines.end(), "M105");
        };
        CMessageBoxAnswerer answerer;
        // The device vanishing while the box is up brings no second box.
        answerer.SetWhileShown([&] {
            if (!m_stage)
                return;
            EXPECT_EVENTUALLY_EQ(queries(), c.queries, 2000);
            m_stage->Vanish();
            QTest::qWait(300);
        });
        QElapsedTimer clock;
        clock.start();
        Click(IDC_BTN_CONNECT);
        ASSERT_EVENTUALLY(panel.m_nTimeoutTicks == 1, 3000);
        EXPECT_GE(clock.elapsed(), 900);
        // Ticks two to ten at once, before the timer's own second one; the eleventh brings the box.
        for (int tick = 2; tick <= 10; ++tick)
            panel.OnTimer(CONNECT_TIMER_ID);
        EXPECT_TRUE(answerer.Seen().empty());
        panel.OnTimer(CONNECT_TIMER_ID);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].text, "Please Check COM Port number");
        EXPECT_EQ(answerer.Seen()[0].caption, "Connection Error");
        EXPECT_EQ(answerer.Seen()[0].buttons, QStringList({"OK"}));
        ExpectLook(panel, false);
        EXPECT_FALSE(panel.IsTimerRunning(CONNECT_TIMER_ID));
        EXPECT_NE(Config().find(c.stored), std::string::npos) << Config();
        ClosePanel();
    }
}

// A device that goes away while connected ends the connection with the box, once.
TEST_F(PanelConnection, AVanishedDeviceEndsTheConnectionWithTheErrorBox)
{
    StartStage();
    auto& panel = OpenPanel();
    ConnectPanel();
    CMessageBoxAnswerer answerer;
    m_stage->Vanish();
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connect"), 5000);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].caption, "Connection Error");
    ExpectLook(panel, false);
    EXPECT_EQ(panel.DlgItem<QComboBox>(IDC_COMBO_PORT)->count(), 0);
}

// The line from the port to a controller that reads nothing more is left with exactly room bytes
// free. The line frees its space a whole buffer at a time: filled through a second descriptor, it
// is read off until space shows, that space measured by filling it, and the next space that shows
// filled but for room bytes.
void FillLineLeaving(const CPseudoTerminal& controller, int fd, size_t room)
{
    pollfd pfd{fd, POLLOUT, 0};
    const auto fill = [&](size_t most) {
        size_t n = 0;
        while (n < most && ::write(fd, "\n", 1) == 1)
            ++n;
        return n;
    };
    const auto readUntilSpaceShows = [&] {
        while (::poll(&pfd, 1, 200) == 0)
            controller.Receive(64);
    };
    fill(SIZE_MAX);
    controller.Receive(1000);
    readUntilSpaceShows();
    const size_t freed = fill(SIZE_MAX);
    controller.Receive(freed - 64);
    readUntilSpaceShows();
    ASSERT_GT(freed, room);
    ASSERT_EQ(fill(freed - room), freed - room);
}

// A controller that stops taking data in the middle of a line: the connection ends there with the
// box, and nothing the panel sends is ever appended to the part of the line that went out.
TEST_F(PanelConnection, ALineCutShortByAControllerThatStopsReadingEndsTheConnection)
{
    CaptureLog();
    CPseudoTerminal controller;
    std::filesystem::create_directories(platform::PortsDir());
    ASSERT_EQ(::symlink(controller.Path().c_str(), (platform::PortsDir() + "COM1").c_str()), 0);
    const SClientSide second(controller.Path());
    auto& panel = OpenPanel();
    Click(IDC_BTN_CONNECT);
    controller.Send("ok T:0\n");
    ASSERT_EVENTUALLY(panel.m_session.HandshakeDone(), 5000);
    controller.Send("X:0.00 Y:0.00 Z:55.00 E:0.00\nok\n");
    ASSERT_EVENTUALLY(Enabled(IDC_BTN_XPLUS), 5000);
    controller.Receive(SIZE_MAX, 300);

    // "G21\n" and "G91\n" fit; of "G0 X1.00 F5000\n" two bytes do.
    FillLineLeaving(controller, second.fd, 10);
    CMessageBoxAnswerer answerer;
    Click(IDC_BTN_XPLUS);
    EXPECT_EQ(answerer.Seen().size(), 1u);
    EXPECT_TRUE(answerer.Seen().empty() || answerer.Seen()[0].caption == "Connection Error");
    ExpectLook(panel, false);
    EXPECT_EQ(Log(), "Write() failed with error code = 1460\r\n");

    // The controller reads again: every line it gets is one the panel sent.
    std::string wire = controller.Receive(SIZE_MAX, 300);
    panel.OnJogButton(IDC_BTN_HOME);
    wire += controller.Receive(SIZE_MAX, 300);
    const std::set<std::string> sent = {"", "G21", "G91", "G28", "G0 Z55", "M114", "G0 X1.00 F5000"};
    std::istringstream lines(wire.substr(0, wire.rfind('\n') + 1));
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(sent.count(line)) << line;
}

} // namespace
