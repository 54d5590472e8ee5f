#include "sim/SimLine.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

class CFd {
public:
    CFd() = default;
    ~CFd() { Reset(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int Get() const { return m_fd; }

private:
    int m_fd = -1;
};

// A fresh pseudo-terminal echoes and turns "\n" into "\r\n": neither belongs on a controller's line.
bool MakeRaw(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool SetFlags(int fd, bool nonBlocking)
{
    const int fl = ::fcntl(fd, F_GETFL);
    const int fdfl = ::fcntl(fd, F_GETFD);
    return fl >= 0 && fdfl >= 0 && ::fcntl(fd, F_SETFD, fdfl | FD_CLOEXEC) == 0 &&
           (!nonBlocking || ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0);
}

int Waiting(int fd)
{
    int n = 0;
    return fd >= 0 && ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

} // namespace

struct CSimLine::SFds {
    CFd master, client, opens, wake;
};

CSimLine::CSimLine() : m_pFds(std::make_unique<SFds>()) {}

CSimLine::~CSimLine() = default;

bool CSimLine::Open(std::string& error)
{
    SFds& d = *m_pFds;
    auto fail = [&](const std::string& what, int err) {
        error = what + ": " + std::generic_category().message(err);
        d.master.Reset();
        d.client.Reset();
        d.opens.Reset();
        d.wake.Reset();
        m_strDevice.clear();
        return false;
    };
    int masterFd = -1, clientFd = -1;
    if (::openpty(&masterFd, &clientFd, nullptr, nullptr, nullptr) != 0)
        return fail("cannot open a pseudo-terminal", errno);
    d.master.Reset(masterFd);
    d.client.Reset(clientFd);
    char name[128];
    if (::ptsname_r(masterFd, name, sizeof name) != 0)
        return fail("cannot name the pseudo-terminal", errno);
    if (!MakeRaw(masterFd) || !MakeRaw(clientFd) || !SetFlags(masterFd, true) || !SetFlags(clientFd, false))
        return fail("cannot configure the pseudo-terminal", errno);
    // The descriptor that keeps the line up only reads: a program that looks for who holds the
    // device for writing must not take the simulator itself for another user of its port.
    const int keepFd = ::open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (keepFd < 0)
        return fail("cannot open the pseudo-terminal", errno);
    d.client.Reset(keepFd);
    // Opens by others are watched from now on: our own ones above do not count.
    const int opensFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    d.opens.Reset(opensFd);
    if (opensFd < 0 || ::inotify_add_watch(opensFd, name, IN_OPEN) < 0)
        return fail("cannot watch the pseudo-terminal", errno);
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
        return fail("cannot create an eventfd", errno);
    d.wake.Reset(wakeFd);
    m_strDevice = name;
    return true;
}

void CSimLine::Hangup()
{
    m_pFds->master.Reset();
    m_pFds->client.Reset();
    m_pFds->opens.Reset();
}

long CSimLine::Read(char* buffer, size_t size) { return ::read(m_pFds->master.Get(), buffer, size); }

long CSimLine::Write(const char* bytes, size_t size) { return ::write(m_pFds->master.Get(), bytes, size); }

bool CSimLine::Poll(bool wantWrite, int timeoutMs, SReady& ready)
{
    SFds& d = *m_pFds;
    pollfd fds[3] = {{d.master.Get(), POLLIN, 0}, {d.wake.Get(), POLLIN, 0}, {d.opens.Get(), POLLIN, 0}};
    if (wantWrite)
        fds[0].events |= POLLOUT;
    ready = {};
    const int polled = ::poll(fds, 3, timeoutMs);
    if (polled < 0)
        return errno == EINTR;
    ready.input = fds[0].revents & (POLLIN | POLLHUP | POLLERR);
    ready.opened = fds[2].revents & POLLIN;
    if (fds[1].revents & POLLIN) {
        eventfd_t ignored;
        ::eventfd_read(d.wake.Get(), &ignored);
        ready.wake = true;
    }
    return true;
}

void CSimLine::Wake()
{
    if (m_pFds->wake.Get() >= 0)
        ::eventfd_write(m_pFds->wake.Get(), 1);
}

int CSimLine::TakeOpens()
{
    int count = 0;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_pFds->opens.Get(), buf, sizeof buf);
        if (n <= 0)
            return count;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
            if (event->mask & IN_OPEN)
                ++count;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

int CSimLine::PendingInput() const { return Waiting(m_pFds->master.Get()); }

// The client side's input queue is shared by every descriptor of the device: our own idle one shows
// what the client has not read yet.
int CSimLine::UnreadByClient() const { return Waiting(m_pFds->client.Get()); }

} // namespace sim
