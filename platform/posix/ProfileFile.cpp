#include "platform/ProfileFile.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {
namespace {

// The whole file, or nothing when it cannot be opened or a read fails part way: a caller must
// never take a file it could not read for an empty one.
std::optional<std::string> ReadFile(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string content;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The file a chain of symbolic links ends at (which need not exist yet), or the path itself.
// A loop is left as a link, which the caller then fails to stat.
std::string FollowLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        char buf[4096];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
        if (n <= 0 || static_cast<size_t>(n) == sizeof buf)
            break;
        std::string link(buf, static_cast<size_t>(n));
        if (link.front() != '/')
            link.insert(0, path.substr(0, path.rfind('/') + 1));
        path = std::move(link);
    }
    return path;
}

// Rewrites an existing file where it is, where a new file cannot take its place: not atomic, so
// only the second choice. The file keeps its owner, group and mode as a matter of course.
bool WriteInPlace(const std::string& file, std::string_view data)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = WriteAll(fd, data) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Puts data in place of file: a temporary file beside it, given the old file's owner, group and
// mode (old is null for a new file), flushed, then renamed over it. Where the folder takes no new
// file, or the new file cannot be given the old one's owner and group (a file another user shares
// with us: only root may give a file away), the file is rewritten in place instead, so that it
// stays its owner's and the owner can still write it.
bool ReplaceFile(const std::string& file, std::string_view data, const struct stat* old)
{
    std::string temp = file + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return old && (errno == EACCES || errno == EPERM) && WriteInPlace(file, data);
    if (old && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return WriteInPlace(file, data);
    }
    // After the owner: a change of owner clears the set-id bits.
    ::fchmod(fd, old ? (old->st_mode & 07777) : 0644);
    const bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view def)
{
    const auto content = ReadFile(file);
    // A file that cannot be read holds no key: the default, cut as a value would be.
    return LookupInText(content ? *content : std::string_view(), section, key, def);
}

EWriteResult WriteString(const std::string& file, std::string_view section, std::string_view key,
                         std::string_view value)
{
    if (file.empty())
        return EWriteResult::Failed;
    const std::string target = FollowLinks(file);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return EWriteResult::Failed;
    // Only a plain file is ever replaced: a link to a device must not turn it into a file.
    if (exists && !S_ISREG(st.st_mode))
        return EWriteResult::Failed;
    // A read-only file stays as it is, although its folder would let us replace it: also for root,
    // who could write it, because the operator made it read-only on purpose.
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return EWriteResult::Failed;
    std::string content;
    if (exists) {
        auto read = ReadFile(target);
        if (!read)
            return EWriteResult::Unreadable;
        content = std::move(*read);
    }
    const std::string updated = UpdateText(content, section, key, value);
    // A value that is already stored costs no rewrite (and no flush to disk at every start).
    if (exists && updated == content)
        return EWriteResult::Stored;
    return ReplaceFile(target, updated, exists ? &st : nullptr) ? EWriteResult::Stored : EWriteResult::Failed;
}

} // namespace profile
