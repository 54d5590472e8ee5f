// CSerial's event wait: the received-bytes edge, breaks and line errors, and the wake-up that
// SetEventMask gives a pending wait.
#include <cerrno>
#include <poll.h>

#include "serial/SerialErrors.h"
#include "serial/posix/SerialPortPrivate.h"

using serial_detail::CDeadline;
using serial_detail::IsHangUp;
using serial_detail::kUnreadRecheckMs;
using serial_detail::LastErrno;
using serial_detail::QueuedBytes;

LONG CSerial::WaitForEvent(SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    SERIAL_OVERLAPPED own;
    if (LONG err = Start(ov, own, timeout))
        return err;
    DWORD events = 0;
    if (LONG err = WaitLineEvent(timeout, events))
        return SetLastError(err);
    m_dwEventWord.store(events);
    return Complete(ov, own, 0);
}

// Waits until a selected event occurs, the mask is set again (events 0), the time-out runs out
// (ERROR_TIMEOUT) or the line hangs up (EIO).
LONG CSerial::WaitLineEvent(DWORD timeout, DWORD& events)
{
    SPort& port = *m_pPort;
    const CDeadline deadline(timeout);
    ILineEventSource* source = port.source.get();
    const int sourceWake = source ? source->WakeHandle() : -1;
    for (;;) {
        const DWORD mask = m_dwEventMask.load();
        const bool fWantRecv = (mask & EEventRecv) != 0;
        events = 0;
        int queued = 0;
        if (LONG err = QueuedBytes(port.fd, queued))
            return err;
        const std::uint64_t arrived = port.taken.load() + static_cast<std::uint64_t>(queued);
        if (port.fRebase.exchange(false))
            port.seenArrived = port.rebaseTo.load();
        if (arrived > port.seenArrived) {
            if (fWantRecv)
                events |= EEventRecv;
            port.seenArrived = arrived;
        }
        // The counters after the queue: a driver counts a break or line error before it queues
        // the byte that came with it, so the bytes reported here never outrun their errors.
        events |= port.tracker.Check() & mask;
        if (events)
            return ERROR_SUCCESS;

        // With nothing queued, POLLIN is exactly "new bytes". With bytes waiting unread it would
        // fire at once for ever, so only hang-ups are polled for and the queue is looked at again
        // shortly.
        pollfd fds[4] = {{port.fd, static_cast<short>(fWantRecv && queued == 0 ? POLLIN : 0), 0},
                         {port.evWake.Handle(), POLLIN, 0},
                         {port.evRecheck.Handle(), POLLIN, 0},
                         {sourceWake, POLLIN, 0}};
        const int pollMs = fWantRecv && queued > 0 ? deadline.RemainingMs(kUnreadRecheckMs) : deadline.RemainingMs();
        const int n = ::poll(fds, sourceWake >= 0 ? 4 : 3, pollMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return LastErrno();
        }
        if (IsHangUp(fds[0].revents))
            return EIO;
        if (fds[1].revents & POLLIN) {
            port.evWake.Reset();
            events = 0;
            return ERROR_SUCCESS;
        }
        if (fds[2].revents & POLLIN)
            port.evRecheck.Reset();
        if (fds[3].revents & POLLIN)
            source->AcknowledgeWake();
        if (n == 0 && deadline.Expired())
            return ERROR_TIMEOUT;
    }
}

