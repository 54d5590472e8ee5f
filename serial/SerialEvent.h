#pragma once
// A manual-reset event that one thread signals and another waits on with a time-out: an eventfd
// that can sit in a poll set, or on Windows the system's own event object.
#include "platform/WinTypes.h"

#ifdef _WIN32
using SERIAL_EVENT_HANDLE = void*;  // an event HANDLE
inline constexpr SERIAL_EVENT_HANDLE SERIAL_NO_EVENT = nullptr;
#else
using SERIAL_EVENT_HANDLE = int;    // an eventfd, readable while signalled
inline constexpr SERIAL_EVENT_HANDLE SERIAL_NO_EVENT = -1;
#endif

class CSerialEvent {
public:
    CSerialEvent() = default;
    ~CSerialEvent();
    CSerialEvent(const CSerialEvent&) = delete;
    CSerialEvent& operator=(const CSerialEvent&) = delete;

    // Creates the event, non-signalled. Returns 0 or the platform's error code.
    LONG Create();
    void Release();
    bool IsValid() const { return m_hEvent != SERIAL_NO_EVENT; }
    // The handle, or SERIAL_NO_EVENT.
    SERIAL_EVENT_HANDLE Handle() const { return m_hEvent; }

    // Static forms work on any handle, so that an overlapped structure can carry just the handle.
    static LONG Set(SERIAL_EVENT_HANDLE handle);
    static LONG Reset(SERIAL_EVENT_HANDLE handle);
    // 0 when signalled, ERROR_TIMEOUT when the time-out ran out first, else the platform's code.
    static LONG Wait(SERIAL_EVENT_HANDLE handle, DWORD timeout);

    LONG Set() const { return Set(m_hEvent); }
    LONG Reset() const { return Reset(m_hEvent); }
    LONG Wait(DWORD timeout) const { return Wait(m_hEvent, timeout); }

private:
    SERIAL_EVENT_HANDLE m_hEvent = SERIAL_NO_EVENT;
};
