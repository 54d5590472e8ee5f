#include "serial/posix/LockFile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

std::vector<std::string> g_lockDirs = {"/run/lock/", "/var/lock/"};

// The owner's process id, written as text or, by older programs, as a binary int; 0 when the
// file is missing or says nothing.
long LockOwner(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (content.size() == sizeof(int) && content.find_first_of("0123456789") == std::string::npos) {
        int binary = 0;
        std::memcpy(&binary, content.data(), sizeof binary);
        return binary;
    }
    return std::strtol(content.c_str(), nullptr, 10);
}

bool IsAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// Writes the file under a name of its own and links it into place, so that nobody ever reads a
// lock file that is still empty. 0, EEXIST, or why the folder took nothing.
int LinkLockFile(const std::string& dir, const std::string& path)
{
    const std::string temp = dir + "LTMP." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    const bool written = ::write(fd, text, static_cast<size_t>(n)) == n;
    ::close(fd);
    const int result = !written ? EIO : ::link(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
    ::unlink(temp.c_str());
    return result;
}

} // namespace

void SetLockDirsOverride(const std::vector<std::string>& dirs) { g_lockDirs = dirs; }

bool HasLiveLockFile(const std::string& name)
{
    for (const std::string& dir : g_lockDirs)
        if (IsAlive(LockOwner(dir + "LCK.." + name)))
            return true;
    return false;
}

bool CLockFile::Take(const std::string& name)
{
    Release();
    for (const std::string& dir : g_lockDirs) {
        const std::string path = dir + "LCK.." + name;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int err = LinkLockFile(dir, path);
            if (err == 0) {
                m_strPath = path;
                m_fHeld.store(true);
                return true;
            }
            if (err != EEXIST)
                break;   // this folder takes nothing from us: try the next
            // A live owner, this process included (another port object of ours has the device).
            if (IsAlive(LockOwner(path)))
                return false;
            ::unlink(path.c_str());   // stale: its process is gone
        }
    }
    return true;
}

void CLockFile::Release()
{
    if (m_fHeld.exchange(false) && LockOwner(m_strPath) == ::getpid())
        ::unlink(m_strPath.c_str());
}
