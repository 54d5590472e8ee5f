#pragma once
// The simulator's own wire texts and framing: numbers in the C locale, the start-up banner,
// floods, noise, transcript entries, and the cutting of received bytes into lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Fixed-point text with a decimal point whatever the process locale ("12.50", never "12,50").
std::string FormatFixed(double value, int decimals);

// What the controller prints when it boots; it never contains a bare "ok".
std::vector<std::string> BannerLines();

// Exactly `bytes` bytes of "echo:" lines, each ended by `lineEnd` (the last one may be cut short,
// but the text always ends with '\n' so that it never glues itself to the next reply).
std::string FloodText(size_t bytes, const std::string& lineEnd = "\n");

// 1 to 8 bytes of line noise drawn from `seed` (advanced). None of them is NUL, a line feed, a
// letter, a digit or a colon: noise must not forge a reply, and a NUL would hide the rest of the
// text from a reader that stops at the first zero byte.
std::string NoiseBytes(std::uint32_t& seed);

// One line of the transcript file: seconds since the start, a tab, the line with CR, control and
// non-ASCII bytes and backslashes written as escapes, so that a stray "\r" stays visible.
std::string FormatTranscriptEntry(double seconds, std::string_view text);

// Cuts a byte stream into lines at '\n', keeping the unfinished tail for the next call.
class CLineSplitter {
public:
    std::vector<std::string> Feed(std::string_view bytes);
    const std::string& Pending() const { return m_strPending; }

private:
    std::string m_strPending;
};

} // namespace sim
