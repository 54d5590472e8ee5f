#pragma once
// A pseudo-terminal pair for tests, both sides raw. The test plays the far end on the
// controller side; the port under test opens the client side by its path.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

// The far side stops taking what the client writes (a controller that stopped reading, its buffer
// full, flow control held), or takes it again. Any descriptor of the client side will do.
inline void HoldClientOutput(int clientFd, bool hold) { ::tcflow(clientFd, hold ? TCOOFF : TCOON); }

// One more descriptor on a client side someone else serves (the simulator's), opened before the
// port under test holds the device.
struct SClientSide {
    const int fd;
    explicit SClientSide(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~SClientSide() { ::close(fd); }
};

class CPseudoTerminal {
public:
    CPseudoTerminal()
    {
        char name[128] = {};
        if (::openpty(&m_master, &m_client, name, nullptr, nullptr) != 0)
            throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
        m_path = name;
        MakeRaw(m_master);
        MakeRaw(m_client);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_client, F_SETFD, FD_CLOEXEC);
    }
    ~CPseudoTerminal()
    {
        CloseMaster();
        if (m_client >= 0)
            ::close(m_client);
    }
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    int Master() const { return m_master; }
    // The client side's device path, as a port opens it.
    const std::string& Path() const { return m_path; }

    // The far side goes away: every client descriptor is hung up.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    void HoldOutput(bool hold) const { HoldClientOutput(m_client, hold); }

    bool Send(const std::string& bytes) const
    {
        return ::write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until count bytes arrived or nothing came for quietMs.
    std::string Receive(size_t count, int quietMs = 2000) const
    {
        std::string got;
        char buf[4096];
        while (got.size() < count) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, quietMs) <= 0)
                break;
            const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    // Sends, and waits up to 5 s until the client side has the bytes queued (on any thread).
    void SendQueued(const std::string& bytes) const
    {
        const int before = ClientQueued();
        Send(bytes);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (ClientQueued() < before + static_cast<int>(bytes.size()) && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
    }

    // Bytes queued on the client side that the port has not read yet.
    int ClientQueued() const
    {
        int n = 0;
        ::ioctl(m_client, FIONREAD, &n);
        return n;
    }

    // The client side's line settings (a master reports those of its client).
    termios ClientSettings() const
    {
        termios tio{};
        ::tcgetattr(m_master, &tio);
        return tio;
    }

private:
    static void MakeRaw(int fd)
    {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }

    int m_master = -1;
    int m_client = -1;
    std::string m_path;
};
