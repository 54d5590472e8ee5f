#pragma once
// Line rates that have no speed constant of their own (250000, for one), through the kernel's
// termios2 interface. Its header, <asm/termbits.h>, redefines what <termios.h> declares, so it
// lives in this file alone.
#include "platform/WinTypes.h"

namespace serial_detail {

// Sets both directions of the open terminal fd to rate bits per second. A rate the device refuses,
// or replaces by one too far from it to carry characters, fails with EINVAL.
LONG SetArbitraryRate(int fd, DWORD rate);

// The output rate the terminal keeps, whichever way it was set; -1 on failure.
long QueryOutputRate(int fd);

} // namespace serial_detail
