#pragma once
// What a jog decides, apart from any widget: which key stands for which jog button, the step a
// button, key or slider arrow sends, and which auto-repeats of a held key are merged. Values in,
// lines out.
#include <QString>
#include <cstdint>

#include "core/StagePlan.h"

// The jog button a key stands for, or 0. The arrows and page keys are known by their meaning; the
// letters W A S D Q E by their place on the keyboard (the native key code, XKB's evdev + 8 on
// Linux), so that they jog under any layout; without a native code (a synthetic event) the letter
// itself is taken.
int JogButtonForKey(int key, std::uint32_t nativeScanCode);

struct SStepRequest {
    int nAxis = 0;             // AXIS_X, AXIS_Y or AXIS_Z
    bool bNegative = false;
    QString strDistance;       // the distance box of that axis
    QString strSpeed;          // the speed box of that axis
    bool bSliderStep = false;  // a slider arrow: exactly 1 mm
};

struct SStepPlan {
    bool bAllowed = false;   // false: the step would leave the stage, or its axis is not known
    float fDelta = 0;        // signed, as the line carries it
    QString strLine;         // "G0 X1.00 F5000\n"
};

// The mode lines go out before the step is planned, whether it is allowed or not.
SStepPlan PlanStep(const SStepRequest& request, const CStagePlan& plan);

// Auto-repeats of a held key queue up behind each step's pauses. Those made before the last step of
// the same key began are merged into it, as the original platform merges them into one key-down
// with a repeat count.
class CKeyRepeatClock {
public:
    // stamp: the key event's own time in ms (0: none); now: ours, in ms.
    bool IsStale(int key, bool autoRepeat, std::uint64_t stamp, std::int64_t now);
    void StepStarted(int key, std::int64_t now);

private:
    std::int64_t m_nOffset = 0;   // our clock minus the key events' clock
    bool m_bOffsetKnown = false;
    std::int64_t m_nLastStart = -1;
    int m_nLastKey = 0;
};
