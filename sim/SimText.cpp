#include "sim/SimText.h"

#include <charconv>
#include <cstdio>

namespace sim {

std::string FormatFixed(double value, int decimals)
{
    char buf[64];
    // Adding 0.0 turns -0.0 into 0.0: a stage at the origin reports "0.00", not "-0.00".
    const auto res = std::to_chars(buf, buf + sizeof buf, value + 0.0, std::chars_format::fixed, decimals);
    if (res.ec != std::errc())
        return "0";
    return std::string(buf, res.ptr);
}

std::vector<std::string> BannerLines()
{
    return {
        "start",
        "echo:TarnikSim simulated stage controller 1.0",
        "echo:envelope X0..300 Y0..300 Z0..200 mm, steps/mm X80 Y80 Z400",
        "echo:ready",
    };
}

std::string FloodText(size_t bytes, const std::string& lineEnd)
{
    std::string text;
    text.reserve(bytes + 64);
    for (unsigned n = 0; text.size() < bytes; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "echo:flood %06u ................................", n);
        text += line;
        text += lineEnd;
    }
    text.resize(bytes);
    if (!text.empty())
        text.back() = '\n';
    return text;
}

std::string NoiseBytes(std::uint32_t& seed)
{
    static constexpr unsigned char NOISE[] = {0x01, 0x07, 0x08, 0x1B, 0x7F, 0x80, 0x9F, 0xA5, 0xC3,
                                              0xFE, 0xFF, '~', '#', '%', '^', '|', '!', '?'};
    auto next = [&seed] {
        // xorshift32: cheap, and the same seed gives the same noise, so a failure can be replayed.
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    if (seed == 0)
        seed = 0x9E3779B9u;
    std::string noise(1 + next() % 8, '\0');
    for (char& c : noise)
        c = static_cast<char>(NOISE[next() % sizeof NOISE]);
    return noise;
}

std::string FormatTranscriptEntry(double seconds, std::string_view text)
{
    std::string entry = FormatFixed(seconds, 3);
    entry += '\t';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r') {
            entry += "\\r";
        } else if (c == '\\') {
            entry += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            entry += esc;
        } else {
            entry += ch;
        }
    }
    entry += '\n';
    return entry;
}

std::vector<std::string> CLineSplitter::Feed(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (const char c : bytes) {
        if (c == '\n') {
            lines.push_back(std::move(m_strPending));
            m_strPending.clear();
        } else {
            m_strPending += c;
        }
    }
    return lines;
}

} // namespace sim
