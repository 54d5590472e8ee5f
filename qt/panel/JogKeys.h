#pragma once
// Qt's keys as the jog knows them.
#include <cstdint>

#include "core/JogPlan.h"

// The arrows and page keys by their meaning; the letters W A S D Q E by their place on the keyboard
// (the native key code, XKB's evdev + 8 on Linux), so that they jog under any layout; without a
// native code (a synthetic event) the letter itself is taken.
EJogKey JogKeyForQtKey(int qtKey, std::uint32_t nativeScanCode);
