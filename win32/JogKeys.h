#pragma once
// A key-down message as the jog knows it: the arrows and page keys by their virtual-key code, the
// letters W A S D Q E by their place on the keyboard (the scan code in the message's lParam), so
// that they jog under any layout.
#include <cstdint>

#include "core/JogPlan.h"

EJogKey JogKeyForKeyDown(unsigned virtualKey, std::uintptr_t lParam);
