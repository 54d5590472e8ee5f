// The panel's own part of the session: its start from System.cfg, the settings it loads and stores,
// the depth measurement, the option boxes, and closing.
#include "core/CommandLines.h"
#include "core/MotionFormat.h"
#include "core/Numbers.h"
#include "core/StageSession.h"

namespace {

const char* const kDlgStatus = "DlgStatus";
const char* const kLastPos = "Last_Pos";
const char* const kParkPos = "Park_Pos";
const char* const kSpdDst = "SpdDst";
const char* const kConnection = "Connection";

std::string PointText(const CStagePlan::Axes& p)
{
    return FormatC("  X = %.2f, Y = %.2f, Z = %.2f", static_cast<double>(p[0]), static_cast<double>(p[1]),
                   static_cast<double>(p[2]));
}

// A distance as the boxes and the steps take it: to the hundredth, as the step lines carry it,
// with at least one decimal ("10.0", "0.02"), so that files written before read as they did.
std::string DistanceText(float value)
{
    std::string text = FormatC("%.2f", static_cast<double>(value));
    if (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.')
        text.pop_back();
    return text;
}

} // namespace

// A flag is set only by the exact text "1": "true", " 1" and "0" all read as off.
bool CStageSession::ReadFlag(std::string_view section, std::string_view key) const
{
    return m_in.setting(section, key) == "1";
}

float CStageSession::ReadFloat(std::string_view section, std::string_view key) const
{
    const std::string text = m_in.setting(section, key);
    return text.empty() ? 0.0f : static_cast<float>(ParseLeadingDouble(text));
}

bool CStageSession::RetainChecked() const { return m_in.box(EControl::RetainCheck) == "1"; }

void CStageSession::Store(std::string_view section, std::string_view key, std::string value)
{
    SEffect e{EEffect::Store};
    e.caption = std::string(section);
    e.key = std::string(key);
    e.text = std::move(value);
    Emit(std::move(e));
}

SEffects CStageSession::Start()
{
    m_pos = m_start = {};
    m_nConnectPhase = CONNECT_PHASE_IDLE;
    m_bSliderStep = false;
    m_bConnected = false;
    ShowConnected(false);
    ShowDepthCleared();
    LoadSpeedsAndDistances();
    m_bAlwaysOnTop = ReadFlag(kDlgStatus, "OnTop");
    EmitFlag(EEffect::TopMost, m_bAlwaysOnTop);
    EmitFlag(EEffect::Check, m_bAlwaysOnTop, EControl::OnTopCheck);
    LoadRetainLastPos();
    if (!ReadFlag(kDlgStatus, "ExpanderDlg"))
        Emit({EEffect::ToggleExpander});
    m_bReadyToConnect = true;
    EmitFlag(EEffect::StatusButton, false);
    EmitText(EControl::StatusButton, "Disconnected");
    LoadParkPosition();
    SetPositionLive(false);
    return TakeEffects();
}

void CStageSession::LoadRetainLastPos()
{
    m_bRetainLastPos = ReadFlag(kLastPos, "keep");
    EmitFlag(EEffect::Check, m_bRetainLastPos, EControl::RetainCheck);
}

void CStageSession::RestoreLastPosition()
{
    const float x = ReadFloat(kLastPos, "X");
    const float y = ReadFloat(kLastPos, "Y");
    const float z = ReadFloat(kLastPos, "Z");
    // The mode lines go out even before the handshake; the move line itself waits for it.
    WriteLine(LINE_UNITS_MM);
    WriteLine(LINE_ABSOLUTE);
    const CStagePlan::Axes target = {AsSent(x, 1), AsSent(y, 1), AsSent(z, 1)};
    if (SendAbsoluteMove("Last position not restored", target, FormatAbsoluteMove(x, y, z, XYSpeed())))
        SendQuery();
}

void CStageSession::SaveLastPosition()
{
    Store(kLastPos, "X", FormatC("%.1f", static_cast<double>(m_pos[0])));
    Store(kLastPos, "Y", FormatC("%.1f", static_cast<double>(m_pos[1])));
    Store(kLastPos, "Z", FormatC("%.1f", static_cast<double>(m_pos[2])));
}

void CStageSession::LoadParkPosition()
{
    m_park = {ReadFloat(kParkPos, "X"), ReadFloat(kParkPos, "Y"), ReadFloat(kParkPos, "Z")};
    // (0, 0, 0) means no park position has been stored.
    if (m_park[0] == 0.0f && m_park[1] == 0.0f && m_park[2] == 0.0f)
        m_park = {PARK_DEFAULT_X, PARK_DEFAULT_Y, PARK_DEFAULT_Z};
}

// Whole seconds within the allowed range; anything else (missing, "30.5", "2", "abc") means the default.
void CStageSession::LoadHomingTimeout()
{
    const std::string text = m_in.setting(kConnection, "HomingTimeout");
    int seconds = 0;
    bool whole = !text.empty() && text.size() <= 4;
    for (const char c : text) {
        whole = whole && c >= '0' && c <= '9';
        seconds = seconds * 10 + (c - '0');
    }
    m_nHomingTimeoutTicks = whole && seconds >= HOMING_TIMEOUT_MIN_S && seconds <= HOMING_TIMEOUT_MAX_S
                                ? seconds
                                : HOMING_TIMEOUT_DEFAULT_S;
}

// A box whose key is missing keeps its default entry: an empty speed would read as 50 mm/min.
void CStageSession::LoadSpeedsAndDistances()
{
    const struct {
        EControl box;
        const char* key;
        bool isSpeed;
    } boxes[] = {{EControl::XYSpeed, "XYSpeed", true},
                 {EControl::ZSpeed, "ZSpeed", true},
                 {EControl::XYDistance, "XYDistance", false},
                 {EControl::ZDistance, "ZDistance", false}};
    for (const auto& b : boxes) {
        const std::string text = m_in.setting(kSpdDst, b.key);
        if (!text.empty())
            EmitText(b.box, b.isSpeed ? FormatC("%d", ParseLeadingInt(text)) : text);
    }
}

// The depth measurement: a start point, an end point and the Z distance between them, all taken
// from the last reported position. Nothing is sent to the controller.
SEffects CStageSession::DepthStart()
{
    m_start = m_pos;
    EmitText(EControl::StartPoint, PointText(m_start));
    return TakeEffects();
}

SEffects CStageSession::DepthEnd()
{
    EmitText(EControl::EndPoint, PointText(m_pos));
    const double depth = static_cast<double>(m_pos[2]) - static_cast<double>(m_start[2]);
    EmitText(EControl::Depth, FormatC("  %.2f", depth));
    return TakeEffects();
}

SEffects CStageSession::DepthReset()
{
    ShowDepthCleared();
    return TakeEffects();
}

// Clears the read-outs only: the start point keeps its value.
void CStageSession::ShowDepthCleared()
{
    EmitText(EControl::StartPoint, PointText({}));
    EmitText(EControl::EndPoint, PointText({}));
    EmitText(EControl::Depth, "  0.0");
}

SEffects CStageSession::RetainToggled()
{
    m_bRetainLastPos = !m_bRetainLastPos;
    Store(kLastPos, "keep", m_bRetainLastPos ? "1" : "0");
    return TakeEffects();
}

// The member is flipped, not read from the box: the click has flipped the box already.
SEffects CStageSession::OnTopToggled()
{
    m_bAlwaysOnTop = !m_bAlwaysOnTop;
    Store(kDlgStatus, "OnTop", m_bAlwaysOnTop ? "1" : "0");
    EmitFlag(EEffect::TopMost, m_bAlwaysOnTop);
    return TakeEffects();
}

SEffects CStageSession::ExpanderToggled(bool expanded)
{
    Store(kDlgStatus, "ExpanderDlg", expanded ? "1" : "0");
    return TakeEffects();
}

// A connected panel keeps the jog boxes, and the last position when asked to, before it asks.
SEffects CStageSession::CloseRequested()
{
    if (m_bConnected) {
        Store(kSpdDst, "XYSpeed", FormatC("%d", XYSpeed()));
        Store(kSpdDst, "ZSpeed", FormatC("%d", ReadSpeedText(m_in.box(EControl::ZSpeed))));
        Store(kSpdDst, "XYDistance", DistanceText(ReadDistanceText(m_in.box(EControl::XYDistance))));
        Store(kSpdDst, "ZDistance", DistanceText(ReadDistanceText(m_in.box(EControl::ZDistance))));
        m_bRetainLastPos = RetainChecked();
        if (m_bRetainLastPos && m_bPositionLive)
            SaveLastPosition();
    }
    ShowBox("Are you sure you want to exit?", "", EBoxStyle::OkCancelQuestion, BOX_CLOSE_WINDOW);
    return TakeEffects();
}
