// A long mixed session against a controller that splits its replies and sends noise: every line
// the panel had to send arrives, in order, the read-out ends on the controller's position, and
// memory stays flat. SOAK_STEPS sets the number of operator actions (2000 by default).
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "res/Resource.h"
#include "serial/SerialWnd.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

std::string Fmt(const char* format, double a, double b = 0, double c = 0, int f = 0)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b, c, f);
    return buf;
}

class SoakPanel : public CStageTest {
protected:
    // What one step move has to put on the wire, from the position the panel knows.
    void ExpectStep(int axis, bool negative)
    {
        Expect({"G21\n", "G91\n"});
        const float p = axis == 0 ? Panel().m_fPosX : axis == 1 ? Panel().m_fPosY : Panel().m_fPosZ;
        const float upper = axis == 2 ? 200.0f : 300.0f;
        if (negative ? p - 1.0f < 0.0f : p + 1.0f > upper)
            return;
        const char* names = "XYZ";
        const int speed = axis == 2 ? 3000 : 5000;
        char line[64];
        std::snprintf(line, sizeof line, "G0 %c%s1.00 F%d\n", names[axis], negative ? "-" : "", speed);
        Expect({line, "M114\n", "M114\n"});
    }
    void Expect(std::initializer_list<std::string> lines) { m_expected.insert(m_expected.end(), lines); }

    std::vector<std::string> m_expected;
};

TEST_F(SoakPanel, ThousandsOfMixedActionsLoseNothing)
{
    const int steps = std::getenv("SOAK_STEPS") ? std::atoi(std::getenv("SOAK_STEPS")) : 2000;
    sim::SSimOptions options = Quiet();
    options.chunkSize = 16;
    options.chunkPauseMs = 1;
    options.noise = true;
    StartStage(options);
    auto& panel = OpenPanel();
    QApplication::setActiveWindow(&panel);
    ConnectPanel();
    ReportPosition(150, 150, 100);
    QWidget* focus = panel.GetDlgItem(IDC_BTN_CONNECT);
    focus->setFocus();

    const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown,
                            Qt::Key_D, Qt::Key_A, Qt::Key_S, Qt::Key_W, Qt::Key_E, Qt::Key_Q};
    const int keyAxis[] = {0, 0, 1, 1, 2, 2, 0, 0, 1, 1, 2, 2};
    const bool keyNegative[] = {false, true, false, true, false, true, false, true, false, true, false, true};
    const int buttons[] = {IDC_BTN_XPLUS, IDC_BTN_XMINUS, IDC_BTN_YPLUS, IDC_BTN_YMINUS, IDC_BTN_ZPLUS, IDC_BTN_ZMINUS};
    auto* xBar = panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_X);
    auto* yBar = panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y);
    auto* zBar = panel.DlgItem<CScrollBarCtrl>(IDC_SCROLL_Z);

    std::mt19937 random(20261206);
    long rssAfterWarmUp = 0;
    for (int step = 0; step < steps; ++step) {
        if (step == steps / 10)
            rssAfterWarmUp = ResidentKiB();
        QCoreApplication::processEvents();   // replies in flight update the position first
        const int kind = static_cast<int>(random() % 100);
        if (kind < 30) {
            const int k = static_cast<int>(random() % 12);
            ExpectStep(keyAxis[k], keyNegative[k]);
            QTest::keyClick(focus, keys[k]);
        } else if (kind < 55) {
            const int b = static_cast<int>(random() % 6);
            ExpectStep(b / 2, b % 2 == 1);
            panel.OnJogButton(static_cast<UINT>(buttons[b]));
        } else if (kind < 75) {
            // An arrow of a slider, then the end of the scroll as the mouse comes up.
            const int axis = static_cast<int>(random() % 3);
            const bool towardsLow = random() % 2 == 0;   // left arrow or the lower arrow of Y and Z
            Expect({"G21\n", "G90\n"});
            if (axis == 0) {
                ExpectStep(0, towardsLow);
                panel.OnHScroll(towardsLow ? SB_LINELEFT : SB_LINERIGHT, 0, xBar);
                panel.OnHScroll(SB_ENDSCROLL, 0, xBar);
            } else {
                ExpectStep(axis, towardsLow);
                panel.OnVScroll(towardsLow ? SB_LINEDOWN : SB_LINEUP, 0, axis == 1 ? yBar : zBar);
                panel.OnVScroll(SB_ENDSCROLL, 0, axis == 1 ? yBar : zBar);
            }
            Expect({"G21\n", "G90\n"});
        } else if (kind < 90) {
            const int axis = static_cast<int>(random() % 3);
            const int pos = static_cast<int>(random() % (axis == 2 ? 201 : 301));
            double x = panel.m_fPosX, y = panel.m_fPosY, z = panel.m_fPosZ;
            if (axis == 0)
                x = pos;
            else if (axis == 1)
                y = 300 - pos;
            else
                z = 200 - pos;
            Expect({"G21\n", "G90\n", Fmt("G0 X%.1f Y%.1f Z%.1f F%d\n", x, y, z, 5000), "M114\n", "M114\n",
                    "G21\n", "G90\n"});
            if (axis == 0) {
                panel.OnHScroll(SB_THUMBPOSITION, static_cast<UINT>(pos), xBar);
                panel.OnHScroll(SB_ENDSCROLL, 0, xBar);
            } else {
                panel.OnVScroll(SB_THUMBPOSITION, static_cast<UINT>(pos), axis == 1 ? yBar : zBar);
                panel.OnVScroll(SB_ENDSCROLL, 0, axis == 1 ? yBar : zBar);
            }
        } else if (kind < 95) {
            Expect({"G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"});
            panel.OnJogButton(IDC_BTN_HOME);
        } else {
            Expect({"G90\n", "G0 X150.00 Y150.00 Z55.00 F5000\n", "M114\n", "M114\n"});
            panel.OnBnClickedPark();
        }
    }
    ASSERT_TRUE(m_stage->WaitUntilIdle(5000));
    LinesAfterQuiet(500);

    // Lines cut by the split replies can look like an incomplete report, which the panel answers
    // with one more query: queries may be more than expected, everything else must match exactly.
    const auto withoutQueries = [](const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const auto& l : lines)
            if (l != "M114\n")
                out.push_back(l);
        return out;
    };
    const std::vector<std::string> actual = Lines();
    const auto expectedMoves = withoutQueries(m_expected);
    const auto actualMoves = withoutQueries(actual);
    ASSERT_EQ(actualMoves.size(), expectedMoves.size());
    for (size_t i = 0; i < expectedMoves.size(); ++i)
        ASSERT_EQ(actualMoves[i], expectedMoves[i]) << "line " << i;
    EXPECT_GE(actual.size() - actualMoves.size(), m_expected.size() - expectedMoves.size());

    // The read-out ends on the controller's position.
    Forget();
    panel.m_pSerial->WriteText("M114\n");
    const auto where = m_stage->Position();
    const QString expected = QString::fromStdString(Fmt("current: (%.2f , %.2f , %.2f )", where[0], where[1], where[2]));
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), expected, 5000);

    const long rssAtEnd = ResidentKiB();
    std::printf("resident memory: %ld KiB after warm-up, %ld KiB at the end, %zu lines\n", rssAfterWarmUp, rssAtEnd,
                actual.size());
    EXPECT_LT(rssAtEnd - rssAfterWarmUp, 8 * 1024);
}

} // namespace
