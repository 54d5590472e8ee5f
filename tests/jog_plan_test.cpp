// What a jog decides, without a dialog or a port: keys, steps and merged key repeats.
#include <functional>
#include <gtest/gtest.h>

#include "core/JogPlan.h"
#include "core/MotionFormat.h"

namespace {

// Any numbers that tell two keys apart.
constexpr int KEY_RIGHT = static_cast<int>(EJogKey::Right), KEY_LEFT = static_cast<int>(EJogKey::Left);

TEST(JogPlan, EachKeyJogsOneAxisOneWay)
{
    const struct {
        EJogKey key;
        int axis;
        bool negative;
    } cases[] = {
        {EJogKey::Right, AXIS_X, false},  {EJogKey::Left, AXIS_X, true},      {EJogKey::Up, AXIS_Y, false},
        {EJogKey::Down, AXIS_Y, true},    {EJogKey::PageUp, AXIS_Z, false},   {EJogKey::PageDown, AXIS_Z, true},
        {EJogKey::LetterD, AXIS_X, false}, {EJogKey::LetterA, AXIS_X, true},  {EJogKey::LetterS, AXIS_Y, false},
        {EJogKey::LetterW, AXIS_Y, true}, {EJogKey::LetterE, AXIS_Z, false},  {EJogKey::LetterQ, AXIS_Z, true},
        {EJogKey::None, 0, false},
    };
    for (const auto& c : cases) {
        const SJog jog = JogForKey(c.key);
        EXPECT_EQ(jog.nAxis, c.axis) << static_cast<int>(c.key);
        EXPECT_EQ(jog.bNegative, c.negative) << static_cast<int>(c.key);
    }
}

TEST(JogPlan, AStepReadsItsBoxesAndStaysInsideTheStage)
{
    CStagePlan plan;
    plan.ReportArrived({100, 100, 100}, true);
    const struct {
        SStepRequest request;
        const char* line;   // "" for a refused step
    } cases[] = {
        {{AXIS_X, false, "1.0", "5000 (Default)"}, "G0 X1.00 F5000\n"},
        {{AXIS_X, false, "0.05", "5000"}, "G0 X0.10 F5000\n"},
        {{AXIS_X, false, "", "5000"}, "G0 X0.10 F5000\n"},
        {{AXIS_Y, true, "abc", "5000"}, "G0 Y-0.10 F5000\n"},
        {{AXIS_X, false, "12.345", "5000"}, "G0 X12.35 F5000\n"},
        {{AXIS_Z, false, "0.01", "3000"}, "G0 Z0.02 F3000\n"},
        {{AXIS_Z, false, "0.025", "3000"}, "G0 Z0.02 F3000\n"},
        {{AXIS_Z, true, "0.02 mm", "3000"}, "G0 Z-0.02 F3000\n"},
        {{AXIS_X, false, "1.0", "10"}, "G0 X1.00 F50\n"},
        {{AXIS_X, false, "1.0", ""}, "G0 X1.00 F50\n"},
        {{AXIS_X, false, "1.0", "or enter 50 to 5000"}, "G0 X1.00 F50\n"},
        {{AXIS_X, false, "1.0", "7000"}, "G0 X1.00 F5000\n"},
        {{AXIS_X, false, "1.0", "  750"}, "G0 X1.00 F750\n"},
        {{AXIS_X, false, "1.0", "12.9"}, "G0 X1.00 F50\n"},
        {{AXIS_X, false, "50.0", "5000", true}, "G0 X1.00 F5000\n"},   // a slider arrow: exactly 1 mm
        {{AXIS_X, false, "200", "5000"}, "G0 X200.00 F5000\n"},
        {{AXIS_X, false, "200.01", "5000"}, ""},
        {{AXIS_Z, false, "100.5", "3000"}, ""},
        {{AXIS_Y, true, "100.01", "5000"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.strDistance + " / " + c.request.strSpeed);
        const SStepPlan step = PlanStep(c.request, plan);
        EXPECT_EQ(step.bAllowed, *c.line != '\0');
        EXPECT_EQ(step.strLine, c.line);
    }
}

TEST(JogPlan, RepeatsMadeBeforeTheLastStepBeganAreMerged)
{
    // The key events' clock runs 1000 ms behind ours; the last step began at 1400 on ours, 400 on
    // theirs.
    const auto afterAStep = [](CKeyRepeatClock& c) {
        c.IsStale(KEY_RIGHT, false, 100, 1100);
        c.StepStarted(KEY_RIGHT, 1400);
    };
    const struct {
        const char* name;
        std::function<void(CKeyRepeatClock&)> before;
        int key;
        bool autoRepeat;
        std::uint64_t stamp;
        std::int64_t now;
        bool stale;
    } cases[] = {
        {"first press", [](CKeyRepeatClock&) {}, KEY_RIGHT, false, 0, 1000, false},
        {"a repeat that queued behind the step", afterAStep, KEY_RIGHT, true, 150, 1700, true},
        {"a repeat made after the step began", afterAStep, KEY_RIGHT, true, 450, 1700, false},
        {"another key is never merged", afterAStep, KEY_LEFT, true, 150, 1700, false},
        {"a fresh press is never merged", afterAStep, KEY_RIGHT, false, 150, 1700, false},
        {"no time stamp", afterAStep, KEY_RIGHT, true, 0, 1700, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CKeyRepeatClock clock;
        c.before(clock);
        EXPECT_EQ(clock.IsStale(c.key, c.autoRepeat, c.stamp, c.now), c.stale);
    }
}

} // namespace
