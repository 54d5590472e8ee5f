// The stage session without a window or a port: literal controller text and operator actions in,
// the effects out, written the way an operator would watch them (the lines on the wire, the texts,
// the boxes, the settings).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/StageSession.h"

namespace {

std::string Name(EControl c)
{
    switch (c) {
    case EControl::ConnectButton: return "connect";
    case EControl::ConnectionText: return "state";
    case EControl::StatusButton: return "status";
    case EControl::Readout: return "readout";
    case EControl::StartPoint: return "start";
    case EControl::EndPoint: return "end";
    case EControl::Depth: return "depth";
    case EControl::XYDistance: return "xydist";
    case EControl::ZDistance: return "zdist";
    case EControl::XYSpeed: return "xyspeed";
    case EControl::ZSpeed: return "zspeed";
    case EControl::RetainCheck: return "retain";
    case EControl::OnTopCheck: return "ontop";
    case EControl::None: break;
    }
    return "?";
}

std::string Render(const SEffect& e)
{
    const std::string flag = e.flag ? " on" : " off";
    switch (e.kind) {
    case EEffect::SendLine: return "> " + e.text.substr(0, e.text.size() - 1);
    case EEffect::Pause: return "pause " + std::to_string(e.Number());
    case EEffect::OpenPort: return "open";
    case EEffect::PurgePort: return "purge";
    case EEffect::ClosePort: return "close";
    case EEffect::ListPorts: return "list ports";
    case EEffect::SetText: return Name(e.control) + ": " + e.text;
    case EEffect::Check: return "check " + Name(e.control) + flag;
    case EEffect::ConnectedLook: return "look" + flag;
    case EEffect::MotionControls: return "motion" + flag;
    case EEffect::StatusButton: return "status icon" + flag;
    case EEffect::ReadoutLive: return "live" + flag;
    case EEffect::Thumbs:
        return "thumbs " + std::to_string(e.numbers[0]) + " " + std::to_string(e.numbers[1]) + " " +
               std::to_string(e.numbers[2]);
    case EEffect::Thumb: return "thumb " + std::to_string(e.axis) + " " + std::to_string(e.Number());
    case EEffect::Box: return "box [" + e.caption + "] " + e.text;
    case EEffect::Trace: return "trace " + e.text;
    case EEffect::Store: return "store [" + e.caption + "] " + e.key + "=" + e.text;
    case EEffect::StartTimer: return "timer on";
    case EEffect::StopTimer: return "timer off";
    case EEffect::TopMost: return "on top" + flag;
    case EEffect::ToggleExpander: return "expander";
    case EEffect::CloseWindow: return "close window";
    }
    return "?";
}

using Lines = std::vector<std::string>;

// A session with System.cfg and the jog boxes as plain maps, and a clock the test moves.
struct SBench {
    std::map<std::string, std::string> settings;   // "Section/Key"
    std::map<EControl, std::string> boxes = {{EControl::XYDistance, "1.0"},
                                             {EControl::ZDistance, "1.0"},
                                             {EControl::XYSpeed, "5000 (Default)"},
                                             {EControl::ZSpeed, "3000 (Default)"},
                                             {EControl::RetainCheck, "0"}};
    long long now = 1000;
    CStageSession session{{[this](std::string_view section, std::string_view key) {
                               const auto it = settings.find(std::string(section) + "/" + std::string(key));
                               return it == settings.end() ? std::string() : it->second;
                           },
                           [this](EControl c) { return boxes[c]; }, [this] { return now; }}};

    static Lines Rendered(const SEffects& effects)
    {
        Lines out;
        for (const SEffect& e : effects)
            out.push_back(Render(e));
        return out;
    }
    // Only the effects whose rendering starts with one of the prefixes.
    static Lines Only(const SEffects& effects, const Lines& prefixes)
    {
        Lines out;
        for (const std::string& r : Rendered(effects))
            for (const std::string& p : prefixes)
                if (r.rfind(p, 0) == 0) {
                    out.push_back(r);
                    break;
                }
        return out;
    }
    Lines Text(const std::string& text, int reads = 1) { return Rendered(session.Received({text, reads})); }

    // Connect, the handshake and the first report, as a controller that homes at once answers.
    void Connect()
    {
        session.ConnectPressed();
        session.LineReady(true, true);
        session.Received({"ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\n"});
        session.Received({"ok\nok\nok\nok\nX:0.00 Y:0.00 Z:55.00 E:0.00 Count X:0 Y:0 Z:0\nok\n"});
    }
};

const Lines kHomeLines = {"> G21", "> G91", "> G28", "> G0 Z55", "> M114", "pause 100", "> M114"};

TEST(StageSession, AConnectionAsTheOperatorGoesThroughIt)
{
    SBench b;
    EXPECT_EQ(SBench::Rendered(b.session.ConnectPressed()), (Lines{"connect: Connecting...", "timer on", "open"}));
    EXPECT_EQ(SBench::Rendered(b.session.LineReady(true, true)), (Lines{"check retain off", "> M105"}));
    EXPECT_EQ(b.session.ConnectPhase(), CONNECT_PHASE_CONNECTING);

    // A board that reboots as its port opens says "start" once it listens: it is asked at once.
    EXPECT_EQ(b.Text("start\n"), (Lines{"> M105"}));
    // The handshake reply cut in two: neither piece is one, and the next tick asks again.
    EXPECT_EQ(b.Text("o"), Lines{});
    EXPECT_EQ(b.Text("k T:25.0 /0.0\n"), Lines{});
    EXPECT_EQ(SBench::Rendered(b.session.Tick()), (Lines{"> M105"}));

    Lines handshake = {"state: Homing..."};
    handshake.insert(handshake.end(), kHomeLines.begin(), kHomeLines.end());
    EXPECT_EQ(b.Text("ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0\n"), handshake);
    EXPECT_EQ(b.session.ConnectPhase(), CONNECT_PHASE_HOMING);
    EXPECT_FALSE(b.session.CanMove());
    EXPECT_EQ(SBench::Rendered(b.session.Tick()), Lines{});   // nothing is asked while it homes

    // Busy notices keep "Homing..."; the report completes the connection.
    EXPECT_EQ(b.Text("echo:busy: processing\n"), Lines{});
    EXPECT_EQ(b.Text("ok\nok\nok\nok\nX:0.00 Y:0.00 Z:55.00 E:0.00 Count X:0 Y:0 Z:0\nok\n"),
              (Lines{"thumbs 0 300 145", "readout: current: (0.00 , 0.00 , 55.00 )", "live on", "connect: Disconnect",
                     "status icon on", "status: Connected", "look on", "state: Connected", "timer off"}));
    EXPECT_TRUE(b.session.CanMove());

    // Disconnect: the port closes, the read-out stays, dimmed.
    EXPECT_EQ(SBench::Rendered(b.session.ConnectPressed()),
              (Lines{"timer off", "close", "look off", "state: Disconnected", "connect: Connect",
                     "start:   X = 0.00, Y = 0.00, Z = 0.00", "end:   X = 0.00, Y = 0.00, Z = 0.00", "depth:   0.0",
                     "list ports", "live off"}));
    EXPECT_TRUE(b.session.ReadyToConnect());
}

TEST(StageSession, ReportsThatCannotBeTrusted)
{
    struct {
        const char* what;
        std::vector<std::string> texts;
        Lines expected;   // the lines sent and the trace
    } cases[] = {
        {"an incomplete report is asked again three times, then logged",
         {"X:1.00 Y:2.00 Z:\n", "X:1.00 Y:2.00 Z:\n", "X:1.00 Y:2.00 Z:\n", "X:1.00 Y:2.00 Z:\n", "X:1.00 Y:2.00 Z:\n"},
         {"> M114", "> M114", "> M114", "trace Incomplete position report, not asked again: X:1.00 Y:2.00 Z:"}},
        {"the step counts first: no report, nothing stored", {"Count X:0 Y:0 Z:0\n"}, {"> M114"}},
        {"a complete report sends nothing", {"X:1.00 Y:2.00 Z:3.00 E:0.00 Count X:0 Y:0 Z:0\n"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SBench b;
        b.Connect();
        SEffects all;
        for (const std::string& t : c.texts) {
            SEffects e = b.session.Received({t});
            all.insert(all.end(), e.begin(), e.end());
        }
        EXPECT_EQ(SBench::Only(all, {"> ", "trace "}), c.expected);
    }

    // An incomplete report stores what it has and keeps the read-out; once a complete answer came,
    // the next incomplete one is asked again.
    const struct {
        const char* text;
        CStagePlan::Axes stored;
    } partial[] = {{"X:1.50 Y:2.50 Z:\n", {1.5f, 2.5f, 0}}, {"X:Y:4.00 Z:3.00 E:0\n", {0, 4, 3}}};
    for (const auto& p : partial) {
        SCOPED_TRACE(p.text);
        SBench b;
        b.Connect();
        EXPECT_EQ(SBench::Only(b.session.Received({p.text}), {"> ", "readout"}), (Lines{"> M114"}));
        EXPECT_EQ(b.session.Position(), p.stored);
        for (int i = 0; i < 3; ++i)
            b.session.Received({p.text});
        b.session.Received({"X:5.00 Y:6.00 Z:7.00 E:0.00\n"});
        EXPECT_EQ(SBench::Only(b.session.Received({p.text}), {"> "}), (Lines{"> M114"}));
    }

    // The second read of a full buffer begins inside a line: its first line is no report.
    SBench b;
    b.Connect();
    EXPECT_EQ(SBench::Only(b.session.Received({"X:9.00 Y:9.00 Z:9.00 E:0.00\n", 2}), {"> ", "readout"}),
              (Lines{"> M114"}));
    EXPECT_EQ(b.session.Position(), (CStagePlan::Axes{0, 0, 55}));
}

TEST(StageSession, AControllerThatStopsAnsweringHaltsOrVanishes)
{
    // A query unanswered for ten silent ticks: not responding, asked every two ticks, back at a report.
    SBench b;
    b.Connect();
    b.session.JogPressed(AXIS_X, false);
    for (int i = 0; i < SILENCE_LIMIT_TICKS - 1; ++i)
        EXPECT_EQ(b.session.Tick(), SEffects{});
    EXPECT_EQ(SBench::Rendered(b.session.Tick()),
              (Lines{"motion off", "live off", "state: Not responding", "> M114"}));
    EXPECT_FALSE(b.session.CanMove());
    EXPECT_EQ(b.session.JogPressed(AXIS_X, false), SEffects{});
    EXPECT_EQ(SBench::Rendered(b.session.Tick()), Lines{});
    EXPECT_EQ(SBench::Rendered(b.session.Tick()), (Lines{"> M114"}));
    EXPECT_EQ(SBench::Only(b.session.Received({"X:1.00 Y:0.00 Z:55.00 E:0.00 Count X:0 Y:0 Z:0\n"}), {"live", "state"}),
              (Lines{"live on", "state: Connected"}));

    // A halt: one box in the controller's words, and nothing is sent after it.
    EXPECT_EQ(b.Text("Error:Printer halted. kill() called!\n"),
              (Lines{"trace Controller: Error:Printer halted. kill() called!", "timer off", "motion off", "live off",
                     "state: Halted", "box [Controller Halted] The controller halted:\n\nError:Printer halted. kill() called!"}));
    EXPECT_EQ(b.session.BoxClosed(true), SEffects{});
    EXPECT_EQ(b.session.HomePressed(), SEffects{});
    EXPECT_EQ(b.Text("X:1.00 Y:0.00 Z:55.00 E:0.00\n"), Lines{});

    // A vanished device: the port box, once, and idle when it is closed.
    SBench v;
    v.Connect();
    EXPECT_EQ(SBench::Rendered(v.session.DeviceVanished()),
              (Lines{"timer off", "box [Connection Error] Please Check COM Port number"}));
    EXPECT_EQ(v.session.DeviceVanished(), SEffects{});   // while the box is up
    EXPECT_EQ(SBench::Only(v.session.BoxClosed(true), {"close", "connect:"}), (Lines{"close", "connect: Connect"}));
    EXPECT_TRUE(v.session.ReadyToConnect());
}

TEST(StageSession, AnErrorBeforeTheHandshakeEndsTheAttempt)
{
    const struct {
        const char* answer;
        const char* why;
    } cases[] = {
        {"Error:No Checksum with line number, Last Line: 0\n",
         "This firmware asks for line numbers and checksums, which this panel does not send."},
        {"error:20\n", "This controller does not speak the G-code dialect this panel uses."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        SBench b;
        b.session.ConnectPressed();
        b.session.LineReady(true, true);
        const std::string line = TrimmedLine(c.answer);
        EXPECT_EQ(b.Text(c.answer), (Lines{"trace Controller: " + line, "timer off",
                                           "box [Connection Error] The controller answered M105 with:\n\n" + line +
                                               "\n\n" + c.why}));
    }
}

TEST(StageSession, AFailedWriteClosesThePortBeforeTheBox)
{
    SBench b;
    b.Connect();
    EXPECT_EQ(SBench::Rendered(b.session.WriteFailed(1460)),
              (Lines{"trace Write() failed with error code = 1460", "purge", "close", "timer off",
                     "box [Connection Error] Please Check COM Port number"}));
    // Closing the box ends the connection.
    EXPECT_EQ(SBench::Only(b.session.BoxClosed(true), {"> ", "connect:"}), (Lines{"connect: Connect"}));
}

TEST(StageSession, StepsParkAndSlidersGoOutWithinTheStage)
{
    const struct {
        const char* what;
        std::function<SEffects(CStageSession&)> action;
        Lines sent;
    } cases[] = {
        {"a step", [](CStageSession& s) { return s.JogPressed(AXIS_X, false); },
         {"> G21", "> G91", "> G0 X1.00 F5000", "> M114", "> M114"}},
        {"a step below zero is refused after its mode lines", [](CStageSession& s) { return s.JogPressed(AXIS_Y, true); },
         {"> G21", "> G91"}},
        {"Park", [](CStageSession& s) { return s.ParkPressed(); },
         {"> G90", "> G0 X150.00 Y150.00 Z55.00 F5000", "> M114", "> M114"}},
        {"a slider arrow steps 1 mm; up is +",
         [](CStageSession& s) { return s.SliderScrolled(AXIS_Z, ESliderCode::LineUpLeft, 0); },
         {"> G21", "> G90", "> G21", "> G91", "> G0 Z1.00 F3000", "> M114", "> M114"}},
        {"a released thumb moves its axis there",
         [](CStageSession& s) { return s.SliderScrolled(AXIS_Y, ESliderCode::ThumbReleased, 100); },
         {"> G21", "> G90", "> G0 X0.0 Y200.0 Z55.0 F5000", "> M114", "> M114"}},
        {"a trough click only re-states the modes",
         [](CStageSession& s) { return s.SliderScrolled(AXIS_X, ESliderCode::Other, 0); }, {"> G21", "> G90"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SBench b;
        b.Connect();
        EXPECT_EQ(SBench::Only(c.action(b.session), {"> "}), c.sent);
    }
}

// Park positions edited into System.cfg and stored last positions never put a target outside the
// stage on the wire; each refusal leaves one log line.
TEST(StageSession, NoStoredTargetOutsideTheStageIsSent)
{
    SBench park;
    park.settings = {{"Park_Pos/X", "10.5"}, {"Park_Pos/Y", "20"}, {"Park_Pos/Z", "250"}};
    park.Connect();
    EXPECT_EQ(SBench::Only(park.session.ParkPressed(), {"> ", "trace"}),
              (Lines{"> G90", "trace Park refused: (10.50, 20.00, 250.00) lies outside the stage"}));

    SBench restore;
    restore.settings = {{"Last_Pos/keep", "1"}, {"Last_Pos/X", "400"}, {"Last_Pos/Y", "2"}, {"Last_Pos/Z", "3"}};
    restore.session.ConnectPressed();
    EXPECT_EQ(SBench::Only(restore.session.LineReady(true, true), {"> ", "trace"}),
              (Lines{"> G21", "> G90", "trace Last position not restored: (400.00, 2.00, 3.00) lies outside the stage",
                     "> M105"}));
}

// A stored homing allowance in whole seconds from 5 to 3600; anything else is 120 s.
TEST(StageSession, TheHomingAllowanceIsReadAtEachConnect)
{
    const struct {
        const char* stored;
        int seconds;
    } allowances[] = {{"5", 5}, {"3600", 3600}, {"4", 120}, {"3601", 120}, {"30.5", 120}, {"abc", 120}, {"", 120}};
    SBench b;
    for (const auto& a : allowances) {
        b.settings["Connection/HomingTimeout"] = a.stored;
        b.session.ConnectPressed();
        EXPECT_EQ(b.session.HomingTimeoutTicks(), a.seconds) << a.stored;
        b.session.ConnectPressed();
    }
}

TEST(StageSession, KeysJogAndHeldKeysDoNotPileUp)
{
    SBench b;
    SEffects effects;
    EXPECT_FALSE(b.session.KeyPressed({EJogKey::Right, false, 5, false}, effects));   // not connected
    b.Connect();
    EXPECT_FALSE(b.session.KeyPressed({EJogKey::None, false, 5, false}, effects));
    EXPECT_FALSE(b.session.KeyPressed({EJogKey::Right, false, 5, true}, effects));   // Alt: a menu key
    ASSERT_TRUE(b.session.KeyPressed({EJogKey::Right, false, 5, false}, effects));
    EXPECT_EQ(SBench::Only(effects, {"> G0"}), (Lines{"> G0 X1.00 F5000"}));
    // A repeat made before that step began waited behind it: merged, nothing sent.
    b.now += 300;
    ASSERT_TRUE(b.session.KeyPressed({EJogKey::Right, true, 4, false}, effects));
    EXPECT_EQ(effects, SEffects{});
    ASSERT_TRUE(b.session.KeyPressed({EJogKey::PageDown, true, 304, false}, effects));
    EXPECT_EQ(SBench::Only(effects, {"> G0"}), (Lines{"> G0 Z-1.00 F3000"}));
}

TEST(StageSession, SettingsAreReadWhenNeededAndStoredAtOnce)
{
    SBench b;
    b.settings = {{"SpdDst/XYSpeed", "2000.7"}, {"SpdDst/ZDistance", "0.02"}, {"DlgStatus/OnTop", "1"},
                  {"Last_Pos/keep", "1"},       {"Last_Pos/X", "10"},       {"Last_Pos/Y", "20"},
                  {"Last_Pos/Z", "30"},         {"Park_Pos/X", "0"},        {"Connection/HomingTimeout", "30.5"}};
    EXPECT_EQ(SBench::Only(b.session.Start(), {"xy", "zd", "on top", "check", "expander"}),
              (Lines{"xyspeed: 2000", "zdist: 0.02", "on top on", "check ontop on", "check retain on", "expander"}));
    EXPECT_EQ(b.session.ParkPoint(), (CStagePlan::Axes{PARK_DEFAULT_X, PARK_DEFAULT_Y, PARK_DEFAULT_Z}));

    // Retained: the mode lines go out as soon as the line is up; the move waits for the handshake.
    b.session.ConnectPressed();
    EXPECT_EQ(b.session.HomingTimeoutTicks(), HOMING_TIMEOUT_DEFAULT_S);
    EXPECT_EQ(SBench::Only(b.session.LineReady(true, true), {"> "}), (Lines{"> G21", "> G90", "> M114", "> M105"}));
    EXPECT_EQ(SBench::Only(b.session.Received({"ok T:25.0 /0.0\n"}), {"> G0 X"}), (Lines{"> G0 X10.0 Y20.0 Z30.0 F5000"}));

    // Set Park stores the reported point; one outside the stage is refused and logged.
    b.session.Received({"X:12.345 Y:20.00 Z:30.00 E:0.00\n"});
    EXPECT_EQ(SBench::Only(b.session.SetParkPressed(), {"store"}),
              (Lines{"store [Park_Pos] X=12.35", "store [Park_Pos] Y=20.00", "store [Park_Pos] Z=30.00"}));
    b.session.Received({"X:12.00 Y:20.00 Z:250.00 E:0.00\n"});
    EXPECT_EQ(SBench::Rendered(b.session.SetParkPressed()),
              (Lines{"trace Park position not stored: (12.00, 20.00, 250.00) lies outside the stage"}));

    // Closing a connected panel keeps the boxes and the last point, then asks.
    b.boxes[EControl::RetainCheck] = "1";
    b.boxes[EControl::XYDistance] = "10";
    EXPECT_EQ(SBench::Rendered(b.session.CloseRequested()),
              (Lines{"store [SpdDst] XYSpeed=5000", "store [SpdDst] ZSpeed=3000", "store [SpdDst] XYDistance=10.0",
                     "store [SpdDst] ZDistance=1.0", "store [Last_Pos] X=12.0", "store [Last_Pos] Y=20.0",
                     "store [Last_Pos] Z=250.0", "box [] Are you sure you want to exit?"}));
    EXPECT_EQ(SBench::Rendered(b.session.BoxClosed(false)), Lines{});
}

} // namespace
