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

// `answer`: the answer to the last line sent; `outside`: a commanded target lay outside the
// envelope (and was clamped). Blank and comment lines are not answered (sim_simulator_test).
// In a locale with a decimal comma, as Qt may set it: a comma here would move the stage elsewhere.
TEST(SimModel, EachCommandIsAnsweredLikeTheFirmware)
{
    const struct {
        SModelOptions options;
        Lines sent;
        Lines answer;
        bool outside;
    } cases[] = {
        {{}, {"M105"}, {"ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0"}, false},
        {{.noHandshake = true}, {"M105"}, {"ok"}, false},
        {{.handshakeReply = "ok\nT:21.30/ 0.00 B:21.30/ 0.00 @:64"}, {"M105"}, {"ok", "T:21.30/ 0.00 B:21.30/ 0.00 @:64"}, false},
        {{.handshakeReply = "Error: Missing checksum"}, {"M105"}, {"Error: Missing checksum"}, false},
        {{.noReports = true}, {"G0 X1", "M114"}, {"ok"}, false},
        {{}, {"G21", "G90", "G0 X10 Y20 Z5 F3000", "M114"}, {"X:10.00 Y:20.00 Z:5.00 E:0.00 Count X:800 Y:1600 Z:2000", "ok"}, false},
        {{}, {"G91", "G0 X1.5", "G0 X1.5 Y-0.25", "G1 Z3", "M114"}, {"X:3.00 Y:0.00 Z:3.00 E:0.00 Count X:240 Y:0 Z:1200", "ok"}, true},
        {{}, {"G0 X300 Y300 Z200", "G91", "G0 X0", "M114"}, {"X:300.00 Y:300.00 Z:200.00 E:0.00 Count X:24000 Y:24000 Z:80000", "ok"}, false},
        {{}, {"G0 X1000 Y300.5 Z200.01", "M114"}, {"X:300.00 Y:300.00 Z:200.00 E:0.00 Count X:24000 Y:24000 Z:80000", "ok"}, true},
        {{}, {"G0 X-0 Y-0.001 Z-1e3", "M114"}, {"X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok"}, true},
        {{}, {"G0 X10 Y20 Z30", "G28", "M114"}, {"X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok"}, false},
        {{}, {"G0 X10 Y20 Z30", "G28 Z", "M114"}, {"X:10.00 Y:20.00 Z:0.00 E:0.00 Count X:800 Y:1600 Z:0", "ok"}, false},
        {{}, {"G20", "G0 X1", "G21", "G0 Y1", "M114"}, {"X:25.40 Y:1.00 Z:0.00 E:0.00 Count X:2032 Y:80 Z:0", "ok"}, false},
        {{}, {"G0X+12.5y4", "M114"}, {"X:12.50 Y:4.00 Z:0.00 E:0.00 Count X:1000 Y:320 Z:0", "ok"}, false},
        {{}, {"G0 X5", "G0 Xnan Yinf Zabc", "M114"}, {"X:5.00 Y:0.00 Z:0.00 E:0.00 Count X:400 Y:0 Z:0", "ok"}, false},
        {{}, {"G0 X7 ; to the left\r", "  ;G0 X5", "", "M114\r"}, {"X:7.00 Y:0.00 Z:0.00 E:0.00 Count X:560 Y:0 Z:0", "ok"}, false},
        {{}, {"M9999 S1"}, {"echo:Unknown command: \"M9999 S1\"", "ok"}, false},
        {{}, {"G29.1"}, {"echo:Unknown command: \"G29.1\"", "ok"}, false},
    };
    const std::string savedLocale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sent));
        SModelOptions options = c.options;
        options.speedFactor = 0;
        CStageModel model(options);
        Lines answer;
        bool outside = false;
        for (const auto& line : c.sent) {
            const SReply reply = model.Execute(line, {});
            outside = outside || reply.outsideEnvelope;
            answer = reply.lines.empty() ? answer : reply.lines;
        }
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(outside, c.outside);
    }
    std::setlocale(LC_ALL, savedLocale.c_str());
}

// How long the planned motion lasts after `sent` from `from`: every axis at the feed capped at its
// own limit, the move as long as its slowest axis; homing one axis after the other at its homing
// speed. `blocks`: the last line answers only when the motion ends (G28, M400).
TEST(SimModel, MotionTakesTheTimeOfItsSlowestAxis)
{
    const struct {
        SModelOptions options;
        Axes from;
        Lines sent;
        Clock::duration lasts;
        bool blocks;
    } cases[] = {
        {{}, {}, {"G0 X30 F600"}, 3s, false},
        {{}, {}, {"G0 X30 Y40 F600"}, 4s, false},
        {{}, {}, {"G1 Z10 F3000"}, 2s, false},                      // Z is capped at 5 mm/s
        {{}, {}, {"G0 X300 F60000"}, 1s, false},                    // X at 300 mm/s
        {{}, {}, {"G0 X30 F600", "G0 X0 Y40", "M400"}, 7s, true},   // queued, at the sticky feed
        {{}, {100, 80, 12}, {"G28"}, 6600ms, true},                  // 2 s + 1.6 s + 3 s
        {{}, {100, 80, 12}, {"G28 Z"}, 3s, true},
        {{}, {100, 80, 12}, {"G0 X0 F600", "G28"}, 14600ms, true},   // homes once the move has ended
        {{.homingMmPerSec = {10, 20, 1}}, {10, 20, 1}, {"G28", "G0 Z2 F600"}, 3400ms, false},
        {{.speedFactor = 0.5}, {100, 80, 12}, {"G28"}, 3300ms, true},
        {{.speedFactor = 0}, {100, 80, 12}, {"G28", "G0 X300 Z200"}, 0s, false},
    };
    const Clock::time_point t0 = Clock::now();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sent));
        CStageModel model(c.options);
        model.SetPosition(c.from);
        SReply reply;
        for (const auto& line : c.sent)
            reply = model.Execute(line, t0);
        EXPECT_EQ(std::max(model.IdleAt(), t0) - t0, c.lasts);
        EXPECT_EQ(reply.doneAt, c.blocks ? model.IdleAt() : t0);
    }

    // M114 reports the target at once; Count tells where the stage is. Homing runs X, then Y, then Z.
    CStageModel model;
    model.SetPosition({100, 80, 12});
    model.Execute("G28", t0);
    EXPECT_EQ(model.PositionReport(t0 + 2800ms), "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:3200 Z:4800");
    model.Stop(t0 + 5100ms);   // a halt: the stage stays where it got to
    EXPECT_EQ(model.PositionReport(t0 + 9s), "X:0.00 Y:0.00 Z:6.00 E:0.00 Count X:0 Y:0 Z:2400");
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
                              "0.25", "--com", "7", "--ports-dir", "/tmp/p", "--transcript", "t.txt", "--homing-speeds", "10,20,2.5",
                              "--max-feed=100,100,4", "--start-at", "100,80,12", "--no-busy", "--busy-every", "500", "--halt-after",
                              "2.5", "--silent-after", "0", "--handshake", "ok\\nT:21.30/ 0.00"},
                             a, error))
        << error;
    const SSimOptions& o = a.options;
    EXPECT_TRUE(o.noHandshake && o.noEField && o.noise && o.crlf && !o.banner && !a.help);
    EXPECT_EQ(std::tie(o.replyDelayMs, o.chunkSize, o.chunkPauseMs, o.floodBytes, o.lateHandshakeMs, o.vanishAfterLines,
                       o.speedFactor, o.comNumber, o.portsDir, o.transcriptFile),
              std::make_tuple(250, 3, 20, 5000u, 1500, 4, 0.25, 7, "/tmp/p", "t.txt"));
    EXPECT_EQ(std::tie(o.homingMmPerSec, o.maxFeedMmPerSec, o.startPosition, o.busyNotices, o.busyEveryMs, o.haltAfterMs,
                       o.silentAfterMs, o.handshakeReply),
              std::make_tuple(Axes{10, 20, 2.5}, Axes{100, 100, 4}, Axes{100, 80, 12}, false, 500, 2500, 0, "ok\nT:21.30/ 0.00"));
    for (const Lines& bad : std::vector<Lines>{{"--delay"}, {"--delay", "-1"}, {"--delay", "1,5"}, {"--com", "0"}, {"--com", "17"},
                                               {"--chunk", "0"}, {"--speed", "-1"}, {"--speed", "nan"}, {"--flood", "x"},
                                               {"--bogus"}, {"--noise=1"}, {"--ports-dir", ""}, {"--start-at", "1,2"},
                                               {"--start-at", "0,0,201"}, {"--max-feed", "1,2,3,4"}, {"--homing-speeds", "0,1,1"},
                                               {"--halt-after", "-1"}, {"--no-busy=1"}, {"--handshake", ""}})
        EXPECT_FALSE(ParseSimArgs(bad, a, error = {}) || error.empty()) << bad[0];
}

namespace {

// Lets what is due by `now` fall due and takes every byte that may be written then.
std::string Drain(CReplyScheduler& replies, CStageModel& model, Clock::time_point now)
{
    replies.Advance(now, [&model](const std::string& line, Clock::time_point at, std::uint64_t) { return model.Execute(line, at); });
    std::string written;
    for (std::string_view piece; !(piece = replies.Writable(now)).empty(); replies.Written(piece.size(), now))
        written += piece;
    return written;
}

} // namespace

// Lines arrive at given times; `writes` says what has been written by when. The serving loop sleeps
// until NextDeadline(), so that must never lie beyond the next write.
TEST(SimSchedule, AnswersLeaveWhenTheirTimeHasCome)
{
    using Timed = std::vector<std::pair<Clock::duration, std::string>>;
    const std::string hs = "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0";
    const std::string report = "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\n";
    const std::string busy = "echo:busy: processing\n", halt = "Error:Printer halted. kill() called!\n";
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
        // Homing (here 300 mm at 50 mm/s, after a 1 s move) blocks the line, with busy notices, and
        // answers when done; the position query waits behind it.
        {{}, {{0ms, "G0 X300 F18000\nG28\nM114\n"}},
         {{1s, "ok\n"}, {2s, busy}, {6s, busy + busy}, {6999ms, ""}, {7s, "ok\n" + report + "ok\n"}}},
        {{.busyNotices = false}, {{0ms, "G0 X300 F18000\nG28\nM114\n"}}, {{6999ms, "ok\n"}, {7s, "ok\n" + report + "ok\n"}}},
        {{.busyEveryMs = 3000}, {{0ms, "G0 X300 F18000\nG28\n"}}, {{5999ms, "ok\n" + busy}, {6s, busy}, {7s, "ok\n"}}},
        // A halt loses what was owed and ends all speech; a silent controller takes up nothing more.
        {{.haltAfterMs = 1500}, {{0ms, "G0 X300 F18000\nG28\n"}, {1s, "M114\n"}, {2s, "M105\n"}},
         {{1499ms, "ok\n"}, {1500ms, halt}, {1h, ""}}},
        {{.silentAfterMs = 1000}, {{0ms, "M105\n"}, {1s, "M114\n"}}, {{999ms, hs + "\n"}, {1h, ""}}},
        // Everything goes out in pieces, with a pause after each.
        {{.chunkSize = 4, .chunkPauseMs = 30}, {{0ms, "M9999\n"}}, {{0ms, "echo"}, {29ms, ""}, {30ms, ":Unk"}}},
        // The flood waits for the first answered line (not a blank one) and comes only once.
        {{.floodBytes = 100, .crlf = true}, {{0ms, "\nM105\nM105\n"}}, {{0ms, FloodText(100, "\r\n") + hs + "\r\n" + hs + "\r\n"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arrivals[0].second);
        const Clock::time_point t0 = Clock::now();
        CReplyScheduler replies(c.options, t0);
        CStageModel model;
        for (const auto& [at, text] : c.arrivals)
            for (auto& line : CLineSplitter().Feed(text))
                replies.Queue(line, t0 + at);
        for (size_t i = 0; i < c.writes.size(); ++i) {
            const auto& [at, text] = c.writes[i];
            const auto deadline = replies.NextDeadline().value_or(Clock::time_point::max());
            EXPECT_TRUE(i == 0 || text.empty() || deadline <= t0 + at);
            EXPECT_EQ(Drain(replies, model, t0 + at), text) << "by " << at.count() << " ns";
        }
    }
}

// Silence loses what falls due during it and the lines that arrive meanwhile, for good; a halt lasts
// until the board reboots.
TEST(SimSchedule, SilenceAndHaltOnDemand)
{
    const Clock::time_point t0 = Clock::now();
    const std::string report = "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\n";
    const std::string busy = "echo:busy: processing\n";
    CReplyScheduler replies;
    CStageModel model;
    replies.Queue("G0 X300 F18000", t0);   // 1 s, then homing for 6 s: done at 7 s
    replies.Queue("G28", t0);
    EXPECT_EQ(Drain(replies, model, t0), "ok\n");
    replies.SetSilent(true);
    replies.Queue("M105", t0 + 1s);
    EXPECT_EQ(Drain(replies, model, t0 + 5s), "");
    replies.SetSilent(false);
    replies.Queue("M114", t0 + 5s);
    EXPECT_EQ(Drain(replies, model, t0 + 7s), busy + "ok\n" + report + "ok\n");

    replies.Halt();
    replies.Queue("M105", t0 + 8s);
    EXPECT_EQ(Drain(replies, model, t0 + 1h), "Error:Printer halted. kill() called!\n");
    replies.SetSilent(false);
    replies.Queue("M105", t0 + 1h);
    EXPECT_EQ(Drain(replies, model, t0 + 2h), "");
    replies.Reset();
    replies.Queue("M105", t0 + 2h);
    EXPECT_EQ(Drain(replies, model, t0 + 2h), "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\n");
}
