// Jog buttons, Home and Park against the simulated stage: the exact lines, in order.
#include <QComboBox>
#include <QTest>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <functional>

#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

class PanelMotion : public CConnectedStageTest {
protected:
    // Clicks a button and returns the lines it put on the wire.
    WireLines Press(int id)
    {
        Forget();
        Click(id);
        return LinesAfterQuiet();
    }
    // The step line of a button press ("" when the step was refused).
    std::string StepLine(int id)
    {
        const WireLines lines = Press(id);
        return lines.size() > 2 ? lines[2] : std::string();
    }
};

TEST_F(PanelMotion, AStepSendsModesMoveAndTwoQueriesAPauseApart)
{
    ReportPosition(10, 10, 10);
    // The pause between the queries, as the controller sees it. Its clock only reads a line when
    // its thread gets to run, so one press on a busy machine may show a little less: take the
    // middle one of three.
    std::vector<std::chrono::steady_clock::duration> pauses;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Press(IDC_BTN_XPLUS), WireLines({"G21\n", "G91\n", "G0 X1.00 F5000\n", "M114\n", "M114\n"}));
        const auto transcript = m_stage->Transcript();
        ASSERT_EQ(transcript.size(), 5u);
        pauses.push_back(transcript[4].arrival - transcript[3].arrival);
    }
    std::sort(pauses.begin(), pauses.end());
    // The simulator stamps a line when its thread reads it, a few milliseconds late at worst.
    EXPECT_GE(pauses[1], std::chrono::milliseconds(90));
    EXPECT_EQ(Press(IDC_BTN_ZMINUS), WireLines({"G21\n", "G91\n", "G0 Z-1.00 F3000\n", "M114\n", "M114\n"}));
    EXPECT_EQ(StepLine(IDC_BTN_XMINUS), "G0 X-1.00 F5000\n");
    EXPECT_EQ(StepLine(IDC_BTN_YPLUS), "G0 Y1.00 F5000\n");
}

TEST_F(PanelMotion, TheBoxesAsTheOperatorLeavesThemSetTheStep)
{
    ReportPosition(100, 100, 100);
    Panel().SetDlgItemText(IDC_COMBO_XYDIST, QStringLiteral("12.345"));
    EXPECT_EQ(StepLine(IDC_BTN_XPLUS), "G0 X12.35 F5000\n");
    // The hint entry chosen from the list reads as 50.
    Panel().DlgItem<QComboBox>(IDC_COMBO_XYSPEED)->setCurrentIndex(5);
    EXPECT_EQ(StepLine(IDC_BTN_XMINUS), "G0 X-12.35 F50\n");
}

TEST_F(PanelMotion, StepsStayInsideTheEnvelopeOfTheLastReport)
{
    const WireLines refused = {"G21\n", "G91\n"};
    // Right after connecting the stage reports (0, 0, 55): no room below 0.
    EXPECT_EQ(Press(IDC_BTN_XMINUS), refused);
    ReportPosition(299.0, 0.5, 199.5);
    EXPECT_EQ(StepLine(IDC_BTN_XPLUS), "G0 X1.00 F5000\n");   // ends exactly on the limit
    EXPECT_EQ(Press(IDC_BTN_XPLUS), refused);
    EXPECT_EQ(Press(IDC_BTN_YMINUS), refused);
    EXPECT_EQ(Press(IDC_BTN_ZPLUS), refused);
}

TEST_F(PanelMotion, HomeAndParkSendTheirFixedSequences)
{
    ReportPosition(299.9, 299.9, 199.9);
    EXPECT_EQ(Press(IDC_BTN_HOME), WireLines({"G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"}));
    EXPECT_EQ(Press(IDC_BTN_PARK), WireLines({"G90\n", "G0 X150.00 Y150.00 Z55.00 F5000\n", "M114\n", "M114\n"}));
}

// Park positions edited into System.cfg, stored last positions and reports of nonsense never put a
// target outside the stage on the wire; each refusal leaves one log line and the panel jogs on.
TEST_F(PanelMotion, NoTargetOutsideTheStageIsSentWhateverItsSource)
{
    const struct {
        const char* what;
        std::function<void(CTarnikMDlg&)> act;
        WireLines lines;
        const char* log;
    } cases[] = {
        {"slider over a report of inf", [this](CTarnikMDlg& p) {
             m_stage->SendRaw("X:10.00 Y:1e999 Z:5.00 E:0.00\n");
             ASSERT_EVENTUALLY(std::isinf(p.m_fPosY), 3000);
             Forget();
             p.OnHScroll(SB_THUMBPOSITION, 42, p.DlgItem<CScrollBarCtrl>(IDC_SCROLL_X));
         },
         {"G21\n", "G90\n"}, "Slider move refused: where the stage is going is not known"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CaptureLog();
        ::unlink(m_dir.File("TarnikS_log.txt").c_str());
        Forget();
        c.act(Panel());
        EXPECT_EQ(LinesAfterQuiet(), c.lines);
        EXPECT_EQ(Log(), std::string(c.log) + "\r\n");
        ReportPosition(100, 100, 100);
        EXPECT_EQ(StepLine(IDC_BTN_XPLUS), "G0 X1.00 F5000\n");
    }
    for (const auto& line : m_stage->Transcript())
        EXPECT_FALSE(line.outsideEnvelope) << line.text;
}

TEST_F(PanelMotion, LinesKeepTheirDecimalPointsUnderADecimalCommaLocale)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    ReportPosition(10, 10, 10);
    Panel().SetDlgItemText(IDC_COMBO_XYDIST, QStringLiteral("2.5"));
    const std::string step = StepLine(IDC_BTN_XPLUS);
    const WireLines park = Press(IDC_BTN_PARK);
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(step, "G0 X2.50 F5000\n");
    EXPECT_EQ(park[1], "G0 X150.00 Y150.00 Z55.00 F5000\n");
}

TEST_F(PanelMotion, NothingMovesWhileNotConnected)
{
    // The port stays open: only the panel's own idea of the connection stops the lines.
    Panel().OnBnClickedStatus();
    ASSERT_EQ(Panel().m_bConnected, FALSE);
    Forget();
    for (UINT id = IDC_BTN_XPLUS; id <= IDC_BTN_HOME; ++id)
        Panel().OnJogButton(id);
    Panel().OnBnClickedPark();
    Panel().OnHScroll(SB_LINERIGHT, 0, Panel().DlgItem<CScrollBarCtrl>(IDC_SCROLL_X));
    Panel().OnVScroll(SB_THUMBPOSITION, 10, Panel().DlgItem<CScrollBarCtrl>(IDC_SCROLL_Y));
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_D, Qt::Key_PageUp})
        QTest::keyClick(Panel().GetDlgItem(IDC_COMBO_XYSPEED), key);
    EXPECT_EQ(LinesAfterQuiet(), WireLines{});
}

} // namespace
