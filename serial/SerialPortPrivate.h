#pragma once
// Internal to CSerial: the platform state of an open port, shared by the files that implement it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <termios.h>

#include "serial/LineEvents.h"
#include "serial/Serial.h"
#include "serial/SerialEvent.h"

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
    std::atomic<bool> fRebase{false};  // a purge discarded bytes uncounted
    std::uint64_t seenArrived = 0;     // used by the waiting thread only

    SPort() = default;
    SPort(const SPort&) = delete;
    SPort& operator=(const SPort&) = delete;
    ~SPort();

    bool IsOverlapped() const { return evOverlapped.IsValid(); }
    LONG GetAttr(termios& tio) const;
    LONG SetAttr(const termios& tio) const;
};
