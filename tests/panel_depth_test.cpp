// The depth measurement read-outs.

#include "res/Resource.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

class PanelDepth : public CStageTest {
protected:
    void SetUp() override
    {
        CStageTest::SetUp();
        WriteConfig("[DlgStatus]\nExpanderDlg=1\n");
        StartStage();
        OpenPanel();
        ConnectPanel();
    }
};

TEST_F(PanelDepth, StartAndEndShowBothPointsAndTheSignedZDistance)
{
    ReportPosition(12.5, 40, 55);
    Click(IDC_BTN_START);
    EXPECT_EQ(Text(IDC_STATIC_STARTPOINT), "  X = 12.50, Y = 40.00, Z = 55.00");
    EXPECT_EQ(Text(IDC_STATIC_ENDPOINT), "  X = 0.00, Y = 0.00, Z = 0.00");
    ReportPosition(12.5, 40, 42.35);
    Click(IDC_BTN_END);
    EXPECT_EQ(Text(IDC_STATIC_ENDPOINT), "  X = 12.50, Y = 40.00, Z = 42.35");
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  -12.65");
    // End again after moving on: the same start point.
    ReportPosition(1, 2, 60.5);
    Click(IDC_BTN_END);
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  5.50");
    EXPECT_EQ(Lines(), WireLines{});   // nothing is sent for a measurement
}

// Equal points and differences below a hundredth keep their own texts; Reset and a disconnection
// clear the read-outs but keep the start point.
TEST_F(PanelDepth, EqualAndTinyDifferencesKeepTheirOwnTextsAndResetKeepsTheStartPoint)
{
    ReportPosition(3, 4, 55);
    Click(IDC_BTN_START);
    Click(IDC_BTN_END);
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  0.00");
    Click(IDC_BTN_RESET);
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  0.0");
    EXPECT_EQ(Text(IDC_STATIC_STARTPOINT), "  X = 0.00, Y = 0.00, Z = 0.00");
    EXPECT_EQ(Text(IDC_STATIC_ENDPOINT), "  X = 0.00, Y = 0.00, Z = 0.00");
    // The controller's own text, with more decimals than the simulator prints.
    m_stage->SendRaw("X:3.00 Y:4.00 Z:54.996 E:0.00\n");
    EXPECT_EVENTUALLY_EQ(Panel().m_fPosZ, 54.996f, 5000);
    Click(IDC_BTN_END);
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  -0.00");
    Click(IDC_BTN_CONNECT);
    EXPECT_EQ(Text(IDC_STATIC_DEPTH), "  0.0");
    EXPECT_EQ(Panel().m_fStartZ, 55.0f);
}

} // namespace
