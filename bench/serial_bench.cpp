// Measures, on a pseudo-terminal: the time from bytes written on the far side to the posted
// message arriving at a QObject, and the time Close takes with the listener blocked in its wait.
// Prints min/median/max; it judges nothing.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "qt/platform/NamedMessages.h"
#include "qt/serial/SerialWnd.h"

namespace {

using Clock = std::chrono::steady_clock;

class CArrivals : public QObject {
public:
    Clock::time_point last{};
    int count = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != static_cast<QEvent::Type>(CSerialWnd::DefaultComMsg()))
            return QObject::event(e);
        last = Clock::now();
        ++count;
        return true;
    }
};

struct SPty {
    int master = -1, client = -1;
    std::string path;
    SPty()
    {
        char name[128];
        if (::openpty(&master, &client, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        path = name;
        for (int fd : {master, client}) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~SPty()
    {
        ::close(master);
        ::close(client);
    }
};

void Report(const char* what, std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    std::printf("%-44s n=%-4zu min %8.1f us  median %8.1f us  max %8.1f us\n", what, us.size(), us.front(),
                us[us.size() / 2], us.back());
}

// Waits for the next arrival while the event loop runs, as the panel's window thread would.
bool AwaitArrival(CArrivals& arrivals, int before)
{
    const auto give_up = Clock::now() + std::chrono::seconds(5);
    while (arrivals.count == before) {
        if (Clock::now() > give_up)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    SPty pty;

    {
        CArrivals arrivals;
        CSerialWnd port;
        if (port.Open(pty.path, &arrivals) != 0) {
            std::fprintf(stderr, "open %s: %d\n", pty.path.c_str(), port.GetLastError());
            return 1;
        }
        std::vector<double> latency;
        char buf[2047];
        for (int i = 0; i < runs; ++i) {
            const int before = arrivals.count;
            const auto t0 = Clock::now();
            if (::write(pty.master, "ok\n", 3) != 3)
                return 1;
            if (!AwaitArrival(arrivals, before)) {
                std::fprintf(stderr, "no message after 5 s\n");
                return 1;
            }
            latency.push_back(std::chrono::duration<double, std::micro>(arrivals.last - t0).count());
            port.Read(buf, sizeof buf);  // as the panel does, so the next write is news again
        }
        Report("bytes written -> message delivered", latency);
    }

    {
        std::vector<double> closing;
        for (int i = 0; i < std::min(runs, 100); ++i) {
            CArrivals arrivals;
            CSerialWnd port;
            if (port.Open(pty.path, &arrivals) != 0)
                return 1;
            // Give the listener time to settle into its wait; this pause is not measured.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const auto t0 = Clock::now();
            port.Close();
            closing.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        Report("Close with the listener blocked", closing);
    }
    return 0;
}
