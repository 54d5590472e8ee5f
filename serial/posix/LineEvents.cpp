#include "serial/posix/LineEvents.h"

#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

constexpr DWORD EV_BREAK_BIT = 0x0040;
constexpr DWORD EV_ERR_BIT = 0x0080;

class CDriverLineEventSource final : public ILineEventSource {
public:
    explicit CDriverLineEventSource(int fd) : m_fd(fd) {}

    bool ReadCounters(SLineCounters& counters) override
    {
        if (!m_fSupported)
            return false;
        serial_icounter_struct icount{};
        if (::ioctl(m_fd, TIOCGICOUNT, &icount) != 0) {
            // Pseudo-terminals and some USB drivers keep no counters; asking again would not help.
            if (errno == ENOTTY || errno == EINVAL)
                m_fSupported = false;
            return false;
        }
        counters.dwBreak = static_cast<DWORD>(icount.brk);
        counters.dwFrame = static_cast<DWORD>(icount.frame);
        counters.dwParity = static_cast<DWORD>(icount.parity);
        counters.dwOverrun = static_cast<DWORD>(icount.overrun);
        counters.dwBufOverrun = static_cast<DWORD>(icount.buf_overrun);
        return true;
    }

private:
    int m_fd;
    bool m_fSupported = true;
};

} // namespace

std::unique_ptr<ILineEventSource> CreateDriverLineEventSource(int fd)
{
    return std::make_unique<CDriverLineEventSource>(fd);
}

void CLineEventTracker::Attach(ILineEventSource* source)
{
    m_pSource = source;
    m_last = SLineCounters{};
    m_dwErrors = 0;
    m_fHaveCounters = source && source->ReadCounters(m_last);
}

DWORD CLineEventTracker::Check()
{
    if (!m_pSource)
        return 0;
    SLineCounters now;
    if (!m_pSource->ReadCounters(now))
        return 0;
    if (!m_fHaveCounters) {
        // Counters that only appear now give no history to compare with; start from here.
        m_last = now;
        m_fHaveCounters = true;
        return 0;
    }
    DWORD events = 0;
    if (now.dwBreak != m_last.dwBreak) {
        events |= EV_BREAK_BIT;
        m_dwErrors |= CE_BREAK;
    }
    if (now.dwFrame != m_last.dwFrame) {
        events |= EV_ERR_BIT;
        m_dwErrors |= CE_FRAME;
    }
    if (now.dwParity != m_last.dwParity) {
        events |= EV_ERR_BIT;
        m_dwErrors |= CE_RXPARITY;
    }
    if (now.dwOverrun != m_last.dwOverrun) {
        events |= EV_ERR_BIT;
        m_dwErrors |= CE_OVERRUN;
    }
    if (now.dwBufOverrun != m_last.dwBufOverrun)
        m_dwErrors |= CE_RXOVER;
    m_last = now;
    return events;
}

DWORD CLineEventTracker::TakeErrors()
{
    const DWORD errors = m_dwErrors;
    m_dwErrors = 0;
    return errors;
}
