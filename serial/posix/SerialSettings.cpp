// CSerial's line settings: baud rate, character format and flow control, kept in termios (a rate
// without a speed constant of its own goes through LineRate.cpp).
#include <cerrno>
#include <termios.h>

#include "serial/posix/LineRate.h"
#include "serial/posix/SerialPortPrivate.h"

namespace {

struct SBaud {
    DWORD rate;
    speed_t speed;
};

constexpr SBaud kBauds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedFor(DWORD rate, speed_t& speed)
{
    for (const SBaud& b : kBauds)
        if (b.rate == rate) {
            speed = b.speed;
            return true;
        }
    return false;
}

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;

// Data bits 5..8, a parity code and a stop-bit code, all checked by the caller.
void SetCharacterFormat(termios& tio, DWORD dataBits, DWORD parity, DWORD stopBits)
{
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | kSizes[dataBits - 5];

    constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
    tio.c_cflag = (tio.c_cflag & ~kParityBits) | kParities[parity];
    if (parity != CSerial::EParNone)
        tio.c_iflag |= INPCK;
    else
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);

    if (stopBits == CSerial::EStop1)
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    else
        tio.c_cflag |= CSTOPB;
}

} // namespace

LONG CSerial::ConfigureLine(DWORD baud, DWORD dataBits, DWORD parity, DWORD stopBits)
{
    if (LONG err = CheckOpen())
        return err;
    termios tio{};
    if (LONG err = m_pPort->GetAttr(tio))
        return SetLastError(err);

    speed_t speed = B0;
    const bool fConstant = SpeedFor(baud, speed);
    if (baud == 0 || dataBits < 5 || dataBits > 8 || parity > EParSpace || stopBits > EStop2)
        return SetLastError(EINVAL);
    if (fConstant) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        // Input at the output rate, also after a rate that was set by number.
        tio.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
    }

    SetCharacterFormat(tio, dataBits, parity, stopBits);
    if (LONG err = m_pPort->SetAttr(tio))
        return SetLastError(err);
    if (!fConstant)
        if (LONG err = serial_detail::SetArbitraryRate(m_pPort->fd, baud))
            return SetLastError(err);
    m_pPort->parity = static_cast<EParity>(parity);
    return ERROR_SUCCESS;
}

LONG CSerial::ConfigureHandshake(EHandshake handshake)
{
    if (LONG err = CheckOpen())
        return err;
    termios tio{};
    if (LONG err = m_pPort->GetAttr(tio))
        return SetLastError(err);
    const tcflag_t soft = IXON | IXOFF;
    switch (handshake) {
    case EHandshakeOff:
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        tio.c_iflag &= ~soft;
        break;
    case EHandshakeHardware:
        tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~soft;
        break;
    case EHandshakeSoftware:
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        tio.c_iflag |= soft;
        break;
    default:
        return SetLastError(E_INVALIDARG);
    }
    if (LONG err = m_pPort->SetAttr(tio))
        return SetLastError(err);
    return ERROR_SUCCESS;
}

// The open port's settings for a query; the failure is recorded and given back.
LONG CSerial::QueryLineSettings(termios& tio)
{
    if (LONG err = CheckOpen())
        return err;
    if (LONG err = m_pPort->GetAttr(tio))
        return SetLastError(err);
    return ERROR_SUCCESS;
}

long CSerial::QueryBaudRate()
{
    termios tio{};
    if (QueryLineSettings(tio))
        return -1;
    const long rate = serial_detail::QueryOutputRate(m_pPort->fd);
    if (rate < 0)
        SetLastError(serial_detail::LastErrno());
    return rate;
}

long CSerial::QueryDataBits()
{
    termios tio{};
    if (QueryLineSettings(tio))
        return -1;
    switch (tio.c_cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

long CSerial::QueryParity()
{
    termios tio{};
    if (QueryLineSettings(tio))
        return -1;
    if (!(tio.c_iflag & INPCK))
        return EParNone;
    // A pseudo-terminal checks nothing and clears PARENB (and forces CS8) whatever it is told;
    // the code last configured is then the best answer there is.
    if (!(tio.c_cflag & PARENB))
        return m_pPort->parity;
    const bool fOdd = (tio.c_cflag & PARODD) != 0;
    if (tio.c_cflag & CMSPAR)
        return fOdd ? EParMark : EParSpace;
    return fOdd ? EParOdd : EParEven;
}

long CSerial::QueryStopBits()
{
    termios tio{};
    if (QueryLineSettings(tio))
        return -1;
    if (!(tio.c_cflag & CSTOPB))
        return EStop1;
    return (tio.c_cflag & CSIZE) == CS5 ? EStop1_5 : EStop2;
}

CSerial::EHandshake CSerial::QueryHandshake()
{
    termios tio{};
    if (QueryLineSettings(tio))
        return EHandshakeUnknown;
    if (tio.c_cflag & CRTSCTS)
        return EHandshakeHardware;
    if ((tio.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF))
        return EHandshakeSoftware;
    return EHandshakeOff;
}
