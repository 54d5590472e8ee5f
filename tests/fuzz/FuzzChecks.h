#pragma once
// What must hold for any bytes the controller sends and for any edit of System.cfg. The fuzz
// targets abort on a broken rule; tests/fuzz_corpus_test.cpp runs the committed corpus through the
// same functions in the normal build. Each check returns the first broken rule, or "" when all hold.
//
// Only invariants that need no second reading of the same rules: no crash, nothing unbounded, what
// is written reads back, the other lines stay. What the rules give for given input is the business
// of the reply grammar's and the profile's own tests.
//
// The profile checks need no Qt; the received-text checks are compiled only where Qt Core is
// linked (QT_CORE_LIB), so the profile target builds without it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Profile.h"

#ifdef QT_CORE_LIB
#include <QString>
#include <QStringList>

#include "panel/ReplyGrammar.h"
#include "panel/SliderMath.h"
#include "platform/Numbers.h"
#endif

namespace fuzzchecks {

#ifdef QT_CORE_LIB

// Bytes as one read from the serial line hands them to the panel: Latin-1 up to the first zero byte.
inline std::string CheckReceivedBytes(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t length = 0;
    while (length < size && bytes[length] != '\0')
        ++length;
    const QString text = QString::fromLatin1(bytes, static_cast<qsizetype>(length));
    (void)IsHandshakeReply(text);

    // Joined again with their line feeds, the lines are the text up to its last line feed.
    QString joined;
    for (const QString& line : SplitReplyLines(text)) {
        if (line.contains(QLatin1Char('\n')))
            return "a line holds a line feed";
        joined += line + QLatin1Char('\n');
        (void)IsPositionReport(line);
        // Only reports reach the cut in the panel, but the cut must stand any line.
        const SPositionReport r = ParsePositionLine(line);
        for (const QString* t : {&r.xText, &r.yText, &r.zText})
            if (!line.contains(*t))
                return "a value text is not part of its line";
        // Only a decimal number is taken, so a value is finite or out of range (infinite), never NaN.
        if (std::isnan(r.x) || std::isnan(r.y) || std::isnan(r.z))
            return "a value is NaN";
        const QString readout = FormatPositionReadout(r);
        if (!readout.startsWith(QStringLiteral("current: (")) || !readout.endsWith(QLatin1Char(')')))
            return "read-out " + readout.toStdString() + " lost its frame";
        // The sliders: X as reported, Y and Z inverted against the stage lengths (300 and 200 mm).
        for (const float v : {r.x, 300.0f - r.y, 200.0f - r.z}) {
            const int pos = ToSliderPos(v);
            if (pos < -1000000 || pos > 1000000)
                return "slider position " + std::to_string(pos) + " is out of range";
        }
    }
    if (joined != text.left(text.lastIndexOf(QLatin1Char('\n')) + 1))
        return "the lines do not add up to the text before its last line feed";

    // The number readers on the raw bytes, zero bytes and all: no NaN, no overflow.
    if (std::isnan(ParseLeadingDouble(std::string_view(bytes, size))))
        return "leading number of the input is NaN";
    (void)ParseLeadingInt(std::string_view(bytes, size));
    return {};
}

#endif // QT_CORE_LIB

namespace detail {

constexpr std::string_view kBlanks = " \t\r\v\f";

inline std::string_view TrimBlanks(std::string_view s)
{
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// The lines of a text without their ends and trailing carriage returns (a write may turn a bare
// '\r' at the end of the file into the start of a "\r\n" line end).
inline std::vector<std::string_view> TextLines(std::string_view s)
{
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos < s.size();) {
        const size_t nl = std::min(s.find('\n', pos), s.size());
        std::string_view line = s.substr(pos, nl - pos);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        pos = nl + 1;
    }
    return lines;
}

inline size_t CharCount(std::string_view s)
{
    size_t chars = 0;
    for (const char c : s)
        chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return chars;
}

// One write of a plain value (no blanks or quotes around it, at most 255 bytes) to key in section.
// section and key must be names the file can hold: no ']', '=' or line end, not blank.
inline std::string CheckOneUpdate(std::string_view content, std::string_view section, std::string_view key,
                                  std::string_view value)
{
    const std::string what = "writing \"" + std::string(value) + "\" to \"" + std::string(key) + "\" in [" +
                             std::string(section) + "]";
    const std::string updated = profile::UpdateText(content, section, key, value);
    // No value read from a file holds a line end: this default can only mean "not there".
    constexpr std::string_view missing = "\n(missing)";
    if (profile::LookupInText(updated, section, key, missing) != value)
        return what + ": it does not read back";

    // Every other line stays, in its order: the key's own line is replaced, or the key's line (and
    // the section's header) is added.
    const bool existed = profile::LookupInText(content, section, key, missing) != missing;
    const auto before = TextLines(content);
    const auto after = TextLines(updated);
    size_t kept = 0;
    if (existed && after.size() == before.size()) {
        for (size_t i = 0; i < before.size(); ++i)
            kept += before[i] == after[i];
        kept += 1;   // the key's own line
    } else if (!existed && after.size() > before.size() && after.size() <= before.size() + 2) {
        for (size_t i = 0; i < after.size() && kept < before.size(); ++i)
            kept += after[i] == before[kept];
    }
    if (kept < before.size())
        return what + ": the other lines did not stay";
    if (profile::UpdateText(updated, section, key, value) != updated)
        return what + ": a second identical write changed the text";
    return {};
}

// Makes a name the file can hold out of any bytes; a key's leading '[' is dropped, as a key
// "[..." with a value holding ']' would read as a section header.
inline std::string UsableName(std::string_view bytes, std::string_view fallback, bool isKey)
{
    std::string name;
    for (const char c : bytes)
        if (c != ']' && c != '=' && c != '\n')
            name += c;
    while (isKey && !TrimBlanks(name).empty() && TrimBlanks(name).front() == '[')
        name.erase(name.find('['), 1);
    return TrimBlanks(name).empty() ? std::string(fallback) : name;
}

} // namespace detail

// Input: "section\0key\0value\0content" sets that value in that content; input with fewer zero
// bytes is content alone (a plain System.cfg), and every key it holds is rewritten in turn.
inline std::string CheckProfileEdit(const uint8_t* data, size_t size)
{
    using namespace detail;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> fields;
    size_t pos = 0;
    for (size_t zero; fields.size() < 3 && (zero = input.find('\0', pos)) != std::string_view::npos; pos = zero + 1)
        fields.push_back(input.substr(pos, zero - pos));

    if (fields.size() == 3) {
        const std::string_view content = input.substr(pos);
        // Reads with any names must stay within 255 characters and never fault.
        const std::string any = profile::LookupInText(content, fields[0], fields[1], fields[2]);
        if (CharCount(any) > profile::kMaxValueChars)
            return "a read gave " + std::to_string(CharCount(any)) + " characters";
        std::string value;
        for (const char c : fields[2].substr(0, profile::kMaxValueChars))
            if (c != '\n' && c != '\r')
                value += c;
        while (!value.empty() && std::string_view(" \t\v\f\"'").find(value.back()) != std::string_view::npos)
            value.pop_back();
        while (!value.empty() && std::string_view(" \t\v\f\"'").find(value.front()) != std::string_view::npos)
            value.erase(0, 1);
        return CheckOneUpdate(content, UsableName(fields[0], "S", false), UsableName(fields[1], "k", true), value);
    }

    // Plain content: rewrite each key of each section (the first few) with a value of its own.
    std::string section = "Orphan";
    size_t edits = 0;
    for (const std::string_view line : TextLines(input)) {
        const std::string_view t = TrimBlanks(line);
        if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string_view::npos) {
            section = UsableName(t.substr(1, t.find(']') - 1), "S", false);
        } else if (const size_t eq = line.find('='); eq != std::string_view::npos) {
            if (std::string fault = CheckOneUpdate(input, section, UsableName(line.substr(0, eq), "k", true), "12.50");
                !fault.empty())
                return fault;
            if (++edits == 8)
                break;
        }
    }
    return CheckOneUpdate(input, "TarnikS_Fuzz", "Added", "plain value");
}

} // namespace fuzzchecks
