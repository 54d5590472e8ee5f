// Replies as they arrive on the line: what the panel stores, shows and asks again.

#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"

namespace {

class PanelReplies : public CConnectedStageTest {
protected:
    void SetUp() override
    {
        CConnectedStageTest::SetUp();
        ReportPosition(5, 6, 7);
    }
    // Sends text as the controller would and gives the panel time to read it.
    void Controller(const std::string& text)
    {
        m_stage->SendRaw(text);
        LinesAfterQuiet();
    }
};

// A board asked twice while it booted answers twice: the second reply homes nothing, and a report
// that came with it still counts.
TEST_F(PanelReplies, ALateHandshakeReplyNeverHomesAgainAndItsReportCounts)
{
    Controller("X:1.00 Y:2.00 Z:3.00 E:0.00\nok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\n");
    EXPECT_EQ(Lines(), WireLines{});
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (1.00 , 2.00 , 3.00 )");
}

TEST_F(PanelReplies, OtherTextIsIgnored)
{
    Controller("start\necho: External Reset\nok\nX:1 Y:2 no zed\necho:busy: processing\n\xff\xfe\x01noise\n");
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (5.00 , 6.00 , 7.00 )");
    EXPECT_EQ(Panel().m_fPosX, 5.0f);
    EXPECT_EQ(Lines(), WireLines{});
    Controller("X:12.5abc Y:-0 Z:1e1 E:0\n");
    EXPECT_EQ(Panel().m_fPosX, 12.5f);
    EXPECT_EQ(Panel().m_fPosZ, 10.0f);
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (12.5abc , -0 , 1e1 )");
}

TEST_F(PanelReplies, MoreThan2047WaitingBytesLeaveOnlyTheLastReadsText)
{
    // 3000 bytes of chatter, then a report: the first read takes 2047 bytes, the purge drops the
    // rest, the report included, and the panel's read-out stays as it was.
    std::string flood;
    while (flood.size() < 3000)
        flood += "echo: chatter chatter chatter chatter\n";
    m_stage->SendRaw(flood + "X:9.00 Y:9.00 Z:9.00 E:0.00\n");
    LinesAfterQuiet();
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (5.00 , 6.00 , 7.00 )");
    // The line is usable again at once.
    ReportPosition(8, 8, 8);
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (8.00 , 8.00 , 8.00 )");
}

// A report counts once its line feed has arrived within one read; pieces read apart are dropped.
TEST_F(PanelReplies, RepliesCutIntoPiecesAreReadWhenTheyComplete)
{
    Controller("X:1.00 Y:2.00 Z:3.00 E:0.00");
    EXPECT_EQ(Panel().m_fPosX, 5.0f);
    Controller("4.00 Z:5.00 E:0.00\n");
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (5.00 , 6.00 , 7.00 )");
    m_stage->SendRaw("X:3.00 Y:4.00 Z:");
    Controller("5.00 E:0.00\n");
    EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (3.00 , 4.00 , 5.00 )");
    EXPECT_EQ(Lines(), WireLines{});
}

// A report cut apart by a read: the first piece is dropped for want of a line feed, and the second
// holds the step counts' "X:", "Y:" and "Z:", which are no position. The stage stays where the whole
// report put it, so a 1 mm -Z step from 0.30 is refused.
TEST_F(PanelReplies, TheRestOfACutReportIsNoPosition)
{
    const std::pair<std::string, std::string> cuts[] = {
        {"X:1.50 Y:2.00 Z:0.30 E", ":0.00 Count X:120 Y:160 Z:120\n"},
        {"X:1.50 Y:2.00 Z:0.30 E:0.00 Count ", "X:120 Y:160 Z:120\n"},   // read alone, it looks whole
    };
    for (const auto& [first, rest] : cuts) {
        SCOPED_TRACE(rest);
        ReportPosition(1.5, 2, 0.3);
        Controller(first);
        Controller(rest);
        EXPECT_EQ(Text(IDC_STATIC_CURPOS), "current: (1.50 , 2.00 , 0.30 )");
        Forget();
        Click(IDC_BTN_ZMINUS);
        EXPECT_EQ(LinesAfterQuiet(), (WireLines{"G21\n", "G91\n"}));
    }
}

} // namespace
