// Step moves, Home, Park and Set Park, the sliders, the keyboard jog, and the one routine every line
// goes through.
#include "core/CommandLines.h"
#include "core/MotionFormat.h"
#include "core/Numbers.h"
#include "core/SliderMath.h"
#include "core/StageSession.h"

// A line goes out only while the port is open and the controller has not halted. Whether it went
// out whole only the port knows: a failed write comes back as WriteFailed().
bool CStageSession::WriteLine(const std::string& line)
{
    if (!m_bPortOpen || m_nConnectPhase == CONNECT_PHASE_HALTED)
        return false;
    SEffect e{EEffect::SendLine};
    e.text = line;
    Emit(std::move(e));
    return true;
}

bool CStageSession::SendCommandLine(const std::string& line)
{
    if (!m_bConnected || line.empty())
        return false;
    return WriteLine(line);
}

bool CStageSession::SendQuery()
{
    if (!WriteLine(LINE_QUERY_POSITION))
        return false;
    m_plan.QuerySent(m_in.nowMs());
    ++m_nQueriesSinceReport;
    WatchController();
    return true;
}

void CStageSession::SendPositionQuery()
{
    m_nReportRetries = 0;
    if (!SendQuery())
        return;
    // The pause is part of the conversation: the second query catches the end of a short move.
    SEffect pause{EEffect::Pause};
    pause.numbers[0] = QUERY_PAUSE_MS;
    Emit(pause);
    SendQuery();
}

// An absolute move goes out only when its target lies inside the envelope; a refused one is
// logged and sends nothing.
bool CStageSession::SendAbsoluteMove(const char* what, const CStagePlan::Axes& target, const std::string& line)
{
    if (!CStagePlan::Inside(target)) {
        Trace(OutsideEnvelopeText(what, target[0], target[1], target[2]));
        return false;
    }
    if (SendCommandLine(line))
        m_plan.AbsoluteSent(target);
    return true;
}

int CStageSession::XYSpeed() const { return ReadSpeedText(m_in.box(EControl::XYSpeed)); }

SEffects CStageSession::JogPressed(int nAxis, bool bNegative)
{
    if (CanMove())
        StepMove(nAxis, bNegative);
    return TakeEffects();
}

SEffects CStageSession::HomePressed()
{
    if (CanMove())
        Home();
    return TakeEffects();
}

void CStageSession::StepMove(int nAxis, bool bNegative)
{
    if (!m_bConnected)
        return;
    WriteLine(LINE_UNITS_MM);
    WriteLine(LINE_RELATIVE);
    const bool isZ = nAxis == AXIS_Z;
    const SStepPlan step = PlanStep({nAxis, bNegative, m_in.box(isZ ? EControl::ZDistance : EControl::XYDistance),
                                     m_in.box(isZ ? EControl::ZSpeed : EControl::XYSpeed), m_bSliderStep},
                                    m_plan);
    // The slider arrow's 1 mm is used up even by a refused step.
    m_bSliderStep = false;
    if (!step.bAllowed)
        return;
    if (!SendCommandLine(step.strLine))
        return;
    m_plan.StepSent(nAxis - AXIS_X, step.fDelta);
    SendPositionQuery();
}

void CStageSession::Home()
{
    if (!m_bConnected)
        return;
    WriteLine(LINE_UNITS_MM);
    WriteLine(LINE_RELATIVE);
    m_bSliderStep = false;
    m_bHomeSinceReport = true;
    // Relative positioning is in force: home, then lift Z by 55 mm from there.
    if (!WriteLine(LINE_HOME) || !WriteLine(LINE_LIFT_Z))
        return;
    m_plan.HomeSent(HOME_LIFT_Z);
    SendPositionQuery();
}

SEffects CStageSession::ParkPressed()
{
    if (!CanMove())
        return TakeEffects();
    WriteLine(LINE_ABSOLUTE);
    const int speed = XYSpeed();
    // A park position edited into System.cfg by hand may lie outside the stage.
    const CStagePlan::Axes target = {AsSent(m_park[0], 2), AsSent(m_park[1], 2), AsSent(m_park[2], 2)};
    if (SendAbsoluteMove("Park refused", target, FormatParkMove(m_park[0], m_park[1], m_park[2], speed)))
        SendPositionQuery();
    return TakeEffects();
}

// The park position is the last reported one, stored at once; one outside the stage would only
// ever be refused.
SEffects CStageSession::SetParkPressed()
{
    if (!CStagePlan::Inside({AsSent(m_pos[0], 2), AsSent(m_pos[1], 2), AsSent(m_pos[2], 2)})) {
        Trace(OutsideEnvelopeText("Park position not stored", m_pos[0], m_pos[1], m_pos[2]));
        return TakeEffects();
    }
    static const char* const kKeys[] = {"X", "Y", "Z"};
    for (size_t axis = 0; axis < 3; ++axis) {
        Store("Park_Pos", kKeys[axis], FormatC("%.2f", static_cast<double>(m_pos[axis])));
        m_park[axis] = m_pos[axis];
    }
    return TakeEffects();
}

void CStageSession::UpdateSliders()
{
    SEffect e{EEffect::Thumbs};
    e.numbers = {ToSliderPos(m_pos[0]), ToSliderPos(STAGE_Y_MAX - m_pos[1]), ToSliderPos(STAGE_Z_MAX - m_pos[2])};
    Emit(e);
}

// Every notification re-states the units and absolute positioning, whatever it is. A released
// thumb sends its axis to the thumb's place; an arrow is its axis's jog with a step of exactly 1 mm.
// The slider position is mm from the left (X) or from the top (Y, Z): up is the + direction.
SEffects CStageSession::SliderScrolled(int nAxis, ESliderCode code, int pos)
{
    if (!CanMove())
        return TakeEffects();
    WriteLine(LINE_UNITS_MM);
    WriteLine(LINE_ABSOLUTE);
    if (code == ESliderCode::ThumbReleased) {
        const float fromTop = nAxis == AXIS_Y ? STAGE_Y_MAX : nAxis == AXIS_Z ? STAGE_Z_MAX : 0.0f;
        const auto value = static_cast<float>(pos);
        ReleaseThumb(nAxis, fromTop > 0 ? fromTop - value : value, pos);
        return TakeEffects();
    }
    if (code == ESliderCode::Other)
        return TakeEffects();   // trough clicks, dragging and the end of a scroll move nothing
    m_bSliderStep = true;
    const bool bNegative = nAxis == AXIS_X ? code == ESliderCode::LineUpLeft : code == ESliderCode::LineDownRight;
    if (CanMove())
        StepMove(nAxis, bNegative);
    return TakeEffects();
}

// A released thumb sends its axis there; the other two axes stay where the lines sent take them.
// A move that cannot be known to stay inside the stage is refused and the thumbs go back.
void CStageSession::ReleaseThumb(int nAxis, float fValue, int nPos)
{
    CStagePlan::Axes target{};
    if (!m_plan.TargetFor(nAxis - AXIS_X, fValue, target)) {
        Trace("Slider move refused: where the stage is going is not known");
        UpdateSliders();
        return;
    }
    SEffect thumb{EEffect::Thumb};
    thumb.axis = nAxis - AXIS_X;
    thumb.numbers[0] = nPos;
    Emit(thumb);
    const std::string line = FormatAbsoluteMove(target[0], target[1], target[2], XYSpeed());
    if (SendAbsoluteMove("Slider move refused", {AsSent(target[0], 1), AsSent(target[1], 1), AsSent(target[2], 1)},
                         line))
        SendPositionQuery();
    else
        UpdateSliders();
}

// Keys jog only while the jog buttons are enabled (not before the first report, not while homing);
// otherwise Tab, Enter and Esc keep their usual meaning. Keys pressed with Alt are menu keys.
bool CStageSession::KeyPressed(const SKeyPress& key, SEffects& effects)
{
    if (!CanMove() || !m_bConnectedLook || key.alt)
        return false;
    const SJog jog = JogForKey(key.key);
    if (jog.nAxis == 0)
        return false;
    const long long now = m_in.nowMs();
    if (!m_keyRepeats.IsStale(static_cast<int>(key.key), key.autoRepeat, key.stamp, now)) {
        m_keyRepeats.StepStarted(static_cast<int>(key.key), now);
        StepMove(jog.nAxis, jog.bNegative);
    }
    effects = TakeEffects();
    return true;
}
