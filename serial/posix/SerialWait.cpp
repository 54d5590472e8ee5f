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
    for (;;) {
        const DWORD mask = m_dwEventMask.load();
        events = 0;
        int queued = 0;
        if (LONG err = QueuedBytes(port.fd, queued))
            return err;
        events = port.TakeEvents(mask, queued);
        if (events)
            return ERROR_SUCCESS;
        bool fWoken = false;
        if (LONG err = port.WaitForNews((mask & EEventRecv) != 0, queued, deadline, fWoken))
            return err;
        if (fWoken)
            return ERROR_SUCCESS;
    }
}

// The selected events that occurred since the last look, with `queued` bytes waiting unread.
DWORD CSerial::SPort::TakeEvents(DWORD mask, int queued)
{
    DWORD events = 0;
    const std::uint64_t arrived = taken.load() + static_cast<std::uint64_t>(queued);
    if (fRebase.exchange(false))
        seenArrived = rebaseTo.load();
    if (arrived > seenArrived) {
        if (mask & EEventRecv)
            events |= EEventRecv;
        seenArrived = arrived;
    }
    // The counters after the queue: a driver counts a break or line error before it queues
    // the byte that came with it, so the bytes reported here never outrun their errors.
    events |= tracker.Check() & mask;
    return events;
}

// Sleeps until something may have happened: ERROR_SUCCESS to look again, with `fWoken` set when
// the mask was set again; ERROR_TIMEOUT, EIO or the failure of the wait otherwise.
LONG CSerial::SPort::WaitForNews(bool fWantRecv, int queued, const CDeadline& deadline, bool& fWoken)
{
    const int sourceWake = source ? source->WakeHandle() : -1;
    // With nothing queued, POLLIN is exactly "new bytes". With bytes waiting unread it would
    // fire at once for ever, so only hang-ups are polled for and the queue is looked at again
    // shortly.
    pollfd fds[4] = {{fd, static_cast<short>(fWantRecv && queued == 0 ? POLLIN : 0), 0},
                     {evWake.Handle(), POLLIN, 0},
                     {evRecheck.Handle(), POLLIN, 0},
                     {sourceWake, POLLIN, 0}};
    const int pollMs = fWantRecv && queued > 0 ? deadline.RemainingMs(kUnreadRecheckMs) : deadline.RemainingMs();
    const int n = ::poll(fds, sourceWake >= 0 ? 4 : 3, pollMs);
    if (n < 0)
        return errno == EINTR ? ERROR_SUCCESS : LastErrno();
    if (IsHangUp(fds[0].revents))
        return EIO;
    if (fds[1].revents & POLLIN) {
        evWake.Reset();
        fWoken = true;
        return ERROR_SUCCESS;
    }
    if (fds[2].revents & POLLIN)
        evRecheck.Reset();
    if (fds[3].revents & POLLIN)
        source->AcknowledgeWake();
    if (n == 0 && deadline.Expired())
        return ERROR_TIMEOUT;
    return ERROR_SUCCESS;
}
