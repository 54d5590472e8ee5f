#include "serial/PortPins.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileLocations.h"

namespace {

std::string EntryPath(int n) { return platform::PortsDir() + "COM" + std::to_string(n); }

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

bool IsLink(const std::string& path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

bool CanPinPort(int n)
{
    struct stat st{};
    return n > 0 && ::lstat(EntryPath(n).c_str(), &st) != 0 && errno == ENOENT;
}

bool IsPortPinnedTo(int n, const std::string& device)
{
    const std::string entry = EntryPath(n);
    if (n <= 0 || !IsLink(entry))
        return false;
    const std::string real = RealPath(entry);
    return !real.empty() && real == RealPath(device);
}

bool PinPort(int n, const std::string& target)
{
    if (target.empty() || !CanPinPort(n) || !platform::MakeDirs(platform::PortsDir()))
        return false;
    return ::symlink(target.c_str(), EntryPath(n).c_str()) == 0;
}

bool UnpinPort(int n, const std::string& device)
{
    return IsPortPinnedTo(n, device) && ::unlink(EntryPath(n).c_str()) == 0;
}

std::vector<int> AbsentPins(int nLast)
{
    std::vector<int> absent;
    for (int n = 1; n <= nLast; ++n)
        if (IsLink(EntryPath(n)) && RealPath(EntryPath(n)).empty())
            absent.push_back(n);
    return absent;
}

bool UnpinAbsentPort(int n)
{
    const std::string entry = EntryPath(n);
    return n > 0 && IsLink(entry) && RealPath(entry).empty() && ::unlink(entry.c_str()) == 0;
}
