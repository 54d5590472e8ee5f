#include "serial/Serial.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "serial/ComPorts.h"
#include "serial/SerialErrors.h"
#include "serial/posix/SerialPortPrivate.h"

using serial_detail::CDeadline;
using serial_detail::IsHangUp;
using serial_detail::kUnreadRecheckMs;
using serial_detail::kWriteLimitMs;
using serial_detail::LastErrno;
using serial_detail::QueuedBytes;

namespace {

// "COM3" and "\\.\COM3" name a port; anything else is taken as a path.
std::string DevicePathFor(const std::string& device)
{
    std::string name = device.rfind("\\\\.\\", 0) == 0 ? device.substr(4) : device;
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o')
        && (name[2] == 'M' || name[2] == 'm')
        && name.find_first_not_of("0123456789", 3) == std::string::npos && name.size() < 8)
        return ResolveComPort(std::stoi(name.substr(3)));
    return device;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The line a port starts with: raw bytes, receiver on, modem lines ignored, 8N1, no flow control.
// VMIN 1 makes an empty non-blocking read fail with EAGAIN, so that a read of 0 bytes can only
// mean the device has gone.
void MakeDefaultLine(termios& tio)
{
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// How long a write may wait for a line that takes nothing. Without a time-out of the caller's, a
// line that takes nothing (a controller that stopped reading, flow control held) would block the
// caller for ever: the write gives up once the line has taken nothing for a while, however long a
// slow but moving line takes. A line that has already let a write run out is not waited on again
// until it takes bytes, so that a handler sending several lines to a stuck controller is held up
// once, not once per line.
class CWriteLimit {
public:
    CWriteLimit(DWORD timeout, std::atomic<bool>& fStalled)
        : m_fOwnLimit(timeout == INFINITE), m_fStalled(fStalled),
          m_deadline(m_fOwnLimit ? (fStalled.load() ? 0 : kWriteLimitMs) : timeout)
    {
    }

    // The line took bytes: our own limit starts again.
    void Progress()
    {
        if (m_fOwnLimit) {
            m_fStalled.store(false);
            m_deadline = CDeadline(kWriteLimitMs);
        }
    }

    // The output queue is full: waits until the line drains (ERROR_SUCCESS), the time is up
    // (ERROR_TIMEOUT) or the line fails.
    LONG WaitForRoom(int fd)
    {
        pollfd pfd{fd, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, m_deadline.RemainingMs());
        if (r < 0 && errno != EINTR)
            return LastErrno();
        if (r > 0 && IsHangUp(pfd.revents))
            return EIO;
        if (r == 0 && m_deadline.Expired()) {
            if (m_fOwnLimit)
                m_fStalled.store(true);
            return ERROR_TIMEOUT;
        }
        return ERROR_SUCCESS;
    }

private:
    const bool m_fOwnLimit;
    std::atomic<bool>& m_fStalled;
    CDeadline m_deadline;
};

// Writes all `size` bytes, as fast as the line takes them; `done` counts what went out, also when
// the write fails part-way.
LONG WriteAll(int fd, const char* data, DWORD size, CWriteLimit& limit, DWORD& done)
{
    done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            limit.Progress();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno != EAGAIN) {
            return LastErrno();
        } else if (LONG err = limit.WaitForRoom(fd)) {
            return err;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

bool serial_detail::IsVanishedCode(LONG code) { return code == EIO || code == ENXIO || code == ENODEV; }

CSerial::SPort::~SPort()
{
    if (fd >= 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);  // also drops the flock
    }
}

// Opens the device for this port alone and reads its line settings into `tio`.
LONG CSerial::SPort::Take(const std::string& path, termios& tio)
{
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return LastErrno();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? EBUSY : LastErrno();
    // Programs that look for lock files rather than locks see the port taken as well.
    if (char real[PATH_MAX]; !lockFile.Take(BaseName(::realpath(path.c_str(), real) ? real : path)))
        return EBUSY;
    if (LONG err = GetAttr(tio))
        return err;  // not a terminal
    ::ioctl(fd, TIOCEXCL);  // keeps out non-root openers; the lock keeps out the rest
    return ERROR_SUCCESS;
}

LONG CSerial::SPort::CreateEvents(bool fOverlapped)
{
    if (LONG err = evWake.Create())
        return err;
    if (LONG err = evRecheck.Create())
        return err;
    if (fOverlapped)
        if (LONG err = evOverlapped.Create())
            return err;
    return ERROR_SUCCESS;
}

LONG CSerial::SPort::GetAttr(termios& tio) const
{
    return ::tcgetattr(fd, &tio) == 0 ? ERROR_SUCCESS : LastErrno();
}

LONG CSerial::SPort::SetAttr(const termios& tio) const
{
    return ::tcsetattr(fd, TCSANOW, &tio) == 0 ? ERROR_SUCCESS : LastErrno();
}

CSerial::CSerial() = default;

CSerial::~CSerial()
{
    // The destructor of a derived class has already stopped whatever used the port.
    m_pPort.reset();
}

bool CSerial::IsOpen() const { return m_pPort != nullptr; }

void CSerial::UseLineEventSource(std::shared_ptr<ILineEventSource> source) { m_pLineSource = std::move(source); }

LONG CSerial::CheckOpen()
{
    return SetLastError(m_pPort ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

LONG CSerial::Open(const std::string& device, DWORD /*dwInQueue*/, DWORD /*dwOutQueue*/, bool fOverlapped)
{
    SetLastError(ERROR_SUCCESS);
    if (m_pPort)
        return SetLastError(ERROR_ALREADY_INITIALIZED);

    const std::string path = DevicePathFor(device);
    if (path.empty())
        return SetLastError(ENOENT);
    // The list the device was chosen from may be old: a program that has taken it since is seen
    // here, before the open that would join it on the line (and reset many boards).
    if (IsDeviceInUse(path))
        return SetLastError(EBUSY);

    auto port = std::make_unique<SPort>();
    termios tio{};
    if (LONG err = port->Take(path, tio))
        return SetLastError(err);
    if (LONG err = port->CreateEvents(fOverlapped))
        return SetLastError(err);
    port->source = m_pLineSource ? m_pLineSource : std::shared_ptr<ILineEventSource>(CreateDriverLineEventSource(port->fd));
    port->tracker.Attach(port->source.get());
    m_pPort = std::move(port);

    SetEventMask(EEventRecv | EEventBreak | EEventError);
    m_pPort->evWake.Reset();  // nobody waited yet: the new mask completes nothing
    ConfigureReadMode(EReadNonBlocking);
    // Failures here are not the caller's concern.
    MakeDefaultLine(tio);
    m_pPort->SetAttr(tio);
    return GetLastError();
}

void CSerial::ReleaseLockFile()
{
    if (m_pPort)
        m_pPort->lockFile.Release();
}

LONG CSerial::Close()
{
    SetLastError(ERROR_SUCCESS);
    m_pPort.reset();
    return ERROR_SUCCESS;
}

LONG CSerial::SetEventMask(DWORD mask)
{
    if (LONG err = CheckOpen())
        return err;
    m_dwEventMask.store(mask);
    // Selecting events completes a pending wait: that is how a blocked listener is woken.
    if (LONG err = m_pPort->evWake.Set())
        return SetLastError(err);
    return ERROR_SUCCESS;
}

DWORD CSerial::QueryEventMask()
{
    if (CheckOpen())
        return 0;
    return m_dwEventMask.load();
}

LONG CSerial::ConfigureEventChar(BYTE ch, bool fAdjustMask)
{
    if (LONG err = CheckOpen())
        return err;
    if (fAdjustMask)
        if (LONG err = SetEventMask(QueryEventMask() | EEventRcvEv))
            return err;
    m_pPort->eventChar = ch;
    return ERROR_SUCCESS;
}

BYTE CSerial::QueryEventChar()
{
    return CheckOpen() ? 0 : m_pPort->eventChar;
}

LONG CSerial::ConfigureReadMode(EReadMode readMode)
{
    if (LONG err = CheckOpen())
        return err;
    if (readMode != EReadNonBlocking && readMode != EReadBlocking)
        return SetLastError(E_INVALIDARG);
    m_pPort->readMode = readMode;
    return ERROR_SUCCESS;
}

LONG CSerial::FetchLineErrors(DWORD& errors)
{
    errors = 0;
    if (LONG err = CheckOpen())
        return err;
    errors = m_pPort->tracker.TakeErrors();
    return ERROR_SUCCESS;
}

LONG CSerial::Purge(int nWhat)
{
    if (LONG err = CheckOpen())
        return err;
    const bool rx = nWhat & EPurgeRx, tx = nWhat & EPurgeTx;
    if (!rx && !tx)
        return ERROR_SUCCESS;
    if (::tcflush(m_pPort->fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0)
        return SetLastError(LastErrno());
    if (!rx)
        return ERROR_SUCCESS;
    m_pPort->rebaseTo.store(m_pPort->taken.load());
    m_pPort->fRebase.store(true);
    m_pPort->evRecheck.Set();
    return ERROR_SUCCESS;
}

// The shared first half of WaitForEvent, Read and Write: checks the port and decides which
// overlapped structure is in use and how long the class itself may wait.
LONG CSerial::Start(SERIAL_OVERLAPPED*& ov, SERIAL_OVERLAPPED& own, DWORD& timeout)
{
    if (LONG err = CheckOpen())
        return err;
    if (!m_pPort->IsOverlapped()) {
        if (ov || timeout != INFINITE)
            return SetLastError(ERROR_INVALID_FUNCTION);
        return ERROR_SUCCESS;
    }
    if (ov) {
        // The caller waits on its own structure; the operation completes before we return.
        timeout = INFINITE;
        CSerialEvent::Reset(ov->hEvent);
        ov->dwTransferred = 0;
    } else {
        own = SERIAL_OVERLAPPED{};
        own.hEvent = m_pPort->evOverlapped.Handle();
        CSerialEvent::Reset(own.hEvent);
        ov = &own;
    }
    return ERROR_SUCCESS;
}

LONG CSerial::Complete(SERIAL_OVERLAPPED* ov, const SERIAL_OVERLAPPED& /*own*/, DWORD transferred)
{
    if (ov) {
        ov->dwTransferred = transferred;
        if (LONG err = CSerialEvent::Set(ov->hEvent))
            return SetLastError(err);
    }
    return ERROR_SUCCESS;
}

LONG CSerial::WriteText(const char* text, DWORD* written, SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    return Write(text, text ? static_cast<DWORD>(std::strlen(text)) : 0, written, ov, timeout);
}

LONG CSerial::Write(const void* data, DWORD size, DWORD* written, SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    DWORD local = 0;
    DWORD& count = written ? *written : local;
    count = 0;
    SERIAL_OVERLAPPED own;
    if (LONG err = Start(ov, own, timeout))
        return err;

    CWriteLimit limit(timeout, m_pPort->fStalled);
    DWORD done = 0;
    const LONG err = WriteAll(m_pPort->fd, static_cast<const char*>(data), size, limit, done);
    // A write that ran out of time is cancelled: it reports nothing written.
    if (err == ERROR_TIMEOUT)
        return SetLastError(err);
    count = done;
    if (err)
        return SetLastError(err);
    return Complete(ov, own, done);
}

LONG CSerial::Read(void* data, DWORD size, DWORD* read, SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    DWORD local = 0;
    DWORD& count = read ? *read : local;
    count = 0;
    SERIAL_OVERLAPPED own;
    if (LONG err = Start(ov, own, timeout))
        return err;

    DWORD done = 0;
    const LONG err = m_pPort->readMode == EReadBlocking ? ReadBlocking(static_cast<char*>(data), size, timeout, done)
                                                        : ReadAvailable(data, size, done);
    if (done) {
        // A waiter watching unread bytes would otherwise notice the emptied queue only at its
        // next look, and with it the next reply.
        m_pPort->taken.fetch_add(done);
        m_pPort->evRecheck.Set();
    }
    if (err)
        return SetLastError(err);
    count = done;
    return Complete(ov, own, done);
}

LONG CSerial::ReadAvailable(void* data, DWORD size, DWORD& done)
{
    done = 0;
    if (size == 0)
        return ERROR_SUCCESS;
    ssize_t n;
    do
        n = ::read(m_pPort->fd, data, size);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN ? ERROR_SUCCESS : LastErrno();
    if (n == 0)
        return EIO;  // with VMIN 1 only a vanished device reads as end of file
    done = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
}

// Waits for the whole count. Without a time-out bytes are taken as they come; with one, nothing
// is taken until all of them are there, so that a read that runs out leaves the line untouched.
LONG CSerial::ReadBlocking(char* data, DWORD size, DWORD timeout, DWORD& done)
{
    const int fd = m_pPort->fd;
    const CDeadline deadline(timeout);
    done = 0;
    while (done < size) {
        int queued = 0;
        if (LONG err = QueuedBytes(fd, queued))
            return err;
        const bool fTake = deadline.IsInfinite() ? queued > 0 : static_cast<DWORD>(queued) >= size;
        if (fTake) {
            const ssize_t n = ::read(fd, data + done, size - done);
            if (n > 0)
                done += static_cast<DWORD>(n);
            else if (n == 0)
                return EIO;
            else if (errno != EAGAIN && errno != EINTR)
                return LastErrno();
            continue;
        }
        pollfd pfd{fd, static_cast<short>(queued == 0 ? POLLIN : 0), 0};
        const int pollMs = queued == 0 ? deadline.RemainingMs() : deadline.RemainingMs(kUnreadRecheckMs);
        const int r = ::poll(&pfd, 1, pollMs);
        if (r < 0 && errno != EINTR)
            return LastErrno();
        if (r > 0 && IsHangUp(pfd.revents))
            return EIO;
        if (r == 0 && deadline.Expired())
            return ERROR_TIMEOUT;
    }
    return ERROR_SUCCESS;
}
