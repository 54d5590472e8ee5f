// The reply grammar on literal controller text.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/ControllerLines.h"
#include "core/ReplyGrammar.h"

namespace {

struct SReportCase {
    const char* line;
    const char* x;
    const char* y;
    const char* z;
    float fx, fy, fz;
    bool complete;
    bool fields = true;   // X, Y and Z come first: the line holds a position, complete or not
};

TEST(ReplyGrammar, PositionReportsAreCutIntoValueTexts)
{
    const SReportCase cases[] = {
        {"X:1.00 Y:2.00 Z:3.00 E:0.00 Count X:800 Y:1600 Z:2000", "1.00 ", "2.00 ", "3.00 ", 1, 2, 3, true},
        {"X:10.26 Y:-20.04 Z:55 E:0", "10.26 ", "-20.04 ", "55 ", 10.26f, -20.04f, 55, true},
        {"X:1.50 Y:2.00 Z:0.30 Count X:120 Y:160 Z:120", "1.50 ", "2.00 ", "0.30 ", 1.5f, 2, 0.3f, true},   // no E
        {"X:1 Y:2 Z:3 Count X:8 Y:16 Z:24 E:0", "1 ", "2 ", "3 ", 1, 2, 3, true},   // E only among the counts
        {"ok C: X:0.0000 Y:0.0000 Z:0.0000", "0.0000 ", "0.0000 ", "0.0000", 0, 0, 0, true},
        {"C: X:1.5 Y:2.5 Z:3.5\r", "1.5 ", "2.5 ", "3.5", 1.5f, 2.5f, 3.5f, true},
        {"X:1 Y:2 Z:", "1 ", "2 ", "", 1, 2, 0, false},
        {"X:Y:2.00 Z:3.00 E:0", "", "2.00 ", "3.00 ", 0, 2, 3, false},          // empty X
        {"X:12.5abc Y:abc Z:+4e1 E:", "12.5abc ", "abc ", "+4e1 ", 12.5f, 0, 40, true},
        {"X:1.5 Y:2.5 Z:3.5 E:0\r", "1.5 ", "2.5 ", "3.5 ", 1.5f, 2.5f, 3.5f, true},
        {"X:1 Y:2 Z:3E", "1 ", "2 ", "3", 1, 2, 3, true},
        {"X:  7.25 Y:\t8 Z:9 E:0", "  7.25 ", "\t8 ", "9 ", 7.25f, 8, 9, true},
        // Lines whose first fields are not X, Y and Z hold no position, whatever follows.
        {":0.00 Count X:120 Y:160 Z:120", "", "", "", 0, 0, 0, false, false},   // a report's second piece
        {"0 E:0.00 Count X:120 Y:160 Z:120", "", "", "", 0, 0, 0, false, false},
        {"X:1.50 Y:2.00 Count X:120 Y:160 Z:120", "", "", "", 0, 0, 0, false, false},
        {"X:1.50 A:9 Y:2.00 Z:0.30 E:0", "", "", "", 0, 0, 0, false, false},
        {"Z:3 Y:2 X:1 E:0", "", "", "", 0, 0, 0, false, false},
        {"echo:endstops hit:  X:0.00 Y:0.00 Z:0.00", "", "", "", 0, 0, 0, false, false},
        {"Bed X: 10.000 Y: 20.000 Z: 0.123", "", "", "", 0, 0, 0, false, false},
        {"ok T:25.0 X:1 Y:2 Z:3", "", "", "", 0, 0, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const SPositionReport r = ParsePositionLine(c.line);
        EXPECT_EQ(r.xText, c.x);
        EXPECT_EQ(r.yText, c.y);
        EXPECT_EQ(r.zText, c.z);
        EXPECT_FLOAT_EQ(r.x, c.fx);
        EXPECT_FLOAT_EQ(r.y, c.fy);
        EXPECT_FLOAT_EQ(r.z, c.fz);
        EXPECT_EQ(r.complete, c.complete);
        EXPECT_EQ(r.fields, c.fields);
    }
    EXPECT_EQ(FormatPositionReadout(ParsePositionLine("X:1.00 Y:2.00 Z:3.00 E:0.00")),
              "current: (1.00 , 2.00 , 3.00 )");
}

TEST(ReplyGrammar, LinesEndAtLineFeedsAndTheRestIsNoLine)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitReplyLines("ok\nX:1 Y:2 Z:3 E:0\r\npartial"), Lines({"ok", "X:1 Y:2 Z:3 E:0\r"}));
    EXPECT_TRUE(SplitReplyLines("X:1 Y:2 Z:3 E:0").empty());
    EXPECT_EQ(SplitReplyLines("\n\n"), Lines({"", ""}));
    EXPECT_TRUE(HasBootLine({"echo:start", "start"}));
    EXPECT_TRUE(HasBootLine({"start\r"}));
    EXPECT_FALSE(HasBootLine({"echo:start", " start"}));
    EXPECT_TRUE(IsPositionReport("echo: Z: Y: X:"));
    EXPECT_FALSE(IsPositionReport("X:1 Y:2"));
}

// Real firmware's lines as the connection reads them: handshakes in their several forms, busy
// notices, errors and halts. Echo lines are never a handshake.
TEST(ReplyGrammar, ControllerLinesAreReadForWhatTheySay)
{
    const struct {
        const char* text;
        bool handshake;
    } handshakes[] = {
        {"start\nok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\n", true},
        {"ok T:0", true},                                     // a board without sensors, line end still to come
        {"ok T0:21.30/ 0.00 B:21.30/ 0.00 @:64\n", true},
        {"ok B:30.5 /0.0 T0:58.9 /0.0\n", true},
        {"ok\nT:21.30/ 0.00 B:21.30/ 0.00 @:64\n", true},
        {"ok\nT:25.0", false},                               // the temperatures' line is not whole yet
        {"T:21.30/ 0.00 B:21.30/ 0.00\n", false},            // an automatic report, no answer to M105
        {"ok C: X:0.0000 Y:0.0000 Z:0.0000\n", false},       // a position that begins with "ok C:"
        {"echo:Unknown command: \"ok T:1\"\nok\n", false},
        {"ok\n", false},
        {"ok \xA0\r\nT:21.30/ 0.00\n", true},           // the "ok" line's blanks: Latin-1's count too
        {"ok.\nT:21.30/ 0.00\n", false},
    };
    for (const auto& h : handshakes)
        EXPECT_EQ(IsHandshakeReply(h.text), h.handshake) << h.text;

    const struct {
        const char* line;
        bool busy, error, halt, checksums;
    } lines[] = {
        {"echo:busy: processing", true, false, false, false},
        {"echo:Unknown command: \"M9999\"", false, false, false, false},
        {"Error:Printer halted. kill() called!", false, true, true, false},
        {"!! Shutdown due to MCU error", false, true, true, false},
        {"Error:Homing Failed", false, true, false, false},
        {"Error: Missing checksum", false, true, false, true},
        {"Error:No Line Number with checksum, Last Line: 0", false, true, false, true},
        {"error:20", false, true, false, false},
        {"ok", false, false, false, false},
    };
    for (const auto& l : lines) {
        const std::string_view line = l.line;
        EXPECT_EQ(IsBusyLine(line), l.busy) << l.line;
        EXPECT_EQ(IsErrorLine(line), l.error) << l.line;
        EXPECT_EQ(IsHaltLine(line), l.halt) << l.line;
        EXPECT_EQ(IsErrorLine(line) && AsksForChecksums(line), l.checksums) << l.line;
    }
}

TEST(ReplyGrammar, SubstringsClampLikeTheValueCutNeeds)
{
    const std::string_view s = "abcdef";
    EXPECT_EQ(MidClamped(s, -3, 2), "ab");
    EXPECT_EQ(MidClamped(s, 2, -1), "");
    EXPECT_EQ(MidClamped(s, 4, 10), "ef");
    EXPECT_EQ(MidClamped(s, 6, 1), "");
    EXPECT_EQ(MidClamped(s, 9, 1), "");
}

} // namespace
