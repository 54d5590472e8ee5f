#pragma once
// The simulator's end of its pseudo-terminal: the controller side, raw and non-blocking; a client
// descriptor of its own that keeps the line up between the panel's opens; a watch on opens by
// other programs; and an eventfd that wakes the serving loop. The object owns every descriptor.
#include <cstddef>
#include <memory>
#include <string>

namespace sim {

class CSimLine {
public:
    CSimLine();
    ~CSimLine();
    CSimLine(const CSimLine&) = delete;
    CSimLine& operator=(const CSimLine&) = delete;

    // A fresh pseudo-terminal in raw mode on both sides. False with a reason in `error`; nothing is
    // left open then.
    bool Open(std::string& error);
    // Hangs the line up (the client sees POLLHUP, then EIO); the wake-up stays usable.
    void Hangup();
    const std::string& Device() const { return m_strDevice; }

    // As read(2) and write(2) on the controller side, errno included.
    long Read(char* buffer, size_t size);
    long Write(const char* bytes, size_t size);

    struct SReady {
        bool input = false;    // bytes from the client, or the line went down
        bool wake = false;     // Wake() was called (taken: the next Poll waits again)
        bool opened = false;   // another program opened the device (see TakeOpens)
    };
    // Waits up to timeoutMs (-1: no limit) for input, room to write (when asked for), a wake-up
    // or an open by another program. False when poll failed other than by a signal.
    bool Poll(bool wantWrite, int timeoutMs, SReady& ready);
    void Wake();
    // Opens of the device by other programs since the last call; our own never count.
    int TakeOpens();

    int PendingInput() const;    // bytes the client sent that are not read yet (-1: cannot tell)
    int UnreadByClient() const;  // bytes sent that the client has not read yet (-1: cannot tell)

private:
    struct SFds;
    std::unique_ptr<SFds> m_pFds;
    std::string m_strDevice;
};

} // namespace sim
