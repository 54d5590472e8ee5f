#pragma once
// What must hold for any bytes the controller sends and for any edit of System.cfg. The fuzz
// targets abort on a broken rule; tests/fuzz_corpus_test.cpp runs the committed corpus through the
// same functions in the normal build. Each check returns the first broken rule, or "" when all hold.
//
// Only invariants that need no second reading of the same rules: no crash, nothing unbounded, what
// is written reads back, the other lines stay. What the rules give for given input is the business
// of the reply grammar's and the profile's own tests.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/ControllerLines.h"
#include "core/Numbers.h"
#include "core/Profile.h"
#include "core/ReplyGrammar.h"
#include "core/SliderMath.h"

namespace fuzzchecks {

// What a fuzz target does with a check's verdict: a broken rule stops the run, keeping the input.
inline int Report(const char* target, const std::string& fault)
{
    if (!fault.empty())
        std::fprintf(stderr, "%s: %s\n", target, fault.c_str()), std::abort();
    return 0;
}

// Bytes as one read from the serial line hands them to the panel: Latin-1 up to the first zero byte.
inline std::string CheckReceivedBytes(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size), text = bytes.substr(0, bytes.find('\0'));
    (void)IsHandshakeReply(text);
    // Joined again with line feeds, the lines (holding none) are the text up to its last line feed.
    std::string joined;
    for (const std::string& line : SplitReplyLines(text)) {
        joined += line + '\n';
        (void)IsPositionReport(line);
        // Only reports reach the cut in the panel, but the cut must stand any line. Only a decimal
        // number is taken, so a value is finite or out of range (infinite), never NaN.
        const SPositionReport r = ParsePositionLine(line);
        if (std::isnan(r.x) || std::isnan(r.y) || std::isnan(r.z))
            return "a value is NaN";
        (void)FormatPositionReadout(r);
        for (const float v : {r.x, r.y, r.z})
            (void)ToSliderPos(v);   // the sanitizers watch the conversion
    }
    if (joined != text.substr(0, text.rfind('\n') + 1))
        return "the lines do not add up to the text before its last line feed";
    // The number readers on the raw bytes, zero bytes and all.
    (void)ParseLeadingInt(bytes);
    return std::isnan(ParseLeadingDouble(bytes)) ? "leading number of the input is NaN" : "";
}

// The lines of a text without their ends and trailing carriage returns (a write may turn a bare
// '\r' at the end of the file into the start of a "\r\n" line end).
inline std::vector<std::string_view> TextLines(std::string_view s)
{
    std::vector<std::string_view> lines;
    for (size_t pos = 0, nl; pos < s.size(); pos = nl + 1) {
        nl = std::min(s.find('\n', pos), s.size());
        lines.push_back(s.substr(pos, s.substr(pos, nl - pos).find_last_not_of('\r') + 1));
    }
    return lines;
}

// One write of a plain value (no blanks or quotes around it, at most 255 bytes) to key in section.
// section and key must be names the file can hold: no '[', ']', '=' or line end, not blank.
inline std::string CheckOneUpdate(std::string_view content, std::string_view section, std::string_view key,
                                  std::string_view value)
{
    const std::string what = "[" + std::string(section) + "] " + std::string(key) + "=" + std::string(value);
    const std::string updated = profile::UpdateText(content, section, key, value);
    // No value read from a file holds a line end: this default can only mean "not there".
    constexpr std::string_view missing = "\n(missing)";
    if (profile::LookupInText(updated, section, key, missing) != value)
        return what + ": it does not read back";
    // The write touches one place: the key's line is replaced, or it is added (with its section's
    // header when there was none).
    const bool existed = profile::LookupInText(content, section, key, missing) != missing;
    const auto before = TextLines(content), after = TextLines(updated);
    const auto head = std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin();
    const auto tail = std::mismatch(before.rbegin(), before.rend() - head, after.rbegin(), after.rend() - head).first -
                      before.rbegin();
    if (before.size() > size_t(head + tail) + existed || after.size() > size_t(head + tail) + (existed ? 1 : 2))
        return what + ": the other lines did not stay";
    if (profile::UpdateText(updated, section, key, value) != updated)
        return what + ": a second identical write changed the text";
    return {};
}

// Input: "section\0key\0value\0content" sets that value in that content; input with fewer zero
// bytes is content alone (a plain System.cfg), in which two of the panel's keys are set.
inline std::string CheckProfileEdit(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> fields;
    size_t pos = 0;
    for (size_t zero; fields.size() < 3 && (zero = input.find('\0', pos)) != std::string_view::npos; pos = zero + 1)
        fields.push_back(input.substr(pos, zero - pos));
    if (fields.size() == 3) {
        const std::string_view content = input.substr(pos);
        // Reads with any names never fault and give at most 255 characters.
        const std::string any = profile::LookupInText(content, fields[0], fields[1], fields[2]);
        if (std::count_if(any.begin(), any.end(), [](char c) { return (c & 0xC0) != 0x80; }) > 255)
            return "a read gave more than 255 characters";
        // The write: names the file can hold, a value without line ends or blanks and quotes around it.
        const auto name = [](std::string_view bytes, const char* fallback) {
            const bool usable = bytes.find_first_of("[]=\n") == bytes.npos && bytes.find_first_not_of(" \t\r\v\f") != bytes.npos;
            return usable ? std::string(bytes) : std::string(fallback);
        };
        std::string value(fields[2].substr(0, 255));
        std::erase_if(value, [](char c) { return c == '\n' || c == '\r'; });
        const size_t first = value.find_first_not_of(" \t\v\f\"'"), last = value.find_last_not_of(" \t\v\f\"'");
        value = first == std::string::npos ? "" : value.substr(first, last - first + 1);
        return CheckOneUpdate(content, name(fields[0], "S"), name(fields[1], "k"), value);
    }
    const std::string fault = CheckOneUpdate(input, "SpdDst", "XYSpeed", "12.50");
    return fault.empty() ? CheckOneUpdate(input, "Park_Pos", "Z", "12.50") : fault;
}

} // namespace fuzzchecks
