#pragma once
// Command lines and the reading of the distance and speed boxes: numbers in, G-code text out, in
// the C locale whatever the operator's. Pure functions, no widget in sight.
#include <string>
#include <string_view>

// The smallest steps: a distance at or below is taken as these.
constexpr float XY_STEP_MIN = 0.1f;
constexpr float Z_STEP_MIN = 0.02f;
constexpr int SPEED_MIN = 50;
constexpr int SPEED_MAX = 5000;

// Axis numbers of a step move.
constexpr int AXIS_X = 1, AXIS_Y = 2, AXIS_Z = 3;

// "G0 X1.00 F5000\n", "G0 Z-0.02 F3000\n" ...; "" for an axis other than 1, 2, 3.
std::string FormatStepMove(int nAxis, bool bNegative, float fDistance, int nSpeed);
// "G0 X%.1f Y%.1f Z%.1f F%d\n": the absolute move of the sliders and the last-position restore.
std::string FormatAbsoluteMove(float fX, float fY, float fZ, int nSpeed);
// "G0 X%.2f Y%.2f Z%.2f F%d\n": the park move.
std::string FormatParkMove(float fX, float fY, float fZ, int nSpeed);

// A value as the wire carries it with that many decimals ("%.2f" of 0.125 is 0.13): what the
// controller will be told, for the envelope checks.
float AsSent(float fValue, int nDecimals);

// "Park refused: (150.00, 150.00, 250.00) lies outside the stage", for the trace log.
std::string OutsideEnvelopeText(const char* what, float fX, float fY, float fZ);

// A distance box's text in millimetres: a text beginning with "0.02" is 0.02, an empty text 0,
// otherwise its leading number (0 without one). No minimum applied here.
float ReadDistanceText(std::string_view text);
// A speed box's text: empty is 50, otherwise its leading integer, held within 50..5000.
int ReadSpeedText(std::string_view text);
