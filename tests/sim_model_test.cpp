// The simulated controller's interpreter, scheduler, texts and command line, without a
// pseudo-terminal: literal G-code in, the controller's literal answers out, time passed in by hand.
#include "sim/ReplyScheduler.h"
#include "sim/SimArgs.h"
#include "sim/SimText.h"
#include "sim/StageModel.h"

#include <gtest/gtest.h>

#include <clocale>
#include <tuple>

using namespace sim;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// `last`: the last answer line other than "ok" ("ok" if none); `outside`: a commanded target lay
// outside the envelope (and was clamped). Blank and comment lines are not answered (sim_simulator_test).
// In a locale with a decimal comma, as Qt may set it: a comma here would move the stage elsewhere.
TEST(SimModel, EachCommandIsAnsweredLikeTheFirmware)
{
    const struct {
        SModelOptions options;
        Lines sent;
        std::string last;
        bool outside;
    } cases[] = {
        {{}, {"M105"}, "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0", false},
        {{.noReports = true}, {"G0 X1", "M114"}, "ok", false},
        {{}, {"G21", "G90", "G0 X10 Y20 Z5 F3000", "M114"}, "X:10.00 Y:20.00 Z:5.00 E:0.00 Count X:800 Y:1600 Z:2000", false},
        {{}, {"G91", "G0 X1.5", "G0 X1.5 Y-0.25", "G1 Z3", "M114"}, "X:3.00 Y:0.00 Z:3.00 E:0.00 Count X:240 Y:0 Z:1200", true},
        {{}, {"G0 X300 Y300 Z200", "G91", "G0 X0", "M114"}, "X:300.00 Y:300.00 Z:200.00 E:0.00 Count X:24000 Y:24000 Z:80000", false},
        {{}, {"G0 X1000 Y300.5 Z200.01", "M114"}, "X:300.00 Y:300.00 Z:200.00 E:0.00 Count X:24000 Y:24000 Z:80000", true},
        {{}, {"G0 X-0 Y-0.001 Z-1e3", "M114"}, "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", true},
        {{}, {"G0 X10 Y20 Z30", "G28", "M114"}, "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", false},
        {{}, {"G0 X10 Y20 Z30", "G28 Z", "M114"}, "X:10.00 Y:20.00 Z:0.00 E:0.00 Count X:800 Y:1600 Z:0", false},
        {{}, {"G20", "G0 X1", "G21", "G0 Y1", "M114"}, "X:25.40 Y:1.00 Z:0.00 E:0.00 Count X:2032 Y:80 Z:0", false},
        {{}, {"G0X+12.5y4", "M114"}, "X:12.50 Y:4.00 Z:0.00 E:0.00 Count X:1000 Y:320 Z:0", false},
        {{}, {"G0 X5", "G0 Xnan Yinf Zabc", "M114"}, "X:5.00 Y:0.00 Z:0.00 E:0.00 Count X:400 Y:0 Z:0", false},
        {{}, {"G0 X7 ; to the left\r", "  ;G0 X5", "", "M114\r"}, "X:7.00 Y:0.00 Z:0.00 E:0.00 Count X:560 Y:0 Z:0", false},
        {{}, {"M9999 S1"}, "echo:Unknown command: \"M9999 S1\"", false},
        {{}, {"G29.1"}, "echo:Unknown command: \"G29.1\"", false},
    };
    const std::string savedLocale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sent));
        SModelOptions options = c.options;
        options.speedFactor = 0;
        CStageModel model(options);
        std::string last = "ok";
        bool outside = false;
        for (const auto& line : c.sent) {
            const SReply reply = model.Execute(line, {});
            outside = outside || reply.outsideEnvelope;
            for (const auto& r : reply.lines)
                last = r == "ok" ? last : r;
        }
        EXPECT_EQ(last, c.last);
        EXPECT_EQ(outside, c.outside);
    }
    std::setlocale(LC_ALL, savedLocale.c_str());
}

TEST(SimModel, MoveTakesDistanceOverFeedAndReportsTheTargetAtOnce)
{
    const Clock::time_point t0 = Clock::now();
    CStageModel model;
    model.Execute("G0 X30 F600", t0);   // 30 mm at 600 mm/min: 3 s
    EXPECT_EQ(model.IdleAt() - t0, 3s);
    EXPECT_EQ(model.PositionReport(t0 + 1500ms), "X:30.00 Y:0.00 Z:0.00 E:0.00 Count X:1200 Y:0 Z:0");
    // A second move queues behind the first, at the sticky feed rate.
    model.Execute("G0 X0 Y40", t0 + 1s);
    EXPECT_EQ(model.IdleAt() - t0, 8s);
    EXPECT_EQ(model.Actual(t0 + 5500ms), (Axes{15, 20, 0}));
    // G28 waits for the queue and answers only when homed; M400 only waits.
    const SReply home = model.Execute("G28", t0 + 2s);
    EXPECT_GT(home.doneAt, t0 + 8s);
    EXPECT_EQ(home.doneAt, model.IdleAt());
    EXPECT_EQ(model.Execute("M400", t0 + 2s).doneAt, model.IdleAt());
    // speedFactor scales every move.
    CStageModel fast({.speedFactor = 0.5});
    fast.Execute("G1 Z10 F60", t0);
    EXPECT_EQ(fast.IdleAt() - t0, 5s);
}

// Neither a flood nor noise may hold anything the panel would take for an answer; noise follows
// every line sent.
TEST(SimText, FloodAndNoise)
{
    for (size_t n : {1u, 64u, 2048u, 10000u}) {
        const std::string flood = FloodText(n, "\r\n");
        EXPECT_EQ(flood.size(), n);
        EXPECT_EQ(flood.back(), '\n');
        EXPECT_TRUE(flood.find("X:") == std::string::npos && flood.find("ok") == std::string::npos);
    }
    std::uint32_t seed = 1, again = 1;
    for (int i = 0; i < 200; ++i) {
        const std::string noise = NoiseBytes(seed);
        ASSERT_TRUE(noise.size() >= 1 && noise.size() <= 8) << noise.size();
        for (const char c : noise)
            ASSERT_FALSE(c == '\0' || c == '\n' || c == ':' || std::isalnum(static_cast<unsigned char>(c))) << int(c);
        ASSERT_EQ(noise, NoiseBytes(again)) << "the same seed must give the same noise";
    }
    CReplyScheduler noisy({.noise = true});
    noisy.SendLines({"start", "ok"});
    const Lines lines = CLineSplitter().Feed(noisy.Writable({}));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[0] == "start" && lines[2] == "ok" && !lines[1].empty() && !lines[3].empty()) << testing::PrintToString(lines);
}

TEST(SimText, TranscriptEntriesEscapeWhatIsNotPrintable)
{
    EXPECT_EQ(FormatTranscriptEntry(1.23456, "M114\r\\\x01\xff"), "1.235\tM114\\r\\\\\\x01\\xFF\n");
}

TEST(SimArgs, FlagsBecomeOptions)
{
    SSimArgs a;
    std::string error;
    ASSERT_TRUE(ParseSimArgs({"--no-handshake", "--no-e", "--delay", "250", "--chunk=3", "--chunk-pause", "20", "--flood", "5000",
                              "--noise", "--crlf", "--late-handshake", "1500", "--vanish-after=4", "--no-banner", "--speed",
                              "0.25", "--com", "7", "--ports-dir", "/tmp/p", "--transcript", "t.txt"},
                             a, error))
        << error;
    const SSimOptions& o = a.options;
    EXPECT_TRUE(o.noHandshake && o.noEField && o.noise && o.crlf && !o.banner && !a.help);
    EXPECT_EQ(std::tie(o.replyDelayMs, o.chunkSize, o.chunkPauseMs, o.floodBytes, o.lateHandshakeMs, o.vanishAfterLines,
                       o.speedFactor, o.comNumber, o.portsDir, o.transcriptFile),
              std::make_tuple(250, 3, 20, 5000u, 1500, 4, 0.25, 7, "/tmp/p", "t.txt"));
    for (const Lines& bad : std::vector<Lines>{{"--delay"}, {"--delay", "-1"}, {"--delay", "1,5"}, {"--com", "0"}, {"--com", "17"},
                                               {"--chunk", "0"}, {"--speed", "-1"}, {"--speed", "nan"}, {"--flood", "x"},
                                               {"--bogus"}, {"--noise=1"}, {"--ports-dir", ""}})
        EXPECT_FALSE(ParseSimArgs(bad, a, error = {}) || error.empty()) << bad[0];
}

// Lines arrive at given times; `writes` says what has been written by when. The serving loop sleeps
// until NextDeadline(), so that must never lie beyond the next write.
TEST(SimSchedule, AnswersLeaveWhenTheirTimeHasCome)
{
    using Timed = std::vector<std::pair<Clock::duration, std::string>>;
    const std::string hs = "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0";
    const std::string report = "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\n";
    const struct {
        SScheduleOptions options;
        Timed arrivals, writes;
    } cases[] = {
        // Delayed lines are answered one after the other.
        {{.replyDelayMs = 100}, {{0ms, "G21\nG90\n"}, {250ms, "M105\n"}},
         {{99ms, ""}, {150ms, "ok\n"}, {300ms, "ok\n"}, {349ms, ""}, {350ms, hs + "\n"}}},
        // A late handshake is overtaken by later lines.
        {{.lateHandshakeMs = 300}, {{0ms, "M105\nG21\n"}, {200ms, "M114\n"}, {400ms, "G90\n"}},
         {{299ms, "ok\n" + report + "ok\n"}, {300ms, hs + "\n"}, {1s, "ok\n"}}},
        // Homing (here 300 mm after a 1 s move) blocks, with busy notices, and answers when done.
        {{}, {{0ms, "G0 X300 F18000\nG28\nM114\n"}},
         {{1s, "ok\n"}, {2s, "echo:busy: processing\n"}, {3999ms, ""}, {4s, "ok\n" + report + "ok\n"}}},
        // Everything goes out in pieces, with a pause after each.
        {{.chunkSize = 4, .chunkPauseMs = 30}, {{0ms, "M9999\n"}}, {{0ms, "echo"}, {29ms, ""}, {30ms, ":Unk"}}},
        // The flood waits for the first answered line (not a blank one) and comes only once.
        {{.floodBytes = 100, .crlf = true}, {{0ms, "\nM105\nM105\n"}}, {{0ms, FloodText(100, "\r\n") + hs + "\r\n" + hs + "\r\n"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arrivals[0].second);
        const Clock::time_point t0 = Clock::now();
        CReplyScheduler replies(c.options);
        CStageModel model;
        for (const auto& [at, text] : c.arrivals)
            for (auto& line : CLineSplitter().Feed(text))
                replies.Queue(line, t0 + at);
        for (size_t i = 0; i < c.writes.size(); ++i) {
            const auto& [at, text] = c.writes[i];
            const auto deadline = replies.NextDeadline().value_or(Clock::time_point::max());
            EXPECT_TRUE(i == 0 || text.empty() || deadline <= t0 + at);
            replies.Advance(t0 + at, [&model](const std::string& line, Clock::time_point now) { return model.Execute(line, now); });
            std::string written;
            for (std::string_view piece; !(piece = replies.Writable(t0 + at)).empty(); replies.Written(piece.size(), t0 + at))
                written += piece;
            EXPECT_EQ(written, text) << "by " << at.count() << " ns";
        }
    }
}
