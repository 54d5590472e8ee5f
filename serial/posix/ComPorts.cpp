#include "serial/ComPorts.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

namespace {

// A file of /proc, read whole: a busy machine holds thousands of locks, and the one on a port
// may come anywhere in the list.
std::string ReadProcFile(const std::string& path)
{
    std::ifstream in(path);
    std::string text, line;
    while (std::getline(in, line))
        text += line + '\n';
    return text;
}

// "MAJ:MIN:INODE" as /proc/locks names a locked file (the numbers of the file system in hex).
std::string LockKey(const struct stat& st)
{
    char key[64];
    std::snprintf(key, sizeof key, " %02x:%02x:%lu ", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    return key;
}

// Of the devices given (real paths), those another process has open for writing. A reader alone
// does not hold a port; a process whose descriptors we may not look at is not known to hold it.
// The process table is read once, however many devices are asked about: a machine may hold tens
// of thousands of descriptors.
std::set<std::string> OpenForWritingElsewhere(const std::set<std::string>& reals)
{
    std::set<std::string> found;
    if (reals.empty())
        return found;
    const std::string self = std::to_string(::getpid());
    char fdDir[64], fdPath[64 + 256], target[PATH_MAX];
    for (const std::string& pid : DirEntries("/proc/")) {
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        std::snprintf(fdDir, sizeof fdDir, "/proc/%s/fd/", pid.c_str());
        DIR* d = ::opendir(fdDir);
        if (!d)
            continue;
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::snprintf(fdPath, sizeof fdPath, "%s%s", fdDir, e->d_name);
            const ssize_t n = ::readlink(fdPath, target, sizeof target - 1);
            if (n <= 0)
                continue;
            const auto it = reals.find(std::string(target, static_cast<size_t>(n)));
            if (it == reals.end() || found.count(*it))
                continue;
            const std::string info = ReadProcFile("/proc/" + pid + "/fdinfo/" + e->d_name);
            const auto flags = info.find("flags:");
            if (flags != std::string::npos && (std::strtol(info.c_str() + flags + 6, nullptr, 8) & O_ACCMODE) != O_RDONLY)
                found.insert(*it);
        }
        ::closedir(d);
    }
    return found;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

} // namespace

std::set<std::string> DevicesInUse(const std::vector<std::string>& paths)
{
    const std::string locks = ReadProcFile("/proc/locks");
    std::set<std::string> inUse, unseen;
    std::map<std::string, std::vector<std::string>> asked;   // real path -> the paths that name it
    for (const std::string& path : paths) {
        const std::string real = RealPath(path);
        struct stat st{};
        if (real.empty() || ::stat(real.c_str(), &st) != 0)
            continue;
        asked[real].push_back(path);
        // Lock files carry the node's name; a link in the device folder may give it another one.
        if (locks.find(LockKey(st)) != std::string::npos || HasLiveLockFile(BaseName(real)) ||
            (BaseName(path) != BaseName(real) && HasLiveLockFile(BaseName(path))))
            inUse.insert(real);
        else
            unseen.insert(real);
    }
    for (const std::string& real : OpenForWritingElsewhere(unseen))
        inUse.insert(real);
    std::set<std::string> result;
    for (const std::string& real : inUse)
        for (const std::string& path : asked[real])
            result.insert(path);
    return result;
}

bool IsDeviceInUse(const std::string& path) { return !DevicesInUse({path}).empty(); }

std::vector<SComPort> ListComPorts(int nLast)
{
    std::vector<SComPort> ports = MapComPorts(nLast);
    std::vector<std::string> devices;
    for (const SComPort& port : ports)
        devices.push_back(port.strDevice);
    const std::set<std::string> inUse = DevicesInUse(devices);
    ports.erase(std::remove_if(ports.begin(), ports.end(), [&](const SComPort& p) { return inUse.count(p.strDevice) > 0; }),
                ports.end());
    return ports;
}
