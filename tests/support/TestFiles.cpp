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

namespace {

// Runs body in a child process once become() has made it the user it is to be.
int InChild(const std::function<bool()>& become, const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(become() ? body() : CANNOT_CHANGE_USER);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int AsUser(uid_t uid, const std::vector<gid_t>& groups, const std::function<int()>& body)
{
    return InChild(
        [&] {
            return !groups.empty() && ::setgroups(groups.size() - 1, groups.data() + 1) == 0 &&
                   ::setresgid(groups[0], groups[0], groups[0]) == 0 && ::setresuid(uid, uid, uid) == 0;
        },
        body);
}

int AsOrdinaryUser(std::initializer_list<std::string> paths, const std::function<int()>& body)
{
    if (::geteuid() != 0)
        return InChild([] { return true; }, body);
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody)
        return -1;
    for (const auto& p : paths)
        if (::chown(p.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            return -1;
    return AsUser(nobody->pw_uid, {nobody->pw_gid}, body);
}
