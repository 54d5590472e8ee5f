#include "serial/SerialEvent.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "serial/SerialErrors.h"

CSerialEvent::~CSerialEvent() { Release(); }

LONG CSerialEvent::Create()
{
    Release();
    m_hEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return m_hEvent < 0 ? serial_detail::LastErrno() : ERROR_SUCCESS;
}

void CSerialEvent::Release()
{
    if (m_hEvent >= 0)
        ::close(m_hEvent);
    m_hEvent = -1;
}

LONG CSerialEvent::Set(int handle)
{
    const std::uint64_t one = 1;
    if (::write(handle, &one, sizeof one) == sizeof one)
        return ERROR_SUCCESS;
    // A counter already near its limit is still signalled, which is all a set has to achieve.
    return errno == EAGAIN ? ERROR_SUCCESS : serial_detail::LastErrno();
}

LONG CSerialEvent::Reset(int handle)
{
    std::uint64_t count = 0;
    if (::read(handle, &count, sizeof count) == sizeof count || errno == EAGAIN)
        return ERROR_SUCCESS;
    return serial_detail::LastErrno();
}

LONG CSerialEvent::Wait(int handle, DWORD timeout)
{
    pollfd pfd{handle, POLLIN, 0};
    serial_detail::CDeadline deadline(timeout);
    for (;;) {
        const int n = ::poll(&pfd, 1, deadline.RemainingMs());
        if (n > 0)
            return (pfd.revents & POLLNVAL) ? EBADF : ERROR_SUCCESS;
        if (n == 0) {
            if (deadline.Expired())
                return ERROR_TIMEOUT;
            continue;
        }
        if (errno != EINTR)
            return serial_detail::LastErrno();
    }
}
