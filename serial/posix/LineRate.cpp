#include "serial/posix/LineRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "serial/SerialErrors.h"

namespace serial_detail {

namespace {

// A UART reads characters correctly up to a few percent away from its partner's rate; a driver
// that can only come further from the rate asked for has in effect refused it.
bool CloseEnough(speed_t actual, DWORD asked)
{
    const auto diff = actual > asked ? actual - asked : asked - actual;
    return static_cast<unsigned long long>(diff) * 50 <= asked;   // within 2 %
}

} // namespace

LONG SetArbitraryRate(int fd, DWORD rate)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return LastErrno();
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT))) | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        return LastErrno();
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return LastErrno();
    return CloseEnough(tio.c_ospeed, rate) ? ERROR_SUCCESS : EINVAL;
}

long QueryOutputRate(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return -1;
    return static_cast<long>(tio.c_ospeed);
}

} // namespace serial_detail
