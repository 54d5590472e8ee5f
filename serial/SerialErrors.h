#pragma once
// Internal to the serial classes: the one place where errno becomes a result code, which codes
// mean a vanished device, and the deadline arithmetic every timed wait shares.
#include <cerrno>
#include <chrono>

#include "platform/WinTypes.h"

namespace serial_detail {

// Platform failures reach callers as their errno value, unchanged. A call that failed without
// saying why still must not look like success.
inline LONG ErrnoToCode(int err) { return err > 0 ? static_cast<LONG>(err) : static_cast<LONG>(EIO); }
inline LONG LastErrno() { return ErrnoToCode(errno); }

// True for the codes a line gives once its device has gone (a USB adapter pulled out, the far
// side of a pseudo-terminal closed); any other failure of an event wait is not taken for that.
bool IsVanishedCode(LONG code);

// A time-out in milliseconds (INFINITE = never) turned into poll() time-outs.
class CDeadline {
public:
    explicit CDeadline(DWORD timeoutMs)
        : m_fInfinite(timeoutMs == INFINITE),
          m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

    bool IsInfinite() const { return m_fInfinite; }
    bool Expired() const { return !m_fInfinite && std::chrono::steady_clock::now() >= m_end; }

    // Milliseconds for poll(): -1 when infinite, rounded up so that a wait never ends early.
    int RemainingMs() const
    {
        if (m_fInfinite)
            return -1;
        const auto left = m_end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return 0;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
    }

    // The smaller of the remaining time and a cap, for waits that must look around regularly.
    int RemainingMs(int capMs) const
    {
        const int left = RemainingMs();
        return (left < 0 || left > capMs) ? capMs : left;
    }

private:
    bool m_fInfinite;
    std::chrono::steady_clock::time_point m_end;
};

} // namespace serial_detail
