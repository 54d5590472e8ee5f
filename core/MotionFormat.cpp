#include "core/MotionFormat.h"

#include <cmath>

#include "core/Numbers.h"

std::string FormatStepMove(int nAxis, bool bNegative, float fDistance, int nSpeed)
{
    const char* format = nullptr;
    switch (nAxis) {
    case AXIS_X: format = bNegative ? "G0 X-%.2f F%d\n" : "G0 X%.2f F%d\n"; break;
    case AXIS_Y: format = bNegative ? "G0 Y-%.2f F%d\n" : "G0 Y%.2f F%d\n"; break;
    case AXIS_Z: format = bNegative ? "G0 Z-%.2f F%d\n" : "G0 Z%.2f F%d\n"; break;
    default: return {};
    }
    return FormatC(format, static_cast<double>(fDistance), nSpeed);
}

std::string FormatAbsoluteMove(float fX, float fY, float fZ, int nSpeed)
{
    return FormatC("G0 X%.1f Y%.1f Z%.1f F%d\n", static_cast<double>(fX), static_cast<double>(fY),
                   static_cast<double>(fZ), nSpeed);
}

std::string FormatParkMove(float fX, float fY, float fZ, int nSpeed)
{
    return FormatC("G0 X%.2f Y%.2f Z%.2f F%d\n", static_cast<double>(fX), static_cast<double>(fY),
                   static_cast<double>(fZ), nSpeed);
}

float AsSent(float fValue, int nDecimals)
{
    if (!std::isfinite(fValue))
        return fValue;
    return static_cast<float>(ParseLeadingDouble(FormatC("%.*f", nDecimals, static_cast<double>(fValue))));
}

std::string OutsideEnvelopeText(const char* what, float fX, float fY, float fZ)
{
    return FormatC("%s: (%.2f, %.2f, %.2f) lies outside the stage", what, static_cast<double>(fX),
                   static_cast<double>(fY), static_cast<double>(fZ));
}

float ReadDistanceText(std::string_view text)
{
    if (text.starts_with("0.02"))
        return 0.02f;
    if (text.empty())
        return 0.0f;
    return static_cast<float>(ParseLeadingDouble(text));
}

int ReadSpeedText(std::string_view text)
{
    if (text.empty())
        return SPEED_MIN;
    const int speed = ParseLeadingInt(text);
    if (speed < SPEED_MIN)
        return SPEED_MIN;
    if (speed > SPEED_MAX)
        return SPEED_MAX;
    return speed;
}
