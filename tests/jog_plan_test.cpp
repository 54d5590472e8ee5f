// What a jog decides, without a dialog or a port: keys, steps and merged key repeats.
#include <functional>
#include <gtest/gtest.h>

#include "core/JogPlan.h"
#include "core/MotionFormat.h"
#include "res/Resource.h"

namespace {

TEST(JogPlan, KeysStandForButtonsByMeaningOrByPlace)
{
    const struct {
        int key;
        std::uint32_t native;
        int button;
    } cases[] = {
        {Qt::Key_Right, 0, IDC_BTN_XPLUS}, {Qt::Key_Left, 113, IDC_BTN_XMINUS}, {Qt::Key_Up, 0, IDC_BTN_YPLUS},
        {Qt::Key_Down, 0, IDC_BTN_YMINUS}, {Qt::Key_PageUp, 0, IDC_BTN_ZPLUS}, {Qt::Key_PageDown, 0, IDC_BTN_ZMINUS},
        {Qt::Key_D, 0, IDC_BTN_XPLUS},     {Qt::Key_A, 0, IDC_BTN_XMINUS},    {Qt::Key_S, 0, IDC_BTN_YPLUS},
        {Qt::Key_W, 0, IDC_BTN_YMINUS},    {Qt::Key_E, 0, IDC_BTN_ZPLUS},     {Qt::Key_Q, 0, IDC_BTN_ZMINUS},
        {0x0412, 40, IDC_BTN_XPLUS},       {0x0424, 38, IDC_BTN_XMINUS},      {0x03A3, 39, IDC_BTN_YPLUS},
        {0x0426, 25, IDC_BTN_YMINUS},      {0x0423, 26, IDC_BTN_ZPLUS},       {0x0419, 24, IDC_BTN_ZMINUS},
        {Qt::Key_D, 43, 0},   // a layout that puts D elsewhere: the place counts, not the letter
        {Qt::Key_X, 0, 0},    {Qt::Key_Home, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JogButtonForKey(c.key, c.native), c.button) << std::hex << c.key << " " << std::dec << c.native;
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
        SCOPED_TRACE(c.request.strDistance.toStdString() + " / " + c.request.strSpeed.toStdString());
        const SStepPlan step = PlanStep(c.request, plan);
        EXPECT_EQ(step.bAllowed, *c.line != '\0');
        EXPECT_EQ(step.strLine.toStdString(), c.line);
    }
}

TEST(JogPlan, RepeatsMadeBeforeTheLastStepBeganAreMerged)
{
    // The key events' clock runs 1000 ms behind ours; the last step began at 1400 on ours, 400 on
    // theirs.
    const auto afterAStep = [](CKeyRepeatClock& c) {
        c.IsStale(Qt::Key_Right, false, 100, 1100);
        c.StepStarted(Qt::Key_Right, 1400);
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
        {"first press", [](CKeyRepeatClock&) {}, Qt::Key_Right, false, 0, 1000, false},
        {"a repeat that queued behind the step", afterAStep, Qt::Key_Right, true, 150, 1700, true},
        {"a repeat made after the step began", afterAStep, Qt::Key_Right, true, 450, 1700, false},
        {"another key is never merged", afterAStep, Qt::Key_Left, true, 150, 1700, false},
        {"a fresh press is never merged", afterAStep, Qt::Key_Right, false, 150, 1700, false},
        {"no time stamp", afterAStep, Qt::Key_Right, true, 0, 1700, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CKeyRepeatClock clock;
        c.before(clock);
        EXPECT_EQ(clock.IsStale(c.key, c.autoRepeat, c.stamp, c.now), c.stale);
    }
}

} // namespace
