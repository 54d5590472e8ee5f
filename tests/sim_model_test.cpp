// The simulated controller's interpreter, texts and command line, without a pseudo-terminal:
// literal G-code in, the controller's literal answers out, time passed in by hand.
#include "sim/ReplyScheduler.h"
#include "sim/SimArgs.h"
#include "sim/SimText.h"
#include "sim/StageModel.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace sim;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Converse(CStageModel& model, const std::vector<std::string>& lines, Clock::time_point now)
{
    std::vector<std::string> out;
    for (const auto& line : lines)
        for (auto& reply : model.Execute(line, now).lines)
            out.push_back(reply);
    return out;
}

struct SConversation {
    const char* name;
    std::vector<std::string> sent;
    std::string lastReply;   // the last non-"ok" line of the conversation's answers
};

} // namespace

TEST(SimModel, EachCommandIsAnsweredLikeTheFirmware)
{
    const Clock::time_point t0{};
    const std::vector<SConversation> cases = {
        {"handshake", {"M105"}, "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0"},
        {"report at power-up", {"M114"}, "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0"},
        {"absolute move", {"G21", "G90", "G0 X10 Y20 Z5 F3000", "M114"}, "X:10.00 Y:20.00 Z:5.00 E:0.00 Count X:800 Y:1600 Z:2000"},
        {"relative steps add up", {"G91", "G0 X1.5", "G0 X1.5 Y-0.25", "G1 Z3", "M114"}, "X:3.00 Y:0.00 Z:3.00 E:0.00 Count X:240 Y:0 Z:1200"},
        {"back to absolute", {"G91", "G0 X5", "G90", "G0 Y7", "M114"}, "X:5.00 Y:7.00 Z:0.00 E:0.00 Count X:400 Y:560 Z:0"},
        {"clamped at the far end", {"G0 X1000 Y300.5 Z200.01", "M114"}, "X:300.00 Y:300.00 Z:200.00 E:0.00 Count X:24000 Y:24000 Z:80000"},
        {"clamped at zero", {"G0 X-5 Y-0.001 Z-1e3", "M114"}, "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0"},
        {"relative clamp", {"G0 X290", "G91", "G0 X20", "G0 Y-4", "M114"}, "X:300.00 Y:0.00 Z:0.00 E:0.00 Count X:24000 Y:0 Z:0"},
        {"home all", {"G0 X10 Y20 Z30", "G28", "M114"}, "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0"},
        {"home one axis", {"G0 X10 Y20 Z30", "G28 Z", "M114"}, "X:10.00 Y:20.00 Z:0.00 E:0.00 Count X:800 Y:1600 Z:0"},
        {"panel's home then rise", {"G28", "G0 Z55", "M114"}, "X:0.00 Y:0.00 Z:55.00 E:0.00 Count X:0 Y:0 Z:22000"},
        {"inches", {"G20", "G0 X1", "G21", "G0 Y1", "M114"}, "X:25.40 Y:1.00 Z:0.00 E:0.00 Count X:2032 Y:80 Z:0"},
        {"packed words, lower case, plus sign", {"G0X+12.5y4", "M114"}, "X:12.50 Y:4.00 Z:0.00 E:0.00 Count X:1000 Y:320 Z:0"},
        {"nonsense numbers leave the axis alone", {"G0 X5", "G0 Xnan Yinf Zabc", "M114"}, "X:5.00 Y:0.00 Z:0.00 E:0.00 Count X:400 Y:0 Z:0"},
        {"trailing comment and CR", {"G0 X7 ; to the left\r", "M114\r"}, "X:7.00 Y:0.00 Z:0.00 E:0.00 Count X:560 Y:0 Z:0"},
        {"unknown M code", {"M9999"}, "echo:Unknown command: \"M9999\""},
        {"unknown keeps its words", {"M9999 S1"}, "echo:Unknown command: \"M9999 S1\""},
        {"subcode is another command", {"G29.1"}, "echo:Unknown command: \"G29.1\""},
        {"not G-code at all", {"hello"}, "echo:Unknown command: \"hello\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CStageModel model({.speedFactor = 0});
        const auto replies = Converse(model, c.sent, t0);
        // Every line ends in "ok", M105's own "ok T:" being its acknowledgement.
        size_t oks = 0;
        for (const auto& r : replies)
            oks += r.rfind("ok", 0) == 0;
        EXPECT_EQ(oks, c.sent.size());
        ASSERT_FALSE(replies.empty());
        const std::string& last = replies.back() == "ok" ? replies[replies.size() - 2] : replies.back();
        EXPECT_EQ(last, c.lastReply);
    }
}

TEST(SimModel, BlankAndCommentLinesGetNoAnswer)
{
    CStageModel model;
    for (const char* line : {"", "   ", "\r", "; just a note", "  ;G0 X5"}) {
        const SReply r = model.Execute(line, Clock::time_point{});
        EXPECT_FALSE(r.answered) << '"' << line << '"';
        EXPECT_TRUE(r.lines.empty());
    }
    EXPECT_EQ(model.Target()[0], 0.0);
}

TEST(SimModel, FaultsChangeTheHandshakeAndTheReport)
{
    CStageModel model({.noHandshake = true, .noEField = true, .speedFactor = 0});
    EXPECT_EQ(Converse(model, {"M105"}, {}), std::vector<std::string>{"ok"});
    EXPECT_EQ(Converse(model, {"G0 X1 Y2 Z3", "M114"}, {}),
              (std::vector<std::string>{"ok", "X:1.00 Y:2.00 Z:3.00 Count X:80 Y:160 Z:1200", "ok"}));
    CStageModel silent({.noReports = true, .speedFactor = 0});
    EXPECT_EQ(Converse(silent, {"M105", "M114"}, {}),
              (std::vector<std::string>{"ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0", "ok"}));
}

// The model clamps like firmware does, and says which commanded targets lay outside.
TEST(SimModel, MovesOutsideTheEnvelopeAreMarked)
{
    const struct {
        std::vector<std::string> before;
        const char* move;
        bool outside;
    } cases[] = {
        {{}, "G0 X300 Y300 Z200", false},  {{}, "G0 X300.01", true},     {{}, "G0 Z-0.01", true},
        {{"G0 X299", "G91"}, "G0 X1", false}, {{"G0 X299", "G91"}, "G0 X1.5", true}, {{}, "G0 Y1e9", true},
        {{}, "G28", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.move);
        CStageModel model({.speedFactor = 0});
        Converse(model, c.before, {});
        EXPECT_EQ(model.Execute(c.move, {}).outsideEnvelope, c.outside);
    }
}

TEST(SimModel, MoveTakesDistanceOverFeedAndReportsTheTargetAtOnce)
{
    const Clock::time_point t0 = Clock::now();
    CStageModel model({.speedFactor = 1.0});
    // 30 mm at 600 mm/min: 3 s.
    model.Execute("G0 X30 F600", t0);
    EXPECT_EQ(model.IdleAt() - t0, 3s);
    EXPECT_EQ(model.PositionReport(t0 + 1s), "X:30.00 Y:0.00 Z:0.00 E:0.00 Count X:800 Y:0 Z:0");
    EXPECT_DOUBLE_EQ(model.Actual(t0 + 1500ms)[0], 15.0);
    EXPECT_DOUBLE_EQ(model.Actual(t0 + 5s)[0], 30.0);

    // A second move queues behind the first, at the sticky feed rate.
    model.Execute("G0 X0 Y40", t0 + 1s);
    EXPECT_EQ(model.IdleAt() - t0, 8s);
    EXPECT_DOUBLE_EQ(model.Actual(t0 + 2s)[0], 20.0);
    EXPECT_DOUBLE_EQ(model.Actual(t0 + 3s)[1], 0.0);
    EXPECT_DOUBLE_EQ(model.Actual(t0 + 5500ms)[0], 15.0);
    EXPECT_DOUBLE_EQ(model.Actual(t0 + 5500ms)[1], 20.0);

    // G28 waits for the queue and answers only when homed; M400 only waits.
    const SReply home = model.Execute("G28", t0 + 2s);
    EXPECT_EQ(home.doneAt, model.IdleAt());
    EXPECT_GT(home.doneAt, t0 + 8s);
    EXPECT_EQ(model.Execute("M400", t0 + 2s).doneAt, model.IdleAt());
    EXPECT_EQ(model.Execute("M400", t0 + 60s).doneAt, t0 + 60s);

    // speedFactor scales; SetPosition jumps without motion.
    CStageModel fast({.speedFactor = 0.5});
    fast.Execute("G1 Z10 F60", t0);
    EXPECT_EQ(fast.IdleAt() - t0, 5s);
    fast.SetPosition({1, 2, 3});
    EXPECT_EQ(fast.Actual(t0), (Axes{1, 2, 3}));
    EXPECT_LT(fast.IdleAt(), t0);
}

TEST(SimText, NumbersUseADecimalPointInAnyLocale)
{
    // Qt puts the process into the operator's locale; a comma here would move the stage elsewhere.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
        std::setlocale(LC_ALL, name);
        EXPECT_EQ(FormatFixed(12.5, 2), "12.50");
        EXPECT_EQ(FormatFixed(-0.0, 2), "0.00");
        EXPECT_EQ(FormatFixed(1.005, 3), "1.005");
        CStageModel model({.speedFactor = 0});
        EXPECT_EQ(Converse(model, {"G0 X12.5", "M114"}, {})[1], "X:12.50 Y:0.00 Z:0.00 E:0.00 Count X:1000 Y:0 Z:0");
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(SimText, FloodNoiseAndBanner)
{
    for (size_t n : {1u, 5u, 63u, 64u, 2047u, 2048u, 10000u}) {
        const std::string flood = FloodText(n, "\r\n");
        EXPECT_EQ(flood.size(), n);
        EXPECT_EQ(flood.back(), '\n');
        EXPECT_EQ(flood.find("X:"), std::string::npos);
        EXPECT_EQ(flood.find("ok"), std::string::npos);
    }
    std::uint32_t seed = 1, again = 1;
    for (int i = 0; i < 200; ++i) {
        const std::string noise = NoiseBytes(seed);
        ASSERT_GE(noise.size(), 1u);
        ASSERT_LE(noise.size(), 8u);
        for (const char c : noise) {
            ASSERT_NE(c, '\0');
            ASSERT_NE(c, '\n');
            ASSERT_NE(c, ':');
            ASSERT_FALSE(std::isalnum(static_cast<unsigned char>(c)));
        }
        ASSERT_EQ(noise, NoiseBytes(again)) << "the same seed must give the same noise";
    }
    const auto banner = BannerLines();
    EXPECT_EQ(banner.front(), "start");
    for (const auto& line : banner) {
        EXPECT_NE(line.rfind("ok", 0), 0u);
        EXPECT_TRUE(line == "start" || line.rfind("echo:", 0) == 0) << line;
    }
}

TEST(SimText, LinesAreCutAtLineFeedsAcrossReads)
{
    CLineSplitter splitter;
    EXPECT_TRUE(splitter.Feed("G0 X").empty());
    EXPECT_EQ(splitter.Feed("1\nM11"), std::vector<std::string>{"G0 X1"});
    EXPECT_EQ(splitter.Feed("4\r\n\nM105\n"), (std::vector<std::string>{"M114\r", "", "M105"}));
    EXPECT_EQ(splitter.Pending(), "");
    EXPECT_EQ(FormatTranscriptEntry(1.23456, "M114\r\\\x01\xff"), "1.235\tM114\\r\\\\\\x01\\xFF\n");
}

TEST(SimArgs, FlagsBecomeOptions)
{
    SSimArgs a;
    std::string error;
    ASSERT_TRUE(ParseSimArgs({"--no-handshake", "--no-e", "--delay", "250", "--chunk=3", "--chunk-pause", "20",
                              "--flood", "5000", "--noise", "--crlf", "--late-handshake", "1500", "--vanish-after=4",
                              "--no-banner", "--speed", "0.25", "--com", "7", "--ports-dir", "/tmp/p", "--transcript", "t.txt"},
                             a, error))
        << error;
    const SSimOptions& o = a.options;
    EXPECT_TRUE(o.noHandshake && o.noEField && o.noise && o.crlf && !o.banner && !a.help);
    EXPECT_EQ(o.replyDelayMs, 250);
    EXPECT_EQ(o.chunkSize, 3);
    EXPECT_EQ(o.chunkPauseMs, 20);
    EXPECT_EQ(o.floodBytes, 5000u);
    EXPECT_EQ(o.lateHandshakeMs, 1500);
    EXPECT_EQ(o.vanishAfterLines, 4);
    EXPECT_DOUBLE_EQ(o.speedFactor, 0.25);
    EXPECT_EQ(o.comNumber, 7);
    EXPECT_EQ(o.portsDir, "/tmp/p");
    EXPECT_EQ(o.transcriptFile, "t.txt");

    SSimArgs defaults;
    ASSERT_TRUE(ParseSimArgs({}, defaults, error));
    EXPECT_TRUE(defaults.options.banner);
    EXPECT_EQ(defaults.options.lateHandshakeMs, -1);
    EXPECT_EQ(defaults.options.vanishAfterLines, -1);

    const std::vector<std::vector<std::string>> bad = {
        {"--delay"}, {"--delay", "-1"}, {"--delay", "1,5"}, {"--com", "0"}, {"--com", "17"}, {"--chunk", "0"},
        {"--speed", "-1"}, {"--speed", "nan"}, {"--flood", "x"}, {"--bogus"}, {"--noise=1"}, {"--ports-dir", ""},
    };
    for (const auto& args : bad) {
        SSimArgs ignored;
        error.clear();
        EXPECT_FALSE(ParseSimArgs(args, ignored, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

namespace {

// The scheduler driven by hand: lines arrive and time passes only when the test says so.
struct CScheduleRig {
    explicit CScheduleRig(SScheduleOptions options, double speedFactor = 0) : replies(options), model({.speedFactor = speedFactor}) {}
    void Arrive(const std::string& lines, Clock::duration at)
    {
        for (size_t start = 0, eol; (eol = lines.find('\n', start)) != std::string::npos; start = eol + 1)
            replies.Queue(lines.substr(start, eol - start), t0 + at);
    }
    // Everything written by `at`, ignoring chunk pauses unless `pieces` collects the single writes.
    std::string Until(Clock::duration at, std::vector<std::string>* pieces = nullptr)
    {
        replies.Advance(t0 + at, [this](const std::string& line, Clock::time_point now) {
            taken.push_back(now - t0);
            return model.Execute(line, now);
        });
        std::string text;
        for (std::string_view piece; !(piece = replies.Writable(t0 + at)).empty();) {
            text += piece;
            if (pieces)
                pieces->emplace_back(piece);
            replies.Written(piece.size(), t0 + at);
        }
        return text;
    }
    const Clock::time_point t0 = Clock::now();
    CReplyScheduler replies;
    CStageModel model;
    std::vector<Clock::duration> taken;   // when each line was answered, after t0
};

} // namespace

TEST(SimSchedule, DelayedLinesAreAnsweredOneAfterTheOther)
{
    CScheduleRig rig({.replyDelayMs = 100});
    rig.Arrive("G21\nG90\n", 0ms);
    rig.Arrive("M105\n", 250ms);
    EXPECT_EQ(rig.Until(99ms), "");
    EXPECT_EQ(rig.Until(150ms), "ok\n");
    EXPECT_EQ(rig.Until(1s), "ok\nok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\n");
    EXPECT_EQ(rig.taken, (std::vector<Clock::duration>{100ms, 200ms, 350ms}));
}

TEST(SimSchedule, LateHandshakeIsOvertakenByLaterLines)
{
    CScheduleRig rig({.lateHandshakeMs = 300});
    rig.Arrive("M105\nG21\n", 0ms);
    rig.Arrive("M114\n", 200ms);
    rig.Arrive("G90\n", 400ms);
    EXPECT_EQ(rig.Until(1s), "ok\nX:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\nok\nok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\nok\n");
    ASSERT_EQ(rig.replies.NextDeadline(), std::nullopt);
}

TEST(SimSchedule, HomingBlocksWithBusyNoticesAndAnswersWhenDone)
{
    CScheduleRig rig({}, 1.0);
    rig.model.SetPosition({300, 0, 0});   // 300 mm at the homing rate: 3 s
    rig.Arrive("G28\nM114\n", 0ms);
    EXPECT_EQ(rig.Until(1s), "");
    EXPECT_EQ(*rig.replies.NextDeadline() - rig.t0, 2s);
    EXPECT_EQ(rig.Until(2s), "echo:busy: processing\n");
    EXPECT_EQ(rig.Until(10s), "ok\nX:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0\nok\n");
    EXPECT_EQ(rig.taken, (std::vector<Clock::duration>{0ms, 3s}));
}

TEST(SimSchedule, ChunksFloodNoiseAndLineEnds)
{
    CScheduleRig chunks({.chunkSize = 4, .chunkPauseMs = 30});
    chunks.Arrive("M9999\n", 0ms);
    std::vector<std::string> pieces;
    EXPECT_EQ(chunks.Until(0ms, &pieces), "echo");
    EXPECT_EQ(chunks.Until(29ms, &pieces), "");
    EXPECT_EQ(*chunks.replies.NextDeadline() - chunks.t0, 30ms);
    EXPECT_EQ(chunks.Until(30ms, &pieces), ":Unk");
    for (auto t = 60ms; t < 1s; t += 30ms)
        chunks.Until(t, &pieces);
    std::string whole;
    for (const auto& p : pieces) {
        EXPECT_LE(p.size(), 4u);
        whole += p;
    }
    EXPECT_EQ(whole, "echo:Unknown command: \"M9999\"\nok\n");

    // The flood waits for the first answered line (not a blank one) and comes only once.
    CScheduleRig flood({.floodBytes = 100, .crlf = true});
    flood.Arrive("\nM105\nM105\n", 0ms);
    EXPECT_EQ(flood.Until(0ms), FloodText(100, "\r\n") + "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\r\nok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\r\n");

    CScheduleRig noisy({.noise = true});
    noisy.replies.SendLines({"start"});
    noisy.Arrive("G21\n", 0ms);
    CLineSplitter splitter;
    const auto lines = splitter.Feed(noisy.Until(0ms));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "start");
    EXPECT_EQ(lines[2], "ok");
    EXPECT_TRUE(!lines[1].empty() && !lines[3].empty() && lines[1].find_first_of("ok") == std::string::npos);
}
