// What one listing of the serial ports costs the window thread: eight adapters (pseudo-terminals
// behind ttyUSB0..7 in a device folder of its own), as the machine is, and again with another
// process holding many more descriptors, since the listing looks at every process's descriptors
// to see who holds a port. Prints CPU and wall time; it measures, it never fails on a time.
//
//   port_list_bench [runs] [extra descriptors]     (defaults 20 and 20000)
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/FileLocations.h"
#include "serial/ComPorts.h"

namespace {

double ThreadCpuMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void Print(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    std::printf("%-44s min %8.3f ms   median %8.3f ms   max %8.3f ms   (%zu runs)\n", what, ms.front(), median, ms.back(), n);
}

void Measure(const char* label, int runs, size_t expected)
{
    std::vector<double> cpu, wall;
    for (int i = 0; i < runs; ++i) {
        const double c0 = ThreadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        const size_t listed = ListComPorts(16).size();
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu.push_back(ThreadCpuMs() - c0);
        if (listed != expected)
            std::fprintf(stderr, "listed %zu ports, not %zu\n", listed, expected);
    }
    Print((std::string("listing of 8 ports, CPU, ") + label).c_str(), cpu);
    Print((std::string("listing of 8 ports, wall, ") + label).c_str(), wall);
}

// A process that holds count more descriptors until it is killed; -1 when it cannot.
pid_t HoldDescriptors(int count)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        rlimit lim{};
        ::getrlimit(RLIMIT_NOFILE, &lim);
        lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, static_cast<rlim_t>(count) + 64);
        ::setrlimit(RLIMIT_NOFILE, &lim);
        int opened = 0;
        while (opened < count && ::open("/dev/null", O_RDONLY) >= 0)
            ++opened;
        (void)!::write(ready[1], &opened, sizeof opened);
        ::pause();
        ::_exit(0);
    }
    int opened = 0;
    ::close(ready[1]);
    if (pid < 0 || ::read(ready[0], &opened, sizeof opened) != sizeof opened)
        opened = 0;
    ::close(ready[0]);
    std::printf("(another process holds %d more descriptors)\n", opened);
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int extra = argc > 2 ? std::atoi(argv[2]) : 20000;
    char root[] = "/tmp/port_list_bench.XXXXXX";
    if (!::mkdtemp(root))
        return 1;
    const std::string dir = root;
    ::mkdir((dir + "/data").c_str(), 0755);
    ::mkdir((dir + "/dev").c_str(), 0755);
    platform::SetDataDirOverride(dir + "/data");
    platform::SetDeviceDirOverride(dir + "/dev");
    std::vector<int> fds;
    for (int i = 0; i < 8; ++i) {
        int master = -1, slave = -1;
        char name[64];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return 1;
        ::close(slave);
        fds.push_back(master);
        ::symlink(name, (dir + "/dev/ttyUSB" + std::to_string(i)).c_str());
    }

    Measure("as the machine is", runs, 8);
    if (extra > 0) {
        const pid_t holder = HoldDescriptors(extra);
        Measure("with the descriptors held", runs, 8);
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
    }
    for (int fd : fds)
        ::close(fd);
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
