#include "serial/ComPorts.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "platform/FileLocations.h"

namespace {

std::vector<std::string> DirEntries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            names.emplace_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

// The number after prefix when name is prefix followed by digits only, else -1.
int NumberAfter(const std::string& name, const std::string& prefix)
{
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    if (name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
        return -1;
    return std::atoi(name.c_str() + prefix.size());
}

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// Serial-core drivers create ttyS nodes for every possible UART; sysfs says which ones the
// kernel found (type 0 is "unknown"). Nodes without that attribute are some other driver.
bool UartPresent(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    std::ifstream type("/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)) + "/type");
    int nType = -1;
    return !(type >> nType) || nType != 0;
}

// ports/ entries by number: the device behind each ("" for a link that leads nowhere).
std::map<int, std::string> PinnedPorts()
{
    std::map<int, std::string> pinned;
    const std::string dir = platform::PortsDir();
    for (const std::string& name : DirEntries(dir))
        if (const int n = NumberAfter(name, "COM"); n > 0)
            pinned[n] = RealPath(dir + name);
    return pinned;
}

// The devices present, in the order they take the free COM numbers.
std::vector<std::string> PresentDevices()
{
    const std::string dir = platform::DeviceDir();
    const std::vector<std::string> names = DirEntries(dir);
    std::vector<std::string> devices;
    for (const char* prefix : {"ttyACM", "ttyUSB", "ttyS"}) {
        std::vector<std::pair<int, std::string>> found;
        for (const std::string& name : names)
            if (const int n = NumberAfter(name, prefix); n >= 0)
                found.emplace_back(n, name);
        std::sort(found.begin(), found.end());
        for (const auto& [n, name] : found) {
            const std::string path = dir + name;
            if (std::string(prefix) == "ttyS" ? UartPresent(path) : ::access(path.c_str(), F_OK) == 0)
                devices.push_back(path);
        }
    }
    return devices;
}

} // namespace

std::vector<SComPort> MapComPorts(int nLast)
{
    std::vector<SComPort> ports;
    const std::map<int, std::string> pinned = PinnedPorts();
    std::set<std::string> pinnedDevices;
    for (const auto& [n, device] : pinned)
        if (!device.empty())
            pinnedDevices.insert(device);

    std::vector<std::string> devices = PresentDevices();
    auto next = devices.begin();
    for (int n = 1; n <= nLast; ++n) {
        if (auto it = pinned.find(n); it != pinned.end()) {
            if (!it->second.empty())
                ports.push_back({n, it->second});
            continue;
        }
        while (next != devices.end() && pinnedDevices.count(RealPath(*next)))
            ++next;
        if (next == devices.end())
            continue;
        const std::string real = RealPath(*next);
        ports.push_back({n, real.empty() ? *next : real});
        ++next;
    }
    return ports;
}

std::string ResolveComPort(int n)
{
    if (n < 1)
        return {};
    for (const SComPort& port : MapComPorts(n))
        if (port.nNumber == n)
            return port.strDevice;
    return {};
}

bool TrialOpenExclusive(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios tio{};
    const bool fFree = ::tcgetattr(fd, &tio) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return fFree;
}

std::vector<SComPort> ListComPorts(int nLast)
{
    std::vector<SComPort> ports = MapComPorts(nLast);
    ports.erase(std::remove_if(ports.begin(), ports.end(), [](const SComPort& p) { return !TrialOpenExclusive(p.strDevice); }),
                ports.end());
    return ports;
}
