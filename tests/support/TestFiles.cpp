#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

CTempDir::CTempDir()
{
    std::string templ = (std::filesystem::temp_directory_path() / "tarnik-test-XXXXXX").string();
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = templ + "/";
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    // A test may have taken write permission away; give it back so the folder can go.
    for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec))
        ::chmod(entry.path().c_str(), 0755);
    ::chmod(m_path.c_str(), 0755);
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int AsOrdinaryUser(std::initializer_list<std::string> paths, const std::function<int()>& body)
{
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    for (const auto& p : paths)
        if (root && (!nobody || ::chown(p.c_str(), nobody->pw_uid, nobody->pw_gid) != 0))
            return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0))
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
