#include "platform/FileLocations.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Where the files go when no home folder is known and no private folder can be made: a folder
// that does not exist and that no ordinary user may create, so every write fails, every read gives
// the defaults and no port entry is found.
constexpr const char* kNoDataDir = "/nonexistent/TarnikS/";

// A folder of ours alone: a real folder (not a link) that we own and nobody else may write.
bool IsOwnPrivateDir(const std::string& dir)
{
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

} // namespace

std::string DecideDataDir(const std::string& exeDir)
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string dir = DataDirFor(exeDir, !exeDir.empty() && MayKeepFilesIn(exeDir), xdg ? xdg : "", HomeDir());
    if (dir.empty()) {
        const std::string own = PrivateDirIn("/tmp/");
        return own.empty() ? kNoDataDir : own;
    }
    if (dir != exeDir)
        MakeDirs(dir);
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
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/')   // a relative value is to be ignored
        return WithSlash(xdgConfigHome) + "TarnikS/";
    if (!home.empty())
        return WithSlash(home) + ".config/TarnikS/";
    return {};
}

bool MayKeepFilesIn(const std::string& dir)
{
    struct stat st {};
    return ::access(dir.c_str(), W_OK) == 0 && ::stat(dir.c_str(), &st) == 0 && (st.st_mode & S_IWOTH) == 0;
}

std::string HomeDir()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    passwd entry {};
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::geteuid(), &entry, buf.data(), buf.size(), &found) != 0 || !found || !entry.pw_dir ||
        entry.pw_dir[0] != '/')
        return {};
    return entry.pw_dir;
}

std::string PrivateDirIn(const std::string& parent)
{
    // The same name at every run, so that settings persist and the simulator and the panel meet;
    // a name someone else got to first (a link, a folder of another user or one others may write)
    // is left alone for a folder of this run only, which mkdtemp makes ours alone.
    // (No slash at the end while we look: it would make lstat follow a link.)
    const std::string name = WithSlash(parent) + "TarnikS-" + std::to_string(::geteuid());
    if ((::mkdir(name.c_str(), 0700) == 0 || errno == EEXIST) && IsOwnPrivateDir(name))
        return name + "/";
    std::string fresh = name + "-XXXXXX";
    if (!::mkdtemp(fresh.data()))
        return {};
    return fresh + "/";
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
    if (g_dataDir.empty()) {
        const std::string exe = ExecutablePath();
        g_dataDir = DecideDataDir(exe.substr(0, exe.rfind('/') + 1));
    }
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
