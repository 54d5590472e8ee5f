#pragma once
// Internal to CSerial: the platform state of an open port, shared by the files that implement it.
#include <memory>
#include <termios.h>

#include "serial/LineEvents.h"
#include "serial/Serial.h"
#include "serial/SerialEvent.h"

struct CSerial::SPort {
    int fd = -1;
    CSerialEvent evOverlapped;  // present only on an overlapped port
    CSerialEvent evWake;        // SetEventMask completes a pending event wait through it
    EReadMode readMode = EReadNonBlocking;
    BYTE eventChar = 0;
    EParity parity = EParNone;  // the code last configured
    std::shared_ptr<ILineEventSource> source;
    CLineEventTracker tracker;  // used by the thread that waits for events
    int lastQueued = 0;         // input queue length at the last look, for the received edge

    SPort() = default;
    SPort(const SPort&) = delete;
    SPort& operator=(const SPort&) = delete;
    ~SPort();

    bool IsOverlapped() const { return evOverlapped.IsValid(); }
    LONG GetAttr(termios& tio) const;
    LONG SetAttr(const termios& tio) const;
};
