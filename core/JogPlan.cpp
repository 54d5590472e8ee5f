#include "core/JogPlan.h"

#include "core/MotionFormat.h"

SJog JogForKey(EJogKey key)
{
    switch (key) {
    case EJogKey::Right: case EJogKey::LetterD: return {AXIS_X, false};
    case EJogKey::Left: case EJogKey::LetterA: return {AXIS_X, true};
    case EJogKey::Up: case EJogKey::LetterS: return {AXIS_Y, false};
    case EJogKey::Down: case EJogKey::LetterW: return {AXIS_Y, true};
    case EJogKey::PageUp: case EJogKey::LetterE: return {AXIS_Z, false};
    case EJogKey::PageDown: case EJogKey::LetterQ: return {AXIS_Z, true};
    case EJogKey::None: break;
    }
    return {};
}

SStepPlan PlanStep(const SStepRequest& request, const CStagePlan& plan)
{
    const bool isZ = request.nAxis == AXIS_Z;
    float d = ReadDistanceText(request.strDistance);
    const float minimum = isZ ? Z_STEP_MIN : XY_STEP_MIN;
    if (d <= minimum)
        d = minimum;
    if (request.bSliderStep)
        d = 1.0f;
    SStepPlan step;
    // The limits are tested against where the lines already sent take the stage, not against the
    // last report, which lags behind steps that went out since its query.
    step.fDelta = AsSent(request.bNegative ? -d : d, 2);
    step.bAllowed = plan.StepAllowed(request.nAxis - AXIS_X, step.fDelta);
    if (step.bAllowed)
        step.strLine = FormatStepMove(request.nAxis, request.bNegative, d, ReadSpeedText(request.strSpeed));
    return step;
}

bool CKeyRepeatClock::IsStale(int key, bool autoRepeat, std::uint64_t stamp, std::int64_t now)
{
    if (stamp == 0)
        return false;   // a key without a time stamp cannot have queued up
    const auto made = static_cast<std::int64_t>(stamp);
    // The key events' clock runs at a fixed offset from ours; an event is never handled before it
    // was made, so the smallest difference seen is the closest estimate of that offset.
    if (!m_bOffsetKnown || now - made < m_nOffset) {
        m_nOffset = now - made;
        m_bOffsetKnown = true;
    }
    if (!autoRepeat || key != m_nLastKey || m_nLastStart < 0)
        return false;
    // A repeat made before the last step began has been waiting behind an earlier repeat of the
    // same key: repeats that piled up while the stage was busy count as one key-down.
    return made + m_nOffset < m_nLastStart;
}

void CKeyRepeatClock::StepStarted(int key, std::int64_t now)
{
    m_nLastKey = key;
    m_nLastStart = now;
}
