// Jog buttons, Home and Park against the simulated stage: the exact lines, in order.
#include <QComboBox>
#include <QTest>
#include <algorithm>
#include <clocale>

#include "app/TraceLog.h"
#include "res/Resource.h"
#include "serial/SerialWnd.h"
#include "tests/support/StageFixture.h"

namespace {

class PanelMotion : public CConnectedStageTest {
protected:
    // Clicks a button and returns the lines it put on the wire.
    WireLines Press(int id)
    {
        Forget();
        Click(id);
        return LinesAfterQuiet(150);
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
    EXPECT_GE(pauses[1], std::chrono::milliseconds(100));
    EXPECT_EQ(Press(IDC_BTN_ZMINUS), WireLines({"G21\n", "G91\n", "G0 Z-1.00 F3000\n", "M114\n", "M114\n"}));
    EXPECT_EQ(StepLine(IDC_BTN_XMINUS), "G0 X-1.00 F5000\n");
    EXPECT_EQ(StepLine(IDC_BTN_YPLUS), "G0 Y1.00 F5000\n");
    EXPECT_EQ(StepLine(IDC_BTN_YMINUS), "G0 Y-1.00 F5000\n");
    EXPECT_EQ(StepLine(IDC_BTN_ZPLUS), "G0 Z1.00 F3000\n");
}

TEST_F(PanelMotion, DistanceAndSpeedTextsAreReadByTheirRules)
{
    ReportPosition(100, 100, 100);
    const struct {
        int box;
        const char* text;
        int button;
        const char* line;
    } cases[] = {
        {IDC_COMBO_XYDIST, "0.05", IDC_BTN_XPLUS, "G0 X0.10 F5000\n"},
        {IDC_COMBO_XYDIST, "", IDC_BTN_XPLUS, "G0 X0.10 F5000\n"},
        {IDC_COMBO_XYDIST, "abc", IDC_BTN_YMINUS, "G0 Y-0.10 F5000\n"},
        {IDC_COMBO_XYDIST, "12.345", IDC_BTN_XPLUS, "G0 X12.35 F5000\n"},
        {IDC_COMBO_ZDIST, "0.01", IDC_BTN_ZPLUS, "G0 Z0.02 F3000\n"},
        {IDC_COMBO_ZDIST, "0.025", IDC_BTN_ZPLUS, "G0 Z0.02 F3000\n"},
        {IDC_COMBO_ZDIST, "0.02 mm", IDC_BTN_ZMINUS, "G0 Z-0.02 F3000\n"},
        {IDC_COMBO_XYSPEED, "10", IDC_BTN_XPLUS, "G0 X1.00 F50\n"},
        {IDC_COMBO_XYSPEED, "", IDC_BTN_XPLUS, "G0 X1.00 F50\n"},
        {IDC_COMBO_XYSPEED, "or enter 50 to 5000", IDC_BTN_XPLUS, "G0 X1.00 F50\n"},
        {IDC_COMBO_XYSPEED, "7000", IDC_BTN_XPLUS, "G0 X1.00 F5000\n"},
        {IDC_COMBO_XYSPEED, "  750", IDC_BTN_XPLUS, "G0 X1.00 F750\n"},
        {IDC_COMBO_XYSPEED, "12.9", IDC_BTN_XPLUS, "G0 X1.00 F50\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Panel().FillSpeedDistanceLists();
        Panel().SetDlgItemText(c.box, QString::fromLatin1(c.text));
        EXPECT_EQ(StepLine(c.button), c.line);
    }
    // The hint entry chosen from the list reads as 50 too.
    Panel().FillSpeedDistanceLists();
    Panel().DlgItem<QComboBox>(IDC_COMBO_XYSPEED)->setCurrentIndex(5);
    EXPECT_EQ(StepLine(IDC_BTN_XPLUS), "G0 X1.00 F50\n");
}

TEST_F(PanelMotion, StepsStayInsideTheEnvelopeOfTheLastReport)
{
    const WireLines refused = {"G21\n", "G91\n"};
    // Right after connecting the stage reports (0, 0, 55): no room below 0 on X and Y.
    EXPECT_EQ(Press(IDC_BTN_XMINUS), refused);
    EXPECT_EQ(Press(IDC_BTN_YMINUS), refused);
    ReportPosition(299.0, 0.5, 199.0);
    EXPECT_EQ(StepLine(IDC_BTN_XPLUS), "G0 X1.00 F5000\n");   // ends exactly on the limit
    EXPECT_EQ(Press(IDC_BTN_YMINUS), refused);
    EXPECT_EQ(StepLine(IDC_BTN_ZPLUS), "G0 Z1.00 F3000\n");
    ReportPosition(299.5, 1.0, 199.5);
    EXPECT_EQ(Press(IDC_BTN_XPLUS), refused);
    EXPECT_EQ(Press(IDC_BTN_ZPLUS), refused);
    EXPECT_EQ(StepLine(IDC_BTN_YMINUS), "G0 Y-1.00 F5000\n");
}

TEST_F(PanelMotion, HomeAndParkSendTheirFixedSequences)
{
    ReportPosition(299.9, 299.9, 199.9);
    EXPECT_EQ(Press(IDC_BTN_HOME), WireLines({"G21\n", "G91\n", "G28\n", "G0 Z55\n", "M114\n", "M114\n"}));
    EXPECT_EQ(Press(IDC_BTN_PARK), WireLines({"G90\n", "G0 X150.00 Y150.00 Z55.00 F5000\n", "M114\n", "M114\n"}));
}

TEST_F(PanelMotion, AStoredParkPositionIsSentUnchanged)
{
    Click(IDC_BTN_CONNECT);   // disconnect, store a park position out of the envelope, connect again
    WriteConfig("[Park_Pos]\nX=10.5\nY=20\nZ=250\n");
    ConnectPanel();
    Panel().SetDlgItemText(IDC_COMBO_XYSPEED, QStringLiteral("2000"));
    EXPECT_EQ(Press(IDC_BTN_PARK), WireLines({"G90\n", "G0 X10.50 Y20.00 Z250.00 F2000\n", "M114\n", "M114\n"}));
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

// A port whose writes of move lines fail, as a vanished adapter's would; the rest goes through.
class CFailingMovePort : public CSerialMFC {
public:
    LONG WriteText(const char* text, DWORD* written, SERIAL_OVERLAPPED* ov, DWORD timeout) override
    {
        if (std::string(text).rfind("G0 X", 0) == 0)
            return SetLastError(5);
        return CSerialMFC::WriteText(text, written, ov, timeout);
    }
};

TEST_F(PanelMotion, AFailedStepLineIsLoggedOnceAndTheQueriesStillGoOut)
{
    CTempDir logDir;
    g_strTraceFile = QString::fromStdString(logDir.File("TarnikS_log.txt"));
    g_bTraceEnabled = TRUE;
    g_bTraceTimeStamp = FALSE;
    Click(IDC_BTN_CONNECT);
    Panel().m_pSerial = std::make_unique<CFailingMovePort>();
    ConnectPanel();
    ReportPosition(10, 10, 10);
    EXPECT_EQ(Press(IDC_BTN_XPLUS), WireLines({"G21\n", "G91\n", "M114\n", "M114\n"}));
    EXPECT_EQ(ReadWholeFile(logDir.File("TarnikS_log.txt")), "Write() failed with error code = 5\r\n");
    g_bTraceEnabled = FALSE;
    g_strTraceFile.clear();
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
    EXPECT_EQ(Panel().SendCommandLine(QStringLiteral("G0 X1\n")), FALSE);
    EXPECT_EQ(LinesAfterQuiet(100), WireLines{});
}

} // namespace
