#pragma once
// A reported position as a slider position. Header-only and free of Qt so that every place that
// turns controller text into slider positions, the panel and the checks on received bytes, uses
// the same conversion.
#include <algorithm>

// Truncates toward zero like the original integer conversion, but never overflows: a reported
// value far outside the slider's range still lands at its nearer end.
inline int ToSliderPos(float value)
{
    return static_cast<int>(std::clamp(value, -1.0e6f, 1.0e6f));
}
