#pragma once
// Internal to CSerial: the platform state of an open port, shared by the files that implement it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "serial/posix/LineEvents.h"
#include "serial/posix/LockFile.h"
#include "serial/Serial.h"
#include "serial/SerialErrors.h"
#include "serial/SerialEvent.h"

namespace serial_detail {

// While bytes wait unread, poll() would report them over and over; waits look at the queue
// length this often instead, which keeps an idle listener asleep.
constexpr int kUnreadRecheckMs = 10;

// How long a write without a time-out of the caller's waits for a line that takes nothing: a
// line of the panel's goes out in a few milliseconds at any usual baud rate.
constexpr DWORD kWriteLimitMs = 2000;

// A hung-up line (the far side closed, the adapter pulled out) polls as HUP/ERR for ever.
inline bool IsHangUp(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

inline LONG QueuedBytes(int fd, int& queued)
{
    return ::ioctl(fd, FIONREAD, &queued) == 0 ? ERROR_SUCCESS : LastErrno();
}

} // namespace serial_detail

struct CSerial::SPort {
    int fd = -1;
    CSerialEvent evOverlapped;  // present only on an overlapped port
    CSerialEvent evWake;        // SetEventMask completes a pending event wait through it
    CSerialEvent evRecheck;     // a read or purge took bytes: the waiter looks at the queue again
    EReadMode readMode = EReadNonBlocking;
    BYTE eventChar = 0;
    EParity parity = EParNone;  // the code last configured
    std::shared_ptr<ILineEventSource> source;
    CLineEventTracker tracker;  // used by the thread that waits for events
    // The received edge: every byte that ever arrived is either still queued or was taken by a
    // read (or a purge), so queued + taken only grows, and growth is news. The waiter keeps the
    // highest sum it saw; a read that has emptied the queue but not yet counted itself only
    // makes the sum look smaller for a moment.
    std::atomic<std::uint64_t> taken{0};
    // A purge discarded bytes uncounted: the sum starts again from what had been taken when the
    // queue was emptied, so that bytes arriving after the purge are news even before the waiter
    // has looked again.
    std::atomic<std::uint64_t> rebaseTo{0};
    std::atomic<bool> fRebase{false};
    std::uint64_t seenArrived = 0;     // used by the waiting thread only
    std::atomic<bool> fStalled{false}; // the last write ran out of time and nothing went out since
    CLockFile lockFile;                // tells other serial programs the port is ours; goes after the fd

    SPort() = default;
    SPort(const SPort&) = delete;
    SPort& operator=(const SPort&) = delete;
    ~SPort();

    bool IsOverlapped() const { return evOverlapped.IsValid(); }
    LONG Take(const std::string& path, termios& tio);
    LONG CreateEvents(bool fOverlapped);
    DWORD TakeEvents(DWORD mask, int queued);
    LONG WaitForNews(bool fWantRecv, int queued, const serial_detail::CDeadline& deadline, bool& fWoken);
    LONG GetAttr(termios& tio) const;
    LONG SetAttr(const termios& tio) const;
};
