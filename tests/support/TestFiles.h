#pragma once
// Temporary folders and small file helpers for tests: everything a test writes lives in a folder of
// its own, removed when the test ends.
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }   // ends in '/'
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
bool PathExists(const std::string& path);

// Runs body in a child process as an ordinary user (nobody, when the tests run as root as in CI:
// root reads and writes anything), to whom the paths are handed first. Gives the exit status.
int AsOrdinaryUser(std::initializer_list<std::string> paths, const std::function<int()>& body);

// Runs body in a child process as user uid with groups (the first one its own; root only). Gives the
// exit status, CANNOT_CHANGE_USER when the child could not become that user.
constexpr int CANNOT_CHANGE_USER = 99;
int AsUser(uid_t uid, const std::vector<gid_t>& groups, const std::function<int()>& body);
