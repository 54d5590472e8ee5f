// A long mixed session against a controller that splits its replies and sends noise: every line
// the panel had to send arrives, in order, the read-out ends on the controller's position, and
// memory stays flat. SOAK_STEPS sets the number of operator actions (2000 by default).
//
// The lines are checked and forgotten every CHECK_EVERY actions, by the simulator and by the test
// alike: records of every line of the whole run (some 58,000 lines in 10,000 actions) would grow
// the process by megabytes, and the memory figure has to be the panel's own.
#include <QApplication>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <unistd.h>

#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

constexpr int CHECK_EVERY = 500;

long ResidentKiB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

using SoakPanel = CStageTest;

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
    panel.GetDlgItem(IDC_BTN_CONNECT)->setFocus();

    std::vector<std::string> expected;
    const auto expect = [&](std::initializer_list<std::string> lines) { expected.insert(expected.end(), lines); };
    // Where the lines due so far take the stage: the panel bounds every move by that, not by the last
    // report, which may still be on its way when the next action comes.
    std::array<double, 3> commanded = {150, 150, 100};
    // What one step move has to put on the wire.
    const auto expectStep = [&](int axis, bool negative) {
        expect({"G21\n", "G91\n"});
        const double p = commanded[axis] + (negative ? -1 : 1);
        if (p < 0 || p > (axis == 2 ? 200 : 300))
            return;
        commanded[axis] = p;
        const std::string line = std::string("G0 ") + "XYZ"[axis] + (negative ? "-" : "") + "1.00 F";
        expect({line + (axis == 2 ? "3000\n" : "5000\n"), "M114\n", "M114\n"});
    };

    // Keys and buttons in the order + X, - X, + Y, - Y, + Z, - Z.
    const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_Up,   Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown,
                            Qt::Key_D,     Qt::Key_A,    Qt::Key_S,    Qt::Key_W,    Qt::Key_E,      Qt::Key_Q};
    const int buttons[] = {IDC_BTN_XPLUS, IDC_BTN_XMINUS, IDC_BTN_YPLUS, IDC_BTN_YMINUS, IDC_BTN_ZPLUS, IDC_BTN_ZMINUS};
    // A scroll of a slider, then its end as the mouse comes up.
    const auto scroll = [&](int axis, UINT code, UINT pos) {
        auto* bar = panel.DlgItem<CScrollBarCtrl>(axis == 0 ? IDC_SCROLL_X : axis == 1 ? IDC_SCROLL_Y : IDC_SCROLL_Z);
        for (UINT c : {code, SB_ENDSCROLL})
            axis == 0 ? panel.OnHScroll(c, pos, bar) : panel.OnVScroll(c, pos, bar);
    };

    // Once the line is at rest: what arrived since the last check is what was due, in order. Lines
    // cut by the split replies can look like an incomplete report, which the panel answers with one
    // more query: queries may be more than expected, everything else must match exactly.
    const auto checkAndForget = [&](int step) {
        SCOPED_TRACE("lines of the actions before action " + std::to_string(step));
        ASSERT_TRUE(m_stage->WaitUntilIdle(5000));
        const auto withoutQueries = [](std::vector<std::string> lines) { return std::erase(lines, "M114\n"), lines; };
        const std::vector<std::string> actual = LinesAfterQuiet(200);
        const auto expectedMoves = withoutQueries(expected);
        const auto actualMoves = withoutQueries(actual);
        const size_t common = std::min(actualMoves.size(), expectedMoves.size());
        const size_t first = std::mismatch(actualMoves.begin(), actualMoves.begin() + common, expectedMoves.begin()).first -
                             actualMoves.begin();
        const auto around = [first](const std::vector<std::string>& lines) {
            std::string text;
            for (size_t i = first >= 6 ? first - 6 : 0; i < std::min(lines.size(), first + 6); ++i)
                text += (i == first ? "> " : "  ") + lines[i];
            return text;
        };
        EXPECT_TRUE(first == common && actualMoves.size() == expectedMoves.size())
            << "from line " << first << ", received:\n" << around(actualMoves) << "due:\n" << around(expectedMoves);
        EXPECT_GE(actual.size() - actualMoves.size(), expected.size() - expectedMoves.size());
        Forget();
        expected.clear();
        // Each stretch is checked on its own: a line lost in one is reported there, and the next
        // starts from where the stage really is.
        commanded = m_stage->Position();
    };

    std::mt19937 random(20261206);
    long rssAfterWarmUp = 0;
    for (int step = 0; step < steps; ++step) {
        if (step > 0 && step % CHECK_EVERY == 0) {
            checkAndForget(step);
            if (HasFatalFailure())
                return;
            if (!rssAfterWarmUp && step >= steps / 10)
                rssAfterWarmUp = ResidentKiB();
        }
        QCoreApplication::processEvents();   // replies in flight update the position first
        const int kind = static_cast<int>(random() % 100);
        const int which = static_cast<int>(random() % 12);
        const int axis = which % 6 / 2;
        const bool down = which % 2 == 1;   // - X, - Y, - Z: the left or the lower arrow of a slider
        if (kind < 75) {
            if (kind >= 55)
                expect({"G21\n", "G90\n"});
            expectStep(axis, down);
            if (kind < 30) {
                QTest::keyClick(panel.GetDlgItem(IDC_BTN_CONNECT), keys[which]);
            } else if (kind < 55) {
                panel.OnJogButton(static_cast<UINT>(buttons[which % 6]));
            } else {
                expect({"G21\n", "G90\n"});
                scroll(axis, axis == 0 ? (down ? SB_LINELEFT : SB_LINERIGHT) : (down ? SB_LINEDOWN : SB_LINEUP), 0);
            }
        } else if (kind < 90) {
            const int pos = static_cast<int>(random() % (axis == 2 ? 201 : 301));
            auto& at = commanded;
            at[axis] = axis == 0 ? pos : (axis == 1 ? 300 : 200) - pos;
            const QString line = QString::asprintf("G0 X%.1f Y%.1f Z%.1f F5000\n", at[0], at[1], at[2]);
            expect({"G21\n", "G90\n", line.toStdString(), "M114\n", "M114\n", "G21\n", "G90\n"});
            scroll(axis, SB_THUMBPOSITION, static_cast<UINT>(pos));
        } else if (kind < 95) {
            expect({"G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"});
            commanded = {0, 0, 55};
            panel.OnJogButton(IDC_BTN_HOME);
        } else {
            expect({"G90\n", "G0 X150.00 Y150.00 Z55.00 F5000\n", "M114\n", "M114\n"});
            commanded = {150, 150, 55};
            panel.OnBnClickedPark();
        }
    }
    checkAndForget(steps);
    if (HasFatalFailure())
        return;
    const long rssAtEnd = ResidentKiB();
    std::printf("resident memory: %ld KiB after warm-up, %ld KiB at the end of %d actions\n", rssAfterWarmUp, rssAtEnd, steps);

    // The read-out ends on the controller's position.
    Forget();
    panel.m_pSerial->WriteText("M114\n");
    const auto where = m_stage->Position();
    const QString shown = QString::asprintf("current: (%.2f , %.2f , %.2f )", where[0], where[1], where[2]);
    EXPECT_EVENTUALLY_EQ(Text(IDC_STATIC_CURPOS), shown, 5000);
    if (rssAfterWarmUp) {   // a run too short for a check after warm-up has no figure to hold
        EXPECT_LT(rssAtEnd - rssAfterWarmUp, 8 * 1024);
    }
}

} // namespace
