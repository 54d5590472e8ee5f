#pragma once
// CSerial: one serial port (termios on Linux, the Win32 comm API on Windows) with the line
// settings, flow control, read mode, event mask, event waits, reads, writes and purging the panel
// was written against. Every operation keeps its outcome as the last error and returns it;
// nothing throws.
//
// On Windows (serial/win32/) every operation is the comm call of the same name, and failures are
// the system's codes (GetLastError) unchanged. What differs from the description below: the open
// is the system's exclusive one; breaks and line errors are what ClearCommError reports; the
// received-bytes event is the driver's own; the write limit below is a bound on the whole write
// (about two seconds more than its bytes take at the configured rate); a read whose own wait ran
// out reports the bytes the driver had already handed over with ERROR_TIMEOUT, not a count of 0.
//
// How the line maps onto termios:
// - Open is exclusive: flock(LOCK_EX) on the descriptor plus TIOCEXCL for as long as the port is
//   open (root ignores TIOCEXCL, so the lock is what keeps others out). A device someone else
//   holds fails with EBUSY, and so does one that IsDeviceInUse (serial/ComPorts.h) sees taken
//   just before the open. While open, the port also holds a lock file "LCK..<node name>" with
//   the process id where a lock folder may be written (serial/LockFile.h); Close, destruction
//   and a vanished device remove it. The port starts raw (8N1, receiver on, modem lines ignored, no flow
//   control); the driver's queue sizes are fixed on this platform, so the sizes asked for are
//   accepted and change nothing.
// - Parity: 0 none, 1 odd, 2 even, 3 mark, 4 space (mark and space through CMSPAR); any parity
//   but 0 also turns on input parity checking (INPCK). Stop bits: 0 one, 1 one and a half,
//   2 two; one and a half and two are both CSTOPB, which a UART sends as 1.5 bits with five data
//   bits and as 2 bits otherwise, so QueryStopBits reports what the line really does.
// - Hardware handshake is RTS/CTS (CRTSCTS) in both directions. DTR/DSR handshaking has no
//   termios counterpart: DTR stays raised while the port is open and DSR is not watched.
//   Software handshake is XON/XOFF in both directions (IXON | IXOFF). Off clears both.
// - Events: 0x0001 (bytes received), 0x0040 (break) and 0x0080 (line error) are reported;
//   breaks and line errors only where the driver counts them (TIOCGICOUNT). The event character
//   is kept, but 0x0002 is never reported: the kernel's input queue cannot be searched without
//   consuming it.
// - "Bytes received" is an edge: a wait reports it once when new bytes arrive, not for as long as
//   bytes wait unread.
// - Overlapped operation: the port owns an event; an operation given the caller's
//   SERIAL_OVERLAPPED runs to completion on the calling thread and signals the structure's event
//   before it returns, so nothing is ever left pending. Without a structure of the caller's, a
//   finite time-out bounds the wait; when it runs out the operation is abandoned (a read takes
//   nothing, a write sends no more) and ERROR_TIMEOUT (1460) is returned with a count of 0.
// - A write is never left waiting for ever, overlapped or not: without a time-out of the
//   caller's it gives up with ERROR_TIMEOUT once the line has taken none of its bytes for about
//   two seconds (a controller that stopped reading, flow control held). After that, further
//   writes fail at once while the line still takes nothing, and wait normally once it moves.
#include <atomic>
#include <memory>
#include <string>

#include "platform/WinTypes.h"
#include "serial/SerialEvent.h"

class ILineEventSource;
// The line settings block, known only to the .cpp files.
#ifdef _WIN32
struct _DCB;
using SERIAL_LINE_SETTINGS = _DCB;
#else
struct termios;
using SERIAL_LINE_SETTINGS = termios;
#endif

// Stands in for an overlapped structure. hEvent is a CSerialEvent handle (serial/SerialEvent.h)
// that the operation signals when it has completed.
struct SERIAL_OVERLAPPED {
    SERIAL_EVENT_HANDLE hEvent = SERIAL_NO_EVENT;
    DWORD dwTransferred = 0;  // bytes moved by a completed Read or Write
};

class CSerial {
public:
    enum EHandshake { EHandshakeUnknown = -1, EHandshakeOff = 0, EHandshakeHardware = 1, EHandshakeSoftware = 2 };
    enum EReadMode { EReadUnknown = -1, EReadNonBlocking = 0, EReadBlocking = 1 };
    enum EParity { EParNone = 0, EParOdd = 1, EParEven = 2, EParMark = 3, EParSpace = 4 };
    enum EStopBits { EStop1 = 0, EStop1_5 = 1, EStop2 = 2 };
    enum EEvent : DWORD {
        EEventNone = 0x0000,
        EEventRecv = 0x0001,
        EEventRcvEv = 0x0002,
        EEventBreak = 0x0040,
        EEventError = 0x0080,
    };

    CSerial();
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // device: "COMn" (resolved through ResolveComPort, serial/ComPorts.h) or a device path.
    virtual LONG Open(const std::string& device, DWORD dwInQueue = 0, DWORD dwOutQueue = 0, bool fOverlapped = false);
    virtual LONG Close();

    virtual LONG ConfigureLine(DWORD baud, DWORD dataBits, DWORD parity, DWORD stopBits);
    virtual LONG ConfigureEventChar(BYTE ch, bool fAdjustMask);
    virtual LONG SetEventMask(DWORD mask);
    virtual LONG WaitForEvent(SERIAL_OVERLAPPED* ov = nullptr, DWORD timeout = INFINITE);
    virtual LONG ConfigureHandshake(EHandshake handshake);
    virtual LONG ConfigureReadMode(EReadMode readMode);

    virtual long QueryBaudRate();
    virtual long QueryDataBits();
    virtual long QueryParity();
    virtual long QueryStopBits();
    virtual EHandshake QueryHandshake();
    virtual DWORD QueryEventMask();
    virtual BYTE QueryEventChar();

    virtual LONG WriteText(const char* text, DWORD* written = nullptr, SERIAL_OVERLAPPED* ov = nullptr, DWORD timeout = INFINITE);
    virtual LONG Write(const void* data, DWORD size, DWORD* written = nullptr, SERIAL_OVERLAPPED* ov = nullptr, DWORD timeout = INFINITE);
    // Non-blocking mode returns at once with what is buffered; blocking mode waits for all of
    // size (a timed blocking read asks for no more than the driver queues, 4 KiB).
    virtual LONG Read(void* data, DWORD size, DWORD* read = nullptr, SERIAL_OVERLAPPED* ov = nullptr, DWORD timeout = INFINITE);

    // Discards what waits: what was received (EPurgeRx), what was written and not yet taken by the
    // other end (EPurgeTx), or both.
    enum EPurge { EPurgeRx = 0x1, EPurgeTx = 0x2 };
    LONG Purge(int nWhat = EPurgeRx | EPurgeTx);

    LONG GetLastError() const { return m_lLastError.load(); }
    bool IsOpen() const;

#ifndef _WIN32
    // Where breaks and line errors come from for the next Open: nullptr (the default) means the
    // driver's counters. Call it while the port is closed.
    void UseLineEventSource(std::shared_ptr<ILineEventSource> source);
#endif

protected:
    // The events of the last completed wait, cleared by taking them (the listener's step).
    DWORD TakeEventWord() { return m_dwEventWord.exchange(0); }
    // Fetches and clears the line error flags (CE_ values, serial/LineEvents.h).
    LONG FetchLineErrors(DWORD& errors);
    LONG SetLastError(LONG code) { m_lLastError.store(code); return code; }
    // The device went away: its lock file goes now, before the owner gets round to Close, so that
    // an adapter plugged in under the same name is not seen as ours. Safe on the listener thread.
    void ReleaseLockFile();

private:
    struct SPort;

    LONG Start(SERIAL_OVERLAPPED*& ov, SERIAL_OVERLAPPED& own, DWORD& timeout);
    LONG Complete(SERIAL_OVERLAPPED* ov, const SERIAL_OVERLAPPED& own, DWORD transferred);
    LONG WaitLineEvent(DWORD timeout, DWORD& events);
    LONG ReadAvailable(void* data, DWORD size, DWORD& done);
    LONG ReadBlocking(char* data, DWORD size, DWORD timeout, DWORD& done);
    LONG CheckOpen();
    LONG QueryLineSettings(SERIAL_LINE_SETTINGS& settings);

    // Two threads write it at once: the listener (waits, mask) and the window thread (the rest).
    std::atomic<LONG> m_lLastError{0};
    std::unique_ptr<SPort> m_pPort;
    std::atomic<DWORD> m_dwEventWord{0};
    std::atomic<DWORD> m_dwEventMask{0};
#ifndef _WIN32
    std::shared_ptr<ILineEventSource> m_pLineSource;
#endif
};
