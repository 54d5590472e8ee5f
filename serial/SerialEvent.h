#pragma once
// A manual-reset event that one thread signals and another waits on with a time-out; it stands
// in for the event handles the serial classes were written against and can sit in a poll set.
#include "platform/WinTypes.h"

class CSerialEvent {
public:
    CSerialEvent() = default;
    ~CSerialEvent();
    CSerialEvent(const CSerialEvent&) = delete;
    CSerialEvent& operator=(const CSerialEvent&) = delete;

    // Creates the event, non-signalled. Returns 0 or the errno code.
    LONG Create();
    void Release();
    bool IsValid() const { return m_fd >= 0; }
    // The pollable descriptor (readable while signalled), or -1.
    int Handle() const { return m_fd; }

    // Static forms work on any handle, so that an overlapped structure can carry just the number.
    static LONG Set(int handle);
    static LONG Reset(int handle);
    // 0 when signalled, ERROR_TIMEOUT when the time-out ran out first, else the errno code.
    static LONG Wait(int handle, DWORD timeout);

    LONG Set() const { return Set(m_fd); }
    LONG Reset() const { return Reset(m_fd); }
    LONG Wait(DWORD timeout) const { return Wait(m_fd, timeout); }

private:
    int m_fd = -1;
};
