#include "core/Profile.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace profile {
namespace {

struct SLine {
    std::string_view text;   // without its line end
    std::string_view end;    // "\n", "\r\n" or "" for a last line without one
};

std::vector<SLine> SplitLines(std::string_view content)
{
    std::vector<SLine> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t nl = content.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back({content.substr(pos), {}});
            break;
        }
        size_t textEnd = nl;
        if (textEnd > pos && content[textEnd - 1] == '\r')
            --textEnd;
        lines.push_back({content.substr(pos, textEnd - pos), content.substr(textEnd, nl + 1 - textEnd)});
        pos = nl + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view s)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The name of a section header line, or nothing when the line is not one.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

// Key and value of a key=value line.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line)
{
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return std::make_pair(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
}

// Cuts a UTF-8 text after at most max characters, never inside a character.
std::string CutChars(std::string_view s, size_t max)
{
    size_t chars = 0, i = 0;
    while (i < s.size()) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == max)
                break;
            ++chars;
        }
        ++i;
    }
    return std::string(s.substr(0, i));
}

struct SLocation {
    std::optional<size_t> section;     // index of the header line
    std::optional<size_t> key;         // index of the key line
    size_t lastInSection = 0;          // last non-blank line of the section (the header if none)
};

SLocation Locate(const std::vector<SLine>& lines, std::string_view section, std::string_view key)
{
    SLocation loc;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            if (inside)
                break;   // the first section of that name is the one that counts
            inside = EqualNoCase(*name, Trim(section));
            if (inside) {
                loc.section = i;
                loc.lastInSection = i;
            }
            continue;
        }
        if (!inside)
            continue;
        if (!Trim(lines[i].text).empty())
            loc.lastInSection = i;
        if (auto kv = KeyValue(lines[i].text); kv && !loc.key && EqualNoCase(kv->first, Trim(key)))
            loc.key = i;
    }
    return loc;
}

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

std::string LookupInText(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view def)
{
    const auto lines = SplitLines(content);
    const SLocation loc = Locate(lines, section, key);
    if (!loc.key)
        return CutChars(def, kMaxValueChars);
    std::string_view value = KeyValue(lines[*loc.key].text)->second;
    // A value in matching quotes is read without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return CutChars(value, kMaxValueChars);
}

std::string UpdateText(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value)
{
    const auto lines = SplitLines(content);
    // New lines take the file's own line ends.
    std::string_view eol = "\n";
    for (const auto& l : lines)
        if (!l.end.empty()) {
            eol = l.end;
            break;
        }
    const std::string keyLine = std::string(Trim(key)) + "=" + std::string(value);
    const SLocation loc = Locate(lines, section, key);

    std::string out;
    out.reserve(content.size() + keyLine.size() + section.size() + 8);
    auto append = [&](size_t i) {
        out.append(lines[i].text);
        out.append(lines[i].end);
    };
    if (!loc.section) {
        out.assign(content);
        if (!out.empty() && out.back() != '\n')
            out.append(eol);
        out.append("[").append(Trim(section)).append("]").append(eol);
        out.append(keyLine).append(eol);
        return out;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (loc.key && i == *loc.key) {
            // The key keeps the spelling it has in the file; only its value changes.
            out.append(KeyValue(lines[i].text)->first).append("=").append(value);
            out.append(lines[i].end.empty() ? std::string_view() : lines[i].end);
            continue;
        }
        append(i);
        if (!loc.key && i == loc.lastInSection) {
            if (lines[i].end.empty())
                out.append(eol);
            out.append(keyLine).append(eol);
        }
    }
    return out;
}

std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view def)
{
    const auto content = ReadFile(file);
    if (!content)
        return CutChars(def, kMaxValueChars);
    return LookupInText(*content, section, key, def);
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
