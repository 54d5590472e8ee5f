#pragma once
// What must hold for any bytes the controller sends and for any edit of System.cfg. The fuzz
// targets abort on a broken rule; tests/fuzz_corpus_test.cpp runs the committed corpus through the
// same functions in the normal build. Each check returns the first broken rule, or "" when all hold.
//
// The profile checks need no Qt; the received-text checks are compiled only where Qt Core is
// linked (QT_CORE_LIB), so the profile target builds without it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Profile.h"

#ifdef QT_CORE_LIB
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "panel/ReplyGrammar.h"
#include "panel/SliderMath.h"
#include "platform/Numbers.h"
#endif

namespace fuzzchecks {

#ifdef QT_CORE_LIB

namespace detail {

inline std::string Quoted(const QString& s)
{
    return "\"" + s.toLatin1().toStdString() + "\"";
}

// The rules for one position report, whatever line it was cut from.
inline std::string CheckReport(const QString& line, const SPositionReport& r)
{
    for (const QString* t : {&r.xText, &r.yText, &r.zText}) {
        if (t->contains(QLatin1Char('\n')))
            return "value text " + Quoted(*t) + " holds a line feed";
        if (!t->isEmpty() && !line.contains(*t))
            return "value text " + Quoted(*t) + " is not part of " + Quoted(line);
    }
    if (r.complete != (!r.xText.isEmpty() && !r.yText.isEmpty() && !r.zText.isEmpty()))
        return "report of " + Quoted(line) + " is marked complete with an empty value text or the reverse";
    // Only a decimal number is taken, so a value is finite or out of range (infinite), never NaN.
    if (std::isnan(r.x) || std::isnan(r.y) || std::isnan(r.z))
        return "a value of " + Quoted(line) + " is NaN";
    const QString readout = FormatPositionReadout(r);
    const QString expected = QStringLiteral("current: (") + r.xText + QStringLiteral(", ") + r.yText +
                             QStringLiteral(", ") + r.zText + QStringLiteral(")");
    if (readout != expected)
        return "read-out " + Quoted(readout) + " is not " + Quoted(expected);
    // The sliders: X as reported, Y and Z inverted against the stage lengths (300 and 200 mm).
    for (const float v : {r.x, 300.0f - r.y, 200.0f - r.z}) {
        const int pos = ToSliderPos(v);
        if (pos < -1000000 || pos > 1000000)
            return "slider position " + std::to_string(pos) + " from " + Quoted(line) + " is out of range";
    }
    return {};
}

// A report built from known numbers must come back with exactly those numbers, also after
// whatever lines the input put before it.
inline std::string CheckKnownReport(const QString& before, const uint8_t* data, size_t size)
{
    int32_t hundredths[3] = {0, 0, 0};
    for (size_t i = 0; i < 12 && i < size; ++i)
        hundredths[i / 4] = static_cast<int32_t>(static_cast<uint32_t>(hundredths[i / 4]) << 8 | data[i]);
    const double v[3] = {hundredths[0] / 100.0, hundredths[1] / 100.0, hundredths[2] / 100.0};
    const std::string x = FormatC("%.2f", v[0]), y = FormatC("%.2f", v[1]), z = FormatC("%.2f", v[2]);
    const std::string reportLine =
        "X:" + x + " Y:" + y + " Z:" + z + " E:0.00 Count X:" + std::to_string(hundredths[0] / 100 * 80LL) +
        " Y:" + std::to_string(hundredths[1] / 100 * 80LL) + " Z:" + std::to_string(hundredths[2] / 100 * 400LL);
    const QString text = before + QString::fromLatin1(reportLine) + QStringLiteral("\nok\n");
    const QStringList lines = SplitReplyLines(text);
    if (lines.size() < 2)
        return "known report " + reportLine + " was not split into its lines";
    const QString& line = lines[lines.size() - 2];
    if (line != QString::fromLatin1(reportLine))
        return "known report came back as line " + Quoted(line);
    if (!IsPositionReport(line))
        return "known report " + reportLine + " is not taken for a position report";
    const SPositionReport r = ParsePositionLine(line);
    if (!r.complete || r.xText != QString::fromStdString(x + " ") || r.yText != QString::fromStdString(y + " ") ||
        r.zText != QString::fromStdString(z + " "))
        return "known report " + reportLine + " was cut into " + Quoted(r.xText) + ", " + Quoted(r.yText) +
               ", " + Quoted(r.zText);
    if (r.x != static_cast<float>(v[0]) || r.y != static_cast<float>(v[1]) || r.z != static_cast<float>(v[2]))
        return "known report " + reportLine + " read as " + FormatC("%.9g %.9g %.9g", r.x, r.y, r.z);
    return {};
}

} // namespace detail

// Bytes as one read from the serial line hands them to the panel.
inline std::string CheckReceivedBytes(const uint8_t* data, size_t size)
{
    using detail::Quoted;
    const char* bytes = reinterpret_cast<const char*>(data);
    // The panel reads every byte as a character and ends the text at the first zero byte.
    size_t length = 0;
    while (length < size && bytes[length] != '\0')
        ++length;
    const std::string_view raw(bytes, length);
    const QString text = QString::fromLatin1(bytes, static_cast<qsizetype>(length));
    if (text.size() != static_cast<qsizetype>(length) || text.toLatin1() != QByteArray(bytes, static_cast<qsizetype>(length)))
        return "Latin-1 text does not give back the received bytes";

    if (IsHandshakeReply(text) != (raw.find("ok T:") != std::string_view::npos))
        return "handshake reply taken wrongly from " + std::string(raw);

    const QStringList lines = SplitReplyLines(text);
    // Joined again with their line feeds, the lines are the text up to its last line feed.
    QString joined;
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\n')))
            return "line " + Quoted(line) + " holds a line feed";
        joined += line + QLatin1Char('\n');
    }
    const qsizetype lastFeed = text.lastIndexOf(QLatin1Char('\n'));
    if (joined != text.left(lastFeed + 1))
        return "the lines do not add up to the text before its last line feed";

    for (const QString& line : lines) {
        const bool report = IsPositionReport(line);
        if (report != (line.contains(QStringLiteral("X:")) && line.contains(QStringLiteral("Y:")) &&
                       line.contains(QStringLiteral("Z:"))))
            return "position report taken wrongly from " + Quoted(line);
        // Only reports reach the cut in the panel, but the cut must stand any line.
        if (std::string fault = detail::CheckReport(line, ParsePositionLine(line)); !fault.empty())
            return fault;
    }
    // The number readers on the raw bytes, zero bytes and all: no NaN, no overflow.
    if (std::isnan(ParseLeadingDouble(std::string_view(bytes, size))))
        return "leading number of the input is NaN";
    (void)ParseLeadingInt(std::string_view(bytes, size));

    return detail::CheckKnownReport(text.left(lastFeed + 1), data, size);
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

// The lines of a text without their ends; a last line without an end counts, an empty piece after
// the last line feed does not. Carriage returns at the end of a line are dropped: the reader trims
// them from every name and value, and a write may turn a bare '\r' at the end of the file into
// the start of a "\r\n" line end.
inline std::vector<std::string_view> TextLines(std::string_view s)
{
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t nl = s.find('\n', pos);
        const size_t end = nl == std::string_view::npos ? s.size() : nl;
        std::string_view line = s.substr(pos, end - pos);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos)
            break;
        pos = nl + 1;
    }
    return lines;
}

// What a read gives for a value that was written: blanks around it dropped, matching quotes
// around it dropped, then at most 255 characters (a UTF-8 character is one lead byte and its
// continuation bytes).
inline std::string ReadBack(std::string_view value)
{
    value = TrimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    size_t chars = 0, i = 0;
    for (; i < value.size(); ++i)
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80 && ++chars > profile::kMaxValueChars)
            break;
    return std::string(value.substr(0, i));
}

// Section and key names match without regard to ASCII case.
inline bool SameNoCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

inline size_t CharCount(std::string_view s)
{
    size_t chars = 0;
    for (const char c : s)
        chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return chars;
}

inline std::string Show(std::string_view s)
{
    std::string out;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return "\"" + out + "\"";
}

// One write of value to key in section, checked against a read and against the lines around it.
// section and key must be names the file can hold: no ']', '=' or line end, not blank.
inline std::string CheckOneUpdate(std::string_view content, std::string_view section, std::string_view key,
                                  std::string_view value)
{
    const auto what = [&] {
        return "writing " + Show(value) + " to " + Show(key) + " in [" + Show(section) + "] of " + Show(content);
    };
    const std::string updated = profile::UpdateText(content, section, key, value);
    const std::string read = profile::LookupInText(updated, section, key, "\x01missing");
    const std::string expected = ReadBack(value);
    if (read != expected)
        return what() + ": read back " + Show(read) + " instead of " + Show(expected);

    // Every other line stays: the key's line is replaced (keeping the key's spelling in the file),
    // or one line is added to the section, or the section's header and the key's line are added
    // at the end.
    const std::string keyLine = std::string(TrimBlanks(key)) + "=" + std::string(value);
    const auto isReplacedKeyLine = [&](std::string_view line) {
        if (line.size() <= value.size() || line.substr(line.size() - value.size()) != value ||
            line[line.size() - value.size() - 1] != '=')
            return false;
        const std::string_view name = line.substr(0, line.size() - value.size() - 1);
        return name.find('=') == std::string_view::npos && SameNoCase(name, TrimBlanks(key));
    };
    const auto before = TextLines(content);
    const auto after = TextLines(updated);
    bool kept = false;
    if (after.size() == before.size()) {
        size_t changed = 0;
        for (size_t i = 0; i < before.size(); ++i)
            if (before[i] != after[i])
                changed += isReplacedKeyLine(after[i]) ? 1 : 2;
        kept = changed <= 1;
    } else if (after.size() == before.size() + 1) {
        size_t i = 0;
        while (i < before.size() && before[i] == after[i])
            ++i;
        kept = after[i] == keyLine;
        for (size_t j = i; kept && j < before.size(); ++j)
            kept = before[j] == after[j + 1];
    } else if (after.size() == before.size() + 2) {
        kept = true;
        for (size_t i = 0; kept && i < before.size(); ++i)
            kept = before[i] == after[i];
        kept = kept && after[before.size()] == "[" + std::string(TrimBlanks(section)) + "]" &&
               after[before.size() + 1] == keyLine;
    }
    if (!kept)
        return what() + ": the other lines did not stay, result " + Show(updated);

    // Writing the same again changes nothing.
    if (profile::UpdateText(updated, section, key, value) != updated)
        return what() + ": a second identical write changed the text";
    return {};
}

// Makes a name the file can hold out of any bytes.
inline std::string UsableName(std::string_view bytes, std::string_view fallback, bool isKey)
{
    std::string name;
    for (const char c : bytes)
        if (c != ']' && c != '=' && c != '\n')
            name += c;
    // A key written as "[..." followed by a value holding ']' would read as a section header: such
    // keys are not ours to use, so a key's leading '[' is dropped.
    while (isKey && !TrimBlanks(name).empty() && TrimBlanks(name).front() == '[')
        name.erase(name.find('['), 1);
    if (TrimBlanks(name).empty())
        name = fallback;
    return name;
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
    while (fields.size() < 3) {
        const size_t zero = input.find('\0', pos);
        if (zero == std::string_view::npos)
            break;
        fields.push_back(input.substr(pos, zero - pos));
        pos = zero + 1;
    }

    if (fields.size() == 3) {
        const std::string_view content = input.substr(pos);
        // Reads with any names must stay within 255 characters and never fault.
        const std::string any = profile::LookupInText(content, fields[0], fields[1], fields[2]);
        if (CharCount(any) > profile::kMaxValueChars)
            return "a read gave " + std::to_string(CharCount(any)) + " characters";
        std::string value;
        for (const char c : fields[2])
            if (c != '\n' && c != '\r')
                value += c;
        return CheckOneUpdate(content, UsableName(fields[0], "S", false), UsableName(fields[1], "k", true), value);
    }

    // Plain content: rewrite each key of each section (the first few) with a value of its own.
    std::string section = "Orphan";
    size_t edits = 0;
    for (const std::string_view line : TextLines(input)) {
        const std::string_view t = TrimBlanks(line);
        if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string_view::npos) {
            section = UsableName(t.substr(1, t.find(']') - 1), "S", false);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string key = UsableName(line.substr(0, eq), "k", true);
        if (std::string fault = CheckOneUpdate(input, section, key, " 12.50 "); !fault.empty())
            return fault;
        if (++edits == 8)
            break;
    }
    return CheckOneUpdate(input, "TarnikS_Fuzz", "Added", "\"quoted value\"");
}

} // namespace fuzzchecks
