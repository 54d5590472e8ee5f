// The keyboard jog: keys reach the jog whatever has the focus, and a held key that stops with the key.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "qt/panel/JogKeys.h"
#include "res/Resource.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

TEST(JogKeys, KeysAreKnownByMeaningOrByPlace)
{
    const struct {
        int key;
        std::uint32_t native;
        EJogKey jog;
    } cases[] = {
        {Qt::Key_Right, 0, EJogKey::Right}, {Qt::Key_Left, 113, EJogKey::Left}, {Qt::Key_Up, 0, EJogKey::Up},
        {Qt::Key_Down, 0, EJogKey::Down},   {Qt::Key_PageUp, 0, EJogKey::PageUp}, {Qt::Key_PageDown, 0, EJogKey::PageDown},
        {Qt::Key_D, 0, EJogKey::LetterD},   {Qt::Key_A, 0, EJogKey::LetterA},   {Qt::Key_S, 0, EJogKey::LetterS},
        {Qt::Key_W, 0, EJogKey::LetterW},   {Qt::Key_E, 0, EJogKey::LetterE},   {Qt::Key_Q, 0, EJogKey::LetterQ},
        {0x0412, 40, EJogKey::LetterD},     {0x0424, 38, EJogKey::LetterA},     {0x03A3, 39, EJogKey::LetterS},
        {0x0426, 25, EJogKey::LetterW},     {0x0423, 26, EJogKey::LetterE},     {0x0419, 24, EJogKey::LetterQ},
        {Qt::Key_D, 43, EJogKey::None},   // a layout that puts D elsewhere: the place counts, not the letter
        {Qt::Key_X, 0, EJogKey::None},      {Qt::Key_Home, 0, EJogKey::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JogKeyForQtKey(c.key, c.native), c.jog) << std::hex << c.key << " " << std::dec << c.native;
}

class PanelKeys : public CStageTest {
protected:
    void SetUp() override
    {
        CStageTest::SetUp();
        StartStage();
        OpenPanel();
        QApplication::setActiveWindow(&Panel());
        ConnectPanel();
        ReportPosition(100, 100, 100);
    }
    QWidget* FocusInSpeedBox()
    {
        auto* box = Panel().DlgItem<QComboBox>(IDC_COMBO_XYSPEED);
        box->setFocus();
        return QApplication::focusWidget();
    }
};

TEST_F(PanelKeys, KeysJogWhateverHasTheFocus)
{
    const struct {
        Qt::Key key;
        const char* line;
    } keys[] = {   // which key means which button is the key map's table; here, that they reach it
        {Qt::Key_Left, "G0 X-1.00 F5000\n"}, {Qt::Key_W, "G0 Y-1.00 F5000\n"}, {Qt::Key_PageUp, "G0 Z1.00 F3000\n"},
    };
    QWidget* editor = FocusInSpeedBox();
    const QString speedBefore = Text(IDC_COMBO_XYSPEED);
    for (const auto& k : keys) {
        SCOPED_TRACE(QKeySequence(k.key).toString().toStdString());
        Forget();
        QTest::keyClick(editor, k.key);
        EXPECT_EQ(LinesAfterQuiet(), WireLines({"G21\n", "G91\n", k.line, "M114\n", "M114\n"}));
    }
    // The keys were taken by the jog, not typed into the box nor used to change its entry.
    EXPECT_EQ(Text(IDC_COMBO_XYSPEED), speedBefore);
    // Shift and Ctrl make no difference; Alt does.
    Forget();
    QTest::keyClick(editor, Qt::Key_D, Qt::ShiftModifier);
    QTest::keyClick(editor, Qt::Key_D, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(LinesAfterQuiet().size(), 10u);
}

// An operator holds "Right" for a second. Key repeats arrive every 33 ms while each step keeps the
// panel busy for over 100 ms; the repeats that queue up meanwhile count as one key-down, so the
// stage stops within one step of the key's release.
TEST_F(PanelKeys, AHeldKeyStopsWithinOneStepOfItsRelease)
{
    QWidget* target = FocusInSpeedBox();
    QElapsedTimer keyClock;
    keyClock.start();
    const auto stamp = [&] { return static_cast<ulong>(keyClock.elapsed() + 1000); };
    std::atomic<bool> released{false};
    std::chrono::steady_clock::time_point releasedAt;
    std::thread keyboard([&] {
        for (int i = 0; i < 30; ++i) {
            auto* e = new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), i > 0);
            e->setTimestamp(stamp());
            QCoreApplication::postEvent(target, e);
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
        releasedAt = std::chrono::steady_clock::now();
        auto* up = new QKeyEvent(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
        up->setTimestamp(stamp());
        QCoreApplication::postEvent(target, up);
        released = true;
    });
    Forget();
    EXPECT_EVENTUALLY(released.load(), 5000);
    keyboard.join();
    LinesAfterQuiet();   // every queued step has shown itself

    int steps = 0, stepsAfterRelease = 0;
    for (const auto& line : m_stage->Transcript())
        if (line.text == "G0 X1.00 F5000") {
            ++steps;
            if (line.arrival > releasedAt)
                ++stepsAfterRelease;
        }
    EXPECT_GE(steps, 4);   // the stage kept moving while the key was held
    EXPECT_LE(stepsAfterRelease, 1);
}

// Steps typed faster than the controller reports are checked against where the steps already sent
// take the stage, not against a report that lags behind them.
TEST_F(PanelKeys, KeysTowardsALimitStopAtItWhileTheReportsLag)
{
    Click(IDC_BTN_CONNECT);
    sim::SSimOptions options = Quiet();
    options.replyDelayMs = 60;
    StartStage(options);
    Click(IDC_BTN_REFRESH);
    ConnectPanel();
    ReportPosition(297, 100, 100);
    QWidget* focus = FocusInSpeedBox();
    // The reports of each step arrive while later steps are being typed.
    for (int i = 0; i < 8; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(focus, &press);
        QTest::qWait(60);
    }
    const auto lines = LinesAfterQuiet();
    ASSERT_TRUE(m_stage->WaitUntilIdle(10000));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "G0 X1.00 F5000\n"), 3);
    EXPECT_EQ(m_stage->Position()[0], 300.0);
    for (const auto& line : m_stage->Transcript())
        EXPECT_FALSE(line.outsideEnvelope) << line.text;
}

// The letters jog by their place on the keyboard, whatever the layout makes of them.
TEST_F(PanelKeys, LetterKeysJogByPositionUnderANonLatinLayout)
{
    QWidget* focus = FocusInSpeedBox();
    // The key where D is on a Latin keyboard types a Cyrillic ve; its native code is D's.
    QKeyEvent press(QEvent::KeyPress, static_cast<int>(0x0412), Qt::NoModifier, 40, 0x6d7, 0, QStringLiteral("\u0432"));
    QApplication::sendEvent(focus, &press);
    EXPECT_EQ(LinesAfterQuiet(), WireLines({"G21\n", "G91\n", "G0 X1.00 F5000\n", "M114\n", "M114\n"}));
}

using PanelHeldEnter = CStageTest;

// The error box answered with Enter, and Enter still held, or left held: a key sent to the box's
// own window goes down through the X server while the box has the focus, and its release goes to
// the box's window, gone by then. The box closes at the press; the repeats (a release and a press
// with one time stamp, 25 a second) go on into the panel, where Connect has the focus. They press
// nothing; a fresh press does.
TEST_F(PanelHeldEnter, RepeatsOfTheEnterThatAnsweredTheErrorBoxPressNoButton)
{
    sim::SSimOptions options = Quiet();
    options.noHandshake = true;
    StartStage(options);
    auto& panel = OpenPanel();
    auto* connect = panel.DlgItem<QPushButton>(IDC_BTN_CONNECT);
    Click(IDC_BTN_CONNECT);
    connect->setFocus();
    ASSERT_TRUE(WaitForLines(1));
    ulong stamp = 1000;
    // As the platform delivers a key: to the window, which hands it to its focused widget.
    const auto send = [&stamp](QWidget* to, QEvent::Type type) {
        QKeyEvent e(type, Qt::Key_Return, Qt::NoModifier);
        e.setTimestamp(stamp);
        QApplication::sendEvent(to->windowHandle(), &e);
    };
    bool answered = false;
    QTimer answer;
    answer.callOnTimeout([&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible())
            return;
        if (answered) {
            ADD_FAILURE() << "Enter left the box up";
            box->close();
            return;
        }
        answered = true;
        send(box, QEvent::KeyPress);
    });
    answer.start(20);
    for (int tick = 0; tick <= CONNECT_TIMEOUT_TICKS; ++tick)
        panel.OnTimer(CONNECT_TIMER_ID);
    answer.stop();
    ASSERT_TRUE(answered);
    ASSERT_EQ(Text(IDC_BTN_CONNECT), "Connect");
    LinesAfterQuiet();
    Forget();

    for (stamp += 660; stamp < 3000; stamp += 40) {
        send(&panel, QEvent::KeyRelease);
        send(&panel, QEvent::KeyPress);
    }
    EXPECT_FALSE(connect->isDown());   // an animated click would land 100 ms after the last repeat
    EXPECT_EQ(LinesAfterQuiet(150), WireLines{});
    EXPECT_EQ(m_stage->OpenCount(), 1);

    send(&panel, QEvent::KeyRelease);
    stamp += 300;
    send(&panel, QEvent::KeyPress);
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connecting..."), 1000);
    EXPECT_EVENTUALLY_EQ(m_stage->OpenCount(), 2, 1000);   // the simulator notices an open on its own thread
}

} // namespace
