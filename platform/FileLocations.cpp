#include "platform/FileLocations.h"

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::mutex g_mutex;
std::string g_dataDir;   // decided once, or set by an override
std::string g_deviceDir = "/dev/";

std::string WithSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

bool MakeDirs(const std::string& dir)
{
    std::string partial;
    for (size_t i = 0; i < dir.size(); ++i) {
        partial += dir[i];
        if ((dir[i] == '/' && i > 0) || i + 1 == dir.size())
            if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
    }
    return true;
}

std::string XdgDir()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    std::string dir = WithSlash(base) + "TarnikS/";
    MakeDirs(dir);
    return dir;
}

std::string DecideDataDir()
{
    const std::string exe = ExecutablePath();
    const auto slash = exe.rfind('/');
    if (slash != std::string::npos) {
        std::string dir = exe.substr(0, slash + 1);
        if (::access(dir.c_str(), W_OK) == 0)
            return dir;
    }
    return XdgDir();
}

} // namespace

std::string ExecutablePath()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string DataDir()
{
    std::lock_guard lock(g_mutex);
    if (g_dataDir.empty())
        g_dataDir = DecideDataDir();
    return g_dataDir;
}

void SetDataDirOverride(const std::string& dir)
{
    std::lock_guard lock(g_mutex);
    g_dataDir = WithSlash(dir);
}

std::string PortsDir() { return DataDir() + "ports/"; }

std::string DeviceDir()
{
    std::lock_guard lock(g_mutex);
    return g_deviceDir;
}

void SetDeviceDirOverride(const std::string& dir)
{
    std::lock_guard lock(g_mutex);
    g_deviceDir = WithSlash(dir);
}

} // namespace platform
