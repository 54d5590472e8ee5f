#include "core/JogPlan.h"

#include "core/MotionFormat.h"
#include "res/Resource.h"

namespace {

// XKB key codes of the letters' places.
enum : std::uint32_t { KEYCODE_Q = 24, KEYCODE_W = 25, KEYCODE_E = 26, KEYCODE_A = 38, KEYCODE_S = 39, KEYCODE_D = 40 };

} // namespace

int JogButtonForKey(int key, std::uint32_t nativeScanCode)
{
    switch (key) {
    case Qt::Key_Right: return IDC_BTN_XPLUS;
    case Qt::Key_Left: return IDC_BTN_XMINUS;
    case Qt::Key_Up: return IDC_BTN_YPLUS;
    case Qt::Key_Down: return IDC_BTN_YMINUS;
    case Qt::Key_PageUp: return IDC_BTN_ZPLUS;
    case Qt::Key_PageDown: return IDC_BTN_ZMINUS;
    default: break;
    }
    if (nativeScanCode != 0) {
        switch (nativeScanCode) {
        case KEYCODE_D: return IDC_BTN_XPLUS;
        case KEYCODE_A: return IDC_BTN_XMINUS;
        case KEYCODE_S: return IDC_BTN_YPLUS;
        case KEYCODE_W: return IDC_BTN_YMINUS;
        case KEYCODE_E: return IDC_BTN_ZPLUS;
        case KEYCODE_Q: return IDC_BTN_ZMINUS;
        default: return 0;
        }
    }
    switch (key) {
    case Qt::Key_D: return IDC_BTN_XPLUS;
    case Qt::Key_A: return IDC_BTN_XMINUS;
    case Qt::Key_S: return IDC_BTN_YPLUS;
    case Qt::Key_W: return IDC_BTN_YMINUS;
    case Qt::Key_E: return IDC_BTN_ZPLUS;
    case Qt::Key_Q: return IDC_BTN_ZMINUS;
    default: return 0;
    }
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
