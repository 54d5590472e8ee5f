#pragma once
// What a jog decides, apart from any widget: which jog a key stands for, the step a button, key or
// slider arrow sends, and which auto-repeats of a held key are merged. Values in, lines out.
#include <cstdint>
#include <string>

#include "core/StagePlan.h"

// The keys that jog, as a front end names them: the arrows and page keys by their meaning, the
// letters by their place on the keyboard (W A S D Q E on a US layout).
enum class EJogKey { None, Left, Right, Up, Down, PageUp, PageDown, LetterW, LetterA, LetterS, LetterD, LetterQ, LetterE };

struct SJog {
    int nAxis = 0;   // 0: no jog; AXIS_X, AXIS_Y or AXIS_Z
    bool bNegative = false;
};

// Right, D: X+; Left, A: X-; Up, S: Y+; Down, W: Y-; Page Up, E: Z+; Page Down, Q: Z-.
SJog JogForKey(EJogKey key);

struct SStepRequest {
    int nAxis = 0;             // AXIS_X, AXIS_Y or AXIS_Z
    bool bNegative = false;
    std::string strDistance;   // the distance box of that axis
    std::string strSpeed;      // the speed box of that axis
    bool bSliderStep = false;  // a slider arrow: exactly 1 mm
};

struct SStepPlan {
    bool bAllowed = false;   // false: the step would leave the stage, or its axis is not known
    float fDelta = 0;        // signed, as the line carries it
    std::string strLine;     // "G0 X1.00 F5000\n"
};

// The mode lines go out before the step is planned, whether it is allowed or not.
SStepPlan PlanStep(const SStepRequest& request, const CStagePlan& plan);

// Auto-repeats of a held key queue up behind each step's pauses. Those made before the last step of
// the same key began are merged into it, as the original platform merges them into one key-down
// with a repeat count.
class CKeyRepeatClock {
public:
    // key: any number that tells keys apart; stamp: the key event's own time in ms (0: none); now:
    // ours, in ms.
    bool IsStale(int key, bool autoRepeat, std::uint64_t stamp, std::int64_t now);
    void StepStarted(int key, std::int64_t now);

private:
    std::int64_t m_nOffset = 0;   // our clock minus the key events' clock
    bool m_bOffsetKnown = false;
    std::int64_t m_nLastStart = -1;
    int m_nLastKey = 0;
};
