#pragma once
// Internal to CSerial on Windows: the state of an open port, and the one overlapped step every
// transfer and event wait goes through.
#include <windows.h>

#include <atomic>
#include <string>

#include "serial/Serial.h"
#include "serial/SerialEvent.h"

namespace serial_detail {

// A write without a time-out of the caller's is given this long beyond what its bytes take at
// the configured rate: a line of the panel's goes out in a few milliseconds.
constexpr DWORD kWriteLimitMs = 2000;

// The system's code of the call that just failed; a failure without one must not read as success.
inline LONG LastSystemError()
{
    const DWORD err = ::GetLastError();
    return err ? static_cast<LONG>(err) : static_cast<LONG>(ERROR_GEN_FAILURE);
}

// How an overlapped operation ended: its own outcome, and whether the class's wait had to cut
// it short (it may still have completed before the cut took).
struct SOverlappedResult {
    enum EEnd { ECompleted, ETimedOut, EWoken };
    LONG code = ERROR_SUCCESS;  // 0, or the code the operation ended with
    DWORD transferred = 0;
    EEnd end = ECompleted;
};

} // namespace serial_detail

struct CSerial::SPort {
    HANDLE hPort = INVALID_HANDLE_VALUE;
    CSerialEvent evOverlapped;  // present only on an overlapped port
    CSerialEvent evWake;        // SetEventMask ends a pending event wait through it
    std::atomic<bool> fStalled{false};  // the last write ran out of time
    std::atomic<EReadMode> readMode{EReadNonBlocking};
    // Line errors that a read's look at the queue fetched (and so cleared) before the listener
    // did: they are kept for its next fetch.
    std::atomic<DWORD> errorsSeen{0};

    SPort() = default;
    SPort(const SPort&) = delete;
    SPort& operator=(const SPort&) = delete;
    ~SPort()
    {
        if (hPort != INVALID_HANDLE_VALUE)
            ::CloseHandle(hPort);
    }

    bool IsOverlapped() const { return evOverlapped.IsValid(); }
    LONG Queued(DWORD& size);
    LONG GetState(DCB& dcb) const;
    LONG SetState(DCB& dcb) const;

    // Starts one operation with an OVERLAPPED whose event is hEvent and sees it to its end:
    // completion, the time-out or, when `wake` is given, the wake event; the last two cut it
    // short with `cancel`. `start` returns the BOOL of ReadFile, WriteFile or WaitCommEvent.
    // Nothing is left pending when it returns, so the structure and the buffers may go.
    template <class FStart, class FCancel>
    serial_detail::SOverlappedResult Run(FStart start, FCancel cancel, HANDLE hEvent, DWORD timeout, HANDLE wake) const;
};

template <class FStart, class FCancel>
serial_detail::SOverlappedResult CSerial::SPort::Run(FStart start, FCancel cancel, HANDLE hEvent, DWORD timeout,
                                                     HANDLE wake) const
{
    using serial_detail::SOverlappedResult;
    SOverlappedResult result;
    OVERLAPPED ov{};
    ov.hEvent = hEvent;
    ::ResetEvent(hEvent);
    if (!start(&ov)) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_IO_PENDING) {
            result.code = err ? static_cast<LONG>(err) : static_cast<LONG>(ERROR_GEN_FAILURE);
            return result;
        }
        const HANDLE handles[2] = {hEvent, wake};
        const DWORD r = ::WaitForMultipleObjects(wake ? 2 : 1, handles, FALSE, timeout);
        if (r != WAIT_OBJECT_0) {
            result.end = r == WAIT_OBJECT_0 + 1 ? SOverlappedResult::EWoken : SOverlappedResult::ETimedOut;
            cancel(&ov);
            // Cut short or not, the operation must be over before its structure goes.
            if (!::GetOverlappedResult(hPort, &ov, &result.transferred, TRUE))
                result.code = serial_detail::LastSystemError();
            return result;
        }
    }
    if (!::GetOverlappedResult(hPort, &ov, &result.transferred, FALSE))
        result.code = serial_detail::LastSystemError();
    return result;
}
