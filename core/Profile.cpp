#include "core/Profile.h"

#include <optional>
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

} // namespace profile
