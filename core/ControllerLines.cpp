#include "core/ControllerLines.h"

#include <vector>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Case is folded for ASCII letters only: no Latin-1 letter folds to one of the ASCII words looked for.
bool ContainsNoCase(std::string_view text, std::string_view word)
{
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && Lower(text[i + k]) == Lower(word[k]))
            ++k;
        if (k == word.size())
            return true;
    }
    return false;
}

bool StartsWithNoCase(std::string_view line, std::string_view prefix)
{
    return line.size() >= prefix.size() && ContainsNoCase(line.substr(0, prefix.size()), prefix);
}

// White space as a line's edges are trimmed of: the ASCII blanks and, in Latin-1, the next-line
// character and the no-break space.
bool IsBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0D) || u == 0x20 || u == 0x85 || u == 0xA0;
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A heater's temperature field starts at i: a heater name ("T", "T0", "B", "C", "P"), a colon and a
// number. "C: X:0.0000" (a position that begins with "C:") has no number after its colon.
bool TemperatureFieldAt(std::string_view s, size_t i)
{
    if (i >= s.size() || std::string_view("TBCP").find(s[i]) == std::string_view::npos)
        return false;
    size_t j = i + 1;
    while (j < s.size() && IsDigit(s[j]))
        ++j;
    if (j >= s.size() || s[j] != ':')
        return false;
    ++j;
    while (j < s.size() && s[j] == ' ')
        ++j;
    if (j < s.size() && (s[j] == '-' || s[j] == '+'))
        ++j;
    return j < s.size() && IsDigit(s[j]);
}

bool HasTemperatureField(std::string_view line, size_t from)
{
    for (size_t i = from; i < line.size(); ++i)
        if (line[i - 1] == ' ' && TemperatureFieldAt(line, i))
            return true;
    return false;
}

std::vector<std::string_view> SplitAtLineFeeds(std::string_view text)
{
    std::vector<std::string_view> segments;
    for (size_t start = 0;;) {
        const size_t nl = text.find('\n', start);
        segments.push_back(text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start));
        if (nl == std::string_view::npos)
            return segments;
        start = nl + 1;
    }
}

} // namespace

bool IsHandshakeReply(std::string_view text)
{
    // What follows the last line feed is no line yet, but "ok T:" counts wherever it stands.
    const std::vector<std::string_view> segments = SplitAtLineFeeds(text);
    bool okLineSeen = false;
    for (size_t k = 0; k < segments.size(); ++k) {
        const std::string_view segment = segments[k];
        if (segment.starts_with("echo:"))
            continue;
        if (segment.find("ok T:") != std::string_view::npos)
            return true;
        if (segment.starts_with("ok ") && HasTemperatureField(segment, 3))
            return true;
        const bool wholeLine = k + 1 < segments.size();
        if (okLineSeen && wholeLine && TemperatureFieldAt(segment, 0))
            return true;
        if (Trimmed(segment) == "ok")
            okLineSeen = true;
    }
    return false;
}

bool IsBusyLine(std::string_view line) { return line.starts_with("echo:busy:"); }

bool IsErrorLine(std::string_view line) { return StartsWithNoCase(line, "error:") || line.starts_with("!!"); }

bool IsHaltLine(std::string_view line)
{
    if (!IsErrorLine(line))
        return false;
    for (const char* word : {"halted", "kill", "shutdown", "shut down"})
        if (ContainsNoCase(line, word))
            return true;
    return false;
}

bool AsksForChecksums(std::string_view line)
{
    return ContainsNoCase(line, "checksum") || ContainsNoCase(line, "line number");
}
