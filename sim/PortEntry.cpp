#include "sim/PortEntry.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileLocations.h"

namespace sim {
namespace {

constexpr int FIRST_COM = 1;
constexpr int LAST_COM = 16;

std::string LinkTarget(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Pseudo-terminal numbers are reused, so only a link whose device is gone is known to be stale.
bool IsStaleSimulatorLink(const std::string& path)
{
    const std::string target = LinkTarget(path);
    struct stat st {};
    return target.rfind("/dev/pts/", 0) == 0 && ::stat(target.c_str(), &st) != 0 && errno == ENOENT;
}

} // namespace

bool CPortEntry::TryLink(const std::string& path, const std::string& device)
{
    // symlink() fails with EEXIST instead of overwriting: two simulators starting at once never
    // take the same number.
    if (::symlink(device.c_str(), path.c_str()) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    if (!IsStaleSimulatorLink(path)) {
        errno = EEXIST;
        return false;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return false;
    return ::symlink(device.c_str(), path.c_str()) == 0;
}

bool CPortEntry::Create(const std::string& portsDir, int comNumber, const std::string& device)
{
    Remove();
    std::string dir = portsDir;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    if (dir.empty() || !platform::MakeDirs(dir))
        return false;
    const int first = comNumber > 0 ? comNumber : FIRST_COM;
    const int last = comNumber > 0 ? comNumber : LAST_COM;
    for (int n = first; n <= last; ++n) {
        const std::string path = dir + "COM" + std::to_string(n);
        if (TryLink(path, device)) {
            m_nCom = n;
            m_strPath = path;
            m_strDevice = device;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void CPortEntry::Remove()
{
    if (m_strPath.empty())
        return;
    if (LinkTarget(m_strPath) == m_strDevice)
        ::unlink(m_strPath.c_str());
    m_strPath.clear();
    m_strDevice.clear();
    m_nCom = 0;
}

} // namespace sim
