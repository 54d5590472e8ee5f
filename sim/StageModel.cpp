#include "sim/StageModel.h"

#include "sim/SimText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace sim {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsLetter(char c) { return Upper(c) >= 'A' && Upper(c) <= 'Z'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// A number in C-locale notation at the start of `s`; from_chars ignores the locale, which is the
// point. A leading '+' is accepted because G-code writers emit it.
std::optional<double> LeadingNumber(std::string_view s, size_t* used = nullptr)
{
    size_t skip = (!s.empty() && s.front() == '+') ? 1 : 0;
    double value = 0;
    const auto res = std::from_chars(s.data() + skip, s.data() + s.size(), value);
    if (res.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    if (used)
        *used = static_cast<size_t>(res.ptr - s.data());
    return value;
}

// The value of word `letter` ("X10", "x10", "X 10" is not a word), if present and numeric.
std::optional<double> Word(std::string_view words, char letter)
{
    std::optional<double> found;
    for (size_t i = 0; i < words.size(); ++i) {
        if (Upper(words[i]) != letter)
            continue;
        size_t used = 0;
        if (auto v = LeadingNumber(words.substr(i + 1), &used)) {
            found = v;
            i += used;
        }
    }
    return found;
}

struct SCommand {
    char letter = 0;
    int code = -1;
    std::string_view words;   // everything after the command word
};

std::optional<SCommand> ParseCommand(std::string_view text)
{
    if (text.empty() || !IsLetter(text.front()))
        return std::nullopt;
    SCommand cmd;
    cmd.letter = Upper(text.front());
    const char* first = text.data() + 1;
    const char* last = text.data() + text.size();
    const auto res = std::from_chars(first, last, cmd.code);
    if (res.ec != std::errc() || res.ptr == first)
        return std::nullopt;
    // "G29.1" or "M114abc" are other commands than G29 and M114.
    if (res.ptr != last && !IsSpace(*res.ptr) && !IsLetter(*res.ptr))
        return std::nullopt;
    if (res.ptr != last && IsLetter(*res.ptr) && cmd.letter == 'M')
        return std::nullopt;
    cmd.words = std::string_view(res.ptr, static_cast<size_t>(last - res.ptr));
    return cmd;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t from = 0;;) {
        const size_t end = text.find('\n', from);
        lines.push_back(text.substr(from, end - from));
        if (end == std::string::npos)
            return lines;
        from = end + 1;
    }
}

constexpr char AXIS_LETTERS[] = {'X', 'Y', 'Z'};

} // namespace

CStageModel::CStageModel(SModelOptions options) : m_options(options) {}

SReply CStageModel::Execute(std::string_view line, Clock::time_point now)
{
    while (!m_moves.empty() && m_moves.front().end <= now)
        m_moves.pop_front();

    SReply reply;
    const std::string_view text = Trim(line.substr(0, line.find(';')));
    if (text.empty())
        return reply;
    reply.answered = true;
    reply.doneAt = now;

    const auto cmd = ParseCommand(text);
    const int code = cmd ? cmd->code : -1;
    const char letter = cmd ? cmd->letter : 0;
    if (letter == 'G' && (code == 0 || code == 1)) {
        reply.outsideEnvelope = Move(cmd->words, now);
    } else if (letter == 'G' && (code == 20 || code == 21)) {
        m_fUnitMm = code == 20 ? 25.4 : 1.0;
    } else if (letter == 'G' && code == 28) {
        reply.doneAt = Home(cmd->words, now);
    } else if (letter == 'G' && (code == 90 || code == 91)) {
        m_bRelative = code == 91;
    } else if (letter == 'M' && code == 105) {
        reply.handshake = true;
        if (!m_options.handshakeReply.empty())
            reply.lines = SplitLines(m_options.handshakeReply);
        else
            reply.lines.push_back(m_options.noHandshake ? "ok" : HANDSHAKE_REPLY);
        return reply;
    } else if (letter == 'M' && code == 114) {
        if (!m_options.noReports)
            reply.lines.push_back(PositionReport(now));
    } else if (letter == 'M' && code == 400) {
        reply.doneAt = std::max(now, IdleAt());
    } else {
        reply.lines.push_back("echo:Unknown command: \"" + std::string(text) + "\"");
    }
    reply.lines.push_back("ok");
    return reply;
}

bool CStageModel::Move(std::string_view words, Clock::time_point now)
{
    bool outside = false;
    if (auto f = Word(words, 'F'); f && *f > 0)
        m_fFeedMmPerMin = *f * m_fUnitMm;
    Axes to = m_target;
    for (size_t i = 0; i < 3; ++i) {
        if (auto v = Word(words, AXIS_LETTERS[i])) {
            const double mm = *v * m_fUnitMm;
            const double wanted = m_bRelative ? m_target[i] + mm : mm;
            // Soft end stops: the target is clamped into the envelope without a word, as the firmware does.
            to[i] = std::clamp(wanted, 0.0, ENVELOPE_MM[i]) + 0.0;
            outside = outside || !(wanted >= 0.0 && wanted <= ENVELOPE_MM[i]);
        }
    }
    const double mmPerSec = m_fFeedMmPerMin / 60.0;
    PlanMove(to, {mmPerSec, mmPerSec, mmPerSec}, now);
    return outside;
}

Clock::time_point CStageModel::Home(std::string_view words, Clock::time_point now)
{
    // "G28 X" homes only X; a bare "G28" homes every axis. One axis after the other, each from
    // where the moves before it leave it.
    bool any = false;
    for (const char c : words)
        any = any || Upper(c) == 'X' || Upper(c) == 'Y' || Upper(c) == 'Z';
    for (size_t i = 0; i < 3; ++i) {
        bool named = false;
        for (const char c : words)
            named = named || Upper(c) == AXIS_LETTERS[i];
        if (any && !named)
            continue;
        Axes to = m_target;
        to[i] = 0.0;
        PlanMove(to, m_options.homingMmPerSec, now);
    }
    return std::max(now, IdleAt());
}

void CStageModel::PlanMove(const Axes& to, const Axes& mmPerSec, Clock::time_point now)
{
    const Axes from = m_target;
    m_target = to;
    double seconds = 0;
    for (size_t i = 0; i < 3; ++i) {
        const double speed = std::min(mmPerSec[i], m_options.maxFeedMmPerSec[i]);
        if (from[i] != to[i])
            seconds = std::max(seconds, std::abs(to[i] - from[i]) / speed);
    }
    seconds *= m_options.speedFactor;
    if (!(seconds > 0) || !std::isfinite(seconds))
        return;
    // Moves queue up behind each other as in a planner; none is dropped or merged.
    const Clock::time_point start = std::max(now, IdleAt());
    const auto duration = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    m_moves.push_back({start, start + duration, from, to});
}

Axes CStageModel::Actual(Clock::time_point now) const
{
    for (auto it = m_moves.rbegin(); it != m_moves.rend(); ++it) {
        if (it->start > now)
            continue;
        if (now >= it->end)
            return it->to;
        const double part = std::chrono::duration<double>(now - it->start) / (it->end - it->start);
        Axes at{};
        for (size_t i = 0; i < 3; ++i)
            at[i] = it->from[i] + (it->to[i] - it->from[i]) * part;
        return at;
    }
    return m_moves.empty() ? m_target : m_moves.front().from;
}

Clock::time_point CStageModel::IdleAt() const
{
    return m_moves.empty() ? Clock::time_point{} : m_moves.back().end;
}

void CStageModel::SetPosition(const Axes& position)
{
    m_moves.clear();
    for (size_t i = 0; i < 3; ++i)
        m_target[i] = position[i];
}

std::string CStageModel::PositionReport(Clock::time_point now) const
{
    std::string report = "X:" + FormatFixed(m_target[0], 2) + " Y:" + FormatFixed(m_target[1], 2) +
                         " Z:" + FormatFixed(m_target[2], 2);
    if (!m_options.noEField)
        report += " E:0.00";
    const Axes at = Actual(now);
    report += " Count";
    for (size_t i = 0; i < 3; ++i) {
        report += ' ';
        report += AXIS_LETTERS[i];
        report += ':';
        report += std::to_string(std::lround(at[i] * STEPS_PER_MM[i]));
    }
    return report;
}

} // namespace sim
