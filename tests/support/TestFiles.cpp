#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

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
