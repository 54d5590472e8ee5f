#include "sim/ReplyScheduler.h"

#include "sim/SimText.h"

#include <algorithm>

namespace sim {

using std::chrono::milliseconds;

CReplyScheduler::CReplyScheduler(SScheduleOptions options, Clock::time_point start) : m_options(options)
{
    if (m_options.haltAfterMs >= 0)
        m_haltAt = start + milliseconds(m_options.haltAfterMs);
    if (m_options.silentAfterMs >= 0)
        m_silentAt = start + milliseconds(m_options.silentAfterMs);
}

std::string CReplyScheduler::Frame(const std::vector<std::string>& lines)
{
    const char* eol = m_options.crlf ? "\r\n" : "\n";
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += eol;
        if (m_options.noise) {
            text += NoiseBytes(m_nNoiseSeed);
            text += eol;
        }
    }
    return text;
}

void CReplyScheduler::Queue(std::string line, Clock::time_point arrival, std::uint64_t tag)
{
    if (!Deaf())
        m_lines.push_back({std::move(line), arrival, tag});
}

void CReplyScheduler::Reset()
{
    m_lines.clear();
    m_headReadyAt.reset();
    m_held.clear();
    m_strOut.clear();
    m_freeAt = m_blockedUntil = m_nextBusyAt = Clock::time_point{};
    m_bHalted = false;
}

void CReplyScheduler::Halt()
{
    const bool silent = m_bSilent;
    Reset();
    m_bSilent = silent;
    Send(Frame({HALT_NOTICE}));
    m_bHalted = true;
}

void CReplyScheduler::SetSilent(bool silent)
{
    if (silent && !m_bSilent) {
        m_lines.clear();
        m_headReadyAt.reset();
        m_strOut.clear();
    }
    m_bSilent = silent;
}

void CReplyScheduler::Send(const std::string& bytes)
{
    if (!Deaf())
        m_strOut += bytes;
}

void CReplyScheduler::SendLines(const std::vector<std::string>& lines) { Send(Frame(lines)); }

// Bytes of a test's or an operator's own: they go out whatever state the controller is in.
void CReplyScheduler::SendRaw(const std::string& bytes) { m_strOut += bytes; }

// Held-back answers and busy notices leave in the order of their due times, so that a blocking
// command's notices always come before its own "ok".
void CReplyScheduler::FallDue(Clock::time_point now)
{
    for (;;) {
        const bool busyDue = m_options.busyNotices && m_nextBusyAt < m_blockedUntil && m_nextBusyAt <= now;
        const bool heldDue = !m_held.empty() && m_held.begin()->first <= now;
        if (busyDue && (!heldDue || m_nextBusyAt <= m_held.begin()->first)) {
            Send(Frame({BUSY_NOTICE}));
            m_nextBusyAt += milliseconds(std::max(1, m_options.busyEveryMs));
        } else if (heldDue) {
            Send(m_held.begin()->second);
            m_held.erase(m_held.begin());
        } else {
            return;
        }
    }
}

bool CReplyScheduler::TimedFault(Clock::time_point by)
{
    const bool haltFirst = m_haltAt && (!m_silentAt || *m_haltAt <= *m_silentAt);
    std::optional<Clock::time_point>& first = haltFirst ? m_haltAt : m_silentAt;
    if (!first || *first > by)
        return false;
    FallDue(*first);
    first.reset();
    if (haltFirst)
        Halt();
    else
        SetSilent(true);
    return true;
}

void CReplyScheduler::Advance(Clock::time_point now, const FExecute& execute)
{
    while (!m_lines.empty()) {
        const SLine& line = m_lines.front();
        if (!m_headReadyAt)
            m_headReadyAt = std::max(line.arrival, m_freeAt) + milliseconds(m_options.replyDelayMs);
        if (now < *m_headReadyAt)
            break;
        // A line is taken up when its turn came, not when this call happens to run.
        const Clock::time_point at = *m_headReadyAt;
        if (TimedFault(at))
            continue;
        FallDue(at);
        const SReply reply = execute(line.text, at, line.tag);
        if (reply.answered && m_options.floodBytes > 0 && !m_bFloodSent) {
            // Before the first answer rather than at start-up: a client that discards what waited
            // in the line when it opens the port still gets the flood.
            Send(FloodText(m_options.floodBytes, m_options.crlf ? "\r\n" : "\n"));
            m_bFloodSent = true;
        }
        m_freeAt = at;
        if (!reply.answered) {
            // blank and comment-only lines get no answer at all
        } else if (reply.handshake && m_options.lateHandshakeMs >= 0) {
            m_held.emplace(std::max(at, line.arrival + milliseconds(m_options.lateHandshakeMs)), Frame(reply.lines));
        } else if (reply.doneAt > at) {
            m_held.emplace(reply.doneAt, Frame(reply.lines));
            m_freeAt = m_blockedUntil = reply.doneAt;
            m_nextBusyAt = at + milliseconds(std::max(1, m_options.busyEveryMs));
        } else {
            Send(Frame(reply.lines));
        }
        m_lines.pop_front();
        m_headReadyAt.reset();
    }
    while (TimedFault(now)) {
    }
    FallDue(now);
}

std::string_view CReplyScheduler::Writable(Clock::time_point now) const
{
    if (m_strOut.empty())
        return {};
    if (m_options.chunkSize <= 0)
        return m_strOut;
    if (now < m_nextChunkAt)
        return {};
    return std::string_view(m_strOut).substr(0, static_cast<size_t>(m_options.chunkSize));
}

void CReplyScheduler::Written(size_t count, Clock::time_point now)
{
    m_strOut.erase(0, count);
    if (m_options.chunkSize > 0)
        m_nextChunkAt = now + milliseconds(m_options.chunkPauseMs);
}

bool CReplyScheduler::Idle() const
{
    // A busy notice still to come always has the blocking command's answer behind it.
    return m_lines.empty() && m_strOut.empty() && m_held.empty();
}

std::optional<Clock::time_point> CReplyScheduler::NextDeadline() const
{
    std::optional<Clock::time_point> next;
    auto consider = [&next](Clock::time_point t) { next = next ? std::min(*next, t) : t; };
    if (m_headReadyAt)
        consider(*m_headReadyAt);
    if (!m_held.empty())
        consider(m_held.begin()->first);
    if (!m_strOut.empty() && m_options.chunkSize > 0)
        consider(m_nextChunkAt);
    if (m_options.busyNotices && m_nextBusyAt < m_blockedUntil)
        consider(m_nextBusyAt);
    if (m_haltAt)
        consider(*m_haltAt);
    if (m_silentAt)
        consider(*m_silentAt);
    return next;
}

} // namespace sim
