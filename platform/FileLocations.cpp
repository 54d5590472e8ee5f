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

std::string DecideDataDir()
{
    std::string exeDir;
    const std::string exe = ExecutablePath();
    if (const auto slash = exe.rfind('/'); slash != std::string::npos)
        exeDir = exe.substr(0, slash + 1);
    const bool writable = !exeDir.empty() && ::access(exeDir.c_str(), W_OK) == 0;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string dir = DataDirFor(exeDir, writable, xdg ? xdg : "", home ? home : "");
    if (dir != exeDir)
        MakeDirs(dir);
    return dir;
}

} // namespace

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

bool IsSystemDir(const std::string& dir)
{
    // An installed program must not write beside itself even when it may (as root it always may):
    // the package manager owns these folders and a second user would share one System.cfg. The
    // package's own layout counts wherever it is unpacked (dpkg-deb -x, a staging root, a chroot).
    for (const char* prefix : {"/usr/", "/opt/"})
        if (dir.rfind(prefix, 0) == 0)
            return true;
    for (const std::string suffix : {"/usr/bin/", "/usr/local/bin/"})
        if (dir.size() >= suffix.size() && dir.compare(dir.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    return false;
}

std::string DataDirFor(const std::string& exeDir, bool exeDirWritable, const std::string& xdgConfigHome,
                       const std::string& home)
{
    if (!exeDir.empty() && exeDirWritable && !IsSystemDir(WithSlash(exeDir)))
        return WithSlash(exeDir);
    std::string base;
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/')   // a relative value is to be ignored
        base = xdgConfigHome;
    else if (!home.empty())
        base = WithSlash(home) + ".config";
    else
        base = "/tmp";
    return WithSlash(base) + "TarnikS/";
}

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
