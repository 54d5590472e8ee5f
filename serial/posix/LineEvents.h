#pragma once
// Where breaks and line errors come from. Real UART, cdc-acm and FTDI drivers keep running
// counters of them; a pseudo-terminal keeps none and cannot produce either, so tests put a
// source of their own behind the same interface.
#include <memory>

#include "platform/WinTypes.h"

// Running totals since the line was opened; only their growth matters.
struct SLineCounters {
    DWORD dwBreak = 0;
    DWORD dwFrame = 0;
    DWORD dwParity = 0;
    DWORD dwOverrun = 0;     // the UART's own receive register overran
    DWORD dwBufOverrun = 0;  // the driver's input queue overflowed
};

class ILineEventSource {
public:
    virtual ~ILineEventSource() = default;
    // Fills in the current totals; false when the line keeps none (no break or error is reported).
    virtual bool ReadCounters(SLineCounters& counters) = 0;
    // A descriptor that turns readable when the totals moved without a byte arriving, or -1.
    // Breaks and errors on a real line come with a byte, which wakes the waiter anyway.
    virtual int WakeHandle() const { return -1; }
    // Quiets WakeHandle() once its wake-up has been noticed.
    virtual void AcknowledgeWake() {}
};

// The driver's counters (TIOCGICOUNT) of the open descriptor.
std::unique_ptr<ILineEventSource> CreateDriverLineEventSource(int fd);

// Line error flags as the panel's message carries them in the high word.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// Turns growth of the counters into break (0x0040) and line error (0x0080) events, and keeps
// the error flags that accumulated until someone fetches them. Used by one thread at a time.
class CLineEventTracker {
public:
    // Takes the source's present totals as the baseline; nullptr detaches.
    void Attach(ILineEventSource* source);
    // Event bits for whatever grew since the last look; remembers the matching error flags.
    DWORD Check();
    // The error flags gathered so far, cleared by the fetch.
    DWORD TakeErrors();

private:
    ILineEventSource* m_pSource = nullptr;
    SLineCounters m_last;
    bool m_fHaveCounters = false;
    DWORD m_dwErrors = 0;
};
