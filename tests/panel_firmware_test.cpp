// The panel against a controller that behaves as real firmware does: it homes for a long time, says
// "busy" or nothing meanwhile, falls silent, halts, and answers the handshake in its own way. The
// connection timer is driven by hand here, so that a minute of controller time costs none.
#include <QApplication>
#include <QFontMetrics>
#include <QTest>

#include "res/Resource.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

using PanelFirmware = CStageTest;

constexpr int kMotionControls[] = {IDC_BTN_HOME, IDC_BTN_PARK, IDC_BTN_XPLUS, IDC_SCROLL_Z, IDC_BTN_SETPARK};

// Holds back the panel's own timer ticks, so that only the test's ticks count.
struct SHeldTicks : QObject {
    explicit SHeldTicks(QObject& panel) { panel.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::Timer; }
};

void Ticks(CTarnikMDlg& panel, int count)
{
    for (int i = 0; i < count; ++i)
        panel.OnTimer(CONNECT_TIMER_ID);
}

bool MotionEnabled(CTarnikMDlg& panel)
{
    for (int id : kMotionControls)
        if (!panel.GetDlgItem(id)->isEnabled())
            return false;
    return true;
}

// A homing that outlasts the handshake's eleven ticks connects, with busy notices or without a word;
// the connection text says "Homing..." meanwhile and the Connect button still ends the attempt.
TEST_F(PanelFirmware, AHomingLongerThanTheHandshakeLimitConnects)
{
    {
        // Every text of the connection fits its place beside the icon.
        const QWidget* label = OpenPanel().GetDlgItem(IDC_STATIC_CONN);
        for (const char* text : {"Disconnected", "Connected", "Homing...", "Busy", "Not responding", "Halted"})
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(QString::fromLatin1(text)), label->width()) << text;
        ClosePanel();
    }
    for (const bool busy : {true, false}) {
        SCOPED_TRACE(busy ? "busy notices" : "silent homing");
        sim::SSimOptions options = Quiet();
        options.speedFactor = 1;   // Z homes 8 mm at 4 mm/s: two seconds
        options.busyNotices = busy;
        options.busyEveryMs = 300;
        StartStage(options).SetPosition(0, 0, 8);
        auto& panel = OpenPanel();
        CMessageBoxAnswerer answerer;
        const SHeldTicks held(panel);
        Click(IDC_BTN_CONNECT);
        ASSERT_EVENTUALLY_EQ(Text(IDC_STATIC_CONN), QStringLiteral("Homing..."), 3000);
        Ticks(panel, CONNECT_TIMEOUT_TICKS + 2);
        EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connecting...");
        EXPECT_FALSE(MotionEnabled(panel));
        EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CONN), QStringLiteral("Connected"), 5000);
        EXPECT_EQ(Text(IDC_BTN_CONNECT), "Disconnect");
        EXPECT_TRUE(MotionEnabled(panel));
        EXPECT_TRUE(answerer.Seen().empty());
        ClosePanel();
        m_stage.reset();
    }
}

// A controller that answers the handshake and then says nothing at all ends the attempt once the
// homing allowance has passed in silence, with a box that says so.
TEST_F(PanelFirmware, SilenceForTheWholeHomingAllowanceEndsTheAttempt)
{
    WriteConfig("[Connection]\nHomingTimeout=5\n");
    sim::SSimOptions options = Quiet();
    options.noReports = true;
    StartStage(options);
    const SHeldTicks held(OpenPanel());
    CMessageBoxAnswerer answerer;
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY_EQ(Text(IDC_STATIC_CONN), QStringLiteral("Homing..."), 3000);
    LinesAfterQuiet();   // the controller's last word ("ok") has come
    Ticks(Panel(), 4);
    m_stage->SendRaw("echo:busy: processing\n");   // any word restarts the allowance
    LinesAfterQuiet();
    Ticks(Panel(), 4);
    EXPECT_TRUE(answerer.Seen().empty());
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Homing...");
    Ticks(Panel(), 1);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].text, "The controller answered, then stopped answering before it reported a position.");
    EXPECT_EQ(answerer.Seen()[0].caption, "Connection Error");
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Disconnected");
}

// While connected, a query unanswered for ten silent ticks shows "Not responding": the controls go
// off and the read-out dims, the position is asked for every two ticks, and the next report brings
// the panel back. A G28 in progress has the homing allowance instead; an error line followed by the
// same silence is a halt.
TEST_F(PanelFirmware, AControllerThatFallsSilentIsNotRespondingUntilItReportsAgain)
{
    CaptureLog();
    StartStage();
    auto& panel = OpenPanel();
    ConnectPanel();
    const SHeldTicks held(panel);
    CMessageBoxAnswerer answerer;

    m_stage->SetSilent(true);
    Click(IDC_BTN_HOME);
    Ticks(panel, SILENCE_LIMIT_TICKS + 1);
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Connected");   // homing, as far as the panel can tell

    m_stage->SetSilent(false);
    panel.OnJogButton(IDC_BTN_XPLUS);   // answered: the homing is over as far as the panel can tell
    LinesAfterQuiet();
    m_stage->SetSilent(true);
    panel.OnJogButton(IDC_BTN_XPLUS);
    Ticks(panel, SILENCE_LIMIT_TICKS - 1);
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Connected");
    LinesAfterQuiet();
    Forget();
    Ticks(panel, 1);
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Not responding");
    EXPECT_FALSE(MotionEnabled(panel));
    EXPECT_FALSE(Enabled(IDC_STATIC_CURPOS));
    EXPECT_FALSE(Enabled(IDC_COMBO_PORT));   // still connected
    panel.OnJogButton(IDC_BTN_XPLUS);
    QTest::keyClick(&panel, Qt::Key_Right);
    Ticks(panel, 2 * NOT_RESPONDING_QUERY_TICKS);
    EXPECT_EQ(LinesAfterQuiet(), (WireLines{"M114\n", "M114\n", "M114\n"}));

    m_stage->SetSilent(false);
    Ticks(panel, NOT_RESPONDING_QUERY_TICKS);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CONN), QStringLiteral("Connected"), 3000);
    EXPECT_TRUE(MotionEnabled(panel));
    EXPECT_TRUE(Enabled(IDC_STATIC_CURPOS));
    EXPECT_TRUE(answerer.Seen().empty());

    // An error, then the same silence: the controller has halted.
    LinesAfterQuiet();
    m_stage->SendRaw("Error:Something went wrong\n");
    ASSERT_EVENTUALLY(Log().find("Controller: Error:Something went wrong") != std::string::npos, 3000);
    m_stage->SetSilent(true);
    panel.OnJogButton(IDC_BTN_XPLUS);
    Ticks(panel, SILENCE_LIMIT_TICKS);
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Halted");
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_NE(answerer.Seen()[0].text.indexOf("Error:Something went wrong"), -1);
}

// A halt while connected: "Halted", one box with the controller's own words, the motion controls
// off and nothing sent, whatever the operator tries, until Disconnect.
TEST_F(PanelFirmware, AHaltedControllerGetsNothingMoreUntilTheOperatorReconnects)
{
    CaptureLog();
    StartStage();
    auto& panel = OpenPanel();
    ConnectPanel();
    CMessageBoxAnswerer answerer;
    const SHeldTicks held(panel);
    m_stage->Halt();
    ASSERT_EVENTUALLY_EQ(Text(IDC_STATIC_CONN), QStringLiteral("Halted"), 3000);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_NE(answerer.Seen()[0].text.indexOf("Error:Printer halted. kill() called!"), -1);
    EXPECT_NE(Log().find("Controller: Error:Printer halted. kill() called!"), std::string::npos);
    EXPECT_FALSE(MotionEnabled(panel));
    EXPECT_FALSE(Enabled(IDC_STATIC_CURPOS));
    Forget();
    panel.OnJogButton(IDC_BTN_XPLUS);
    panel.OnBnClickedPark();
    QTest::keyClick(&panel, Qt::Key_PageUp);
    Ticks(panel, 2 * SILENCE_LIMIT_TICKS);
    EXPECT_TRUE(LinesAfterQuiet().empty());
    EXPECT_EQ(answerer.Seen().size(), 1u);
    EXPECT_TRUE(Enabled(IDC_BTN_CONNECT));
    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");
    EXPECT_EQ(Text(IDC_STATIC_CONN), "Disconnected");
}

// Handshakes as other firmware gives them: a heater named T0, "ok" before the temperatures, and
// answers that are errors, which end the attempt at once in a box that quotes them.
TEST_F(PanelFirmware, HandshakesOfOtherFirmwareConnectOrEndAtOnceInABoxThatSaysWhy)
{
    const struct {
        const char* reply;
        const char* boxSays;   // null: it connects
    } cases[] = {
        {"ok T0:21.30/ 0.00 B:21.30/ 0.00 @:64", nullptr},
        {"ok B:30.5 /0.0 T0:58.9 /0.0", nullptr},
        {"ok\nT:21.30/ 0.00 B:21.30/ 0.00 @:64", nullptr},
        {"Error: Missing checksum", "asks for line numbers and checksums"},
        {"error:20", "does not speak the G-code dialect"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        sim::SSimOptions options = Quiet();
        options.handshakeReply = c.reply;
        StartStage(options);
        auto& panel = OpenPanel();
        CMessageBoxAnswerer answerer;
        const SHeldTicks held(panel);   // no tick may help: the answer alone decides
        panel.OnBnClickedConnect();
        if (c.boxSays) {
            ASSERT_EVENTUALLY(answerer.Seen().size() == 1u, 3000);
            const QString& text = answerer.Seen()[0].text;
            EXPECT_NE(text.indexOf(QString::fromLatin1(c.reply)), -1) << text.toStdString();
            EXPECT_NE(text.indexOf(QString::fromLatin1(c.boxSays)), -1) << text.toStdString();
            EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");
            EXPECT_EQ(LinesAfterQuiet(), WireLines{"M105\n"});
        } else {
            EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CONN), QStringLiteral("Connected"), 3000);
            EXPECT_TRUE(answerer.Seen().empty());
        }
        ClosePanel();
        m_stage.reset();
    }
}

} // namespace
