#include "sim/ReplyScheduler.h"

#include "sim/SimText.h"

#include <algorithm>

namespace sim {

using std::chrono::milliseconds;

CReplyScheduler::CReplyScheduler(SScheduleOptions options) : m_options(options) {}

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

void CReplyScheduler::Queue(std::string line, Clock::time_point arrival)
{
    m_lines.push_back({std::move(line), arrival});
}

void CReplyScheduler::Reset()
{
    m_lines.clear();
    m_headReadyAt.reset();
    m_held.clear();
    m_strOut.clear();
    m_freeAt = m_blockedUntil = m_nextBusyAt = Clock::time_point{};
}

void CReplyScheduler::SendLines(const std::vector<std::string>& lines) { m_strOut += Frame(lines); }

void CReplyScheduler::SendRaw(const std::string& bytes) { m_strOut += bytes; }

// Held-back answers and busy notices leave in the order of their due times, so that a blocking
// command's notices always come before its own "ok".
void CReplyScheduler::FallDue(Clock::time_point now)
{
    for (;;) {
        const bool busyDue = m_nextBusyAt < m_blockedUntil && m_nextBusyAt <= now;
        const bool heldDue = !m_held.empty() && m_held.begin()->first <= now;
        if (busyDue && (!heldDue || m_nextBusyAt <= m_held.begin()->first)) {
            m_strOut += Frame({"echo:busy: processing"});
            m_nextBusyAt += BUSY_NOTICE_EVERY;
        } else if (heldDue) {
            m_strOut += m_held.begin()->second;
            m_held.erase(m_held.begin());
        } else {
            return;
        }
    }
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
        FallDue(at);
        const SReply reply = execute(line.text, at);
        if (reply.answered && m_options.floodBytes > 0 && !m_bFloodSent) {
            // Before the first answer rather than at start-up: a client that discards what waited
            // in the line when it opens the port still gets the flood.
            m_strOut += FloodText(m_options.floodBytes, m_options.crlf ? "\r\n" : "\n");
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
            m_nextBusyAt = at + BUSY_NOTICE_EVERY;
        } else {
            m_strOut += Frame(reply.lines);
        }
        m_lines.pop_front();
        m_headReadyAt.reset();
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
    if (m_nextBusyAt < m_blockedUntil)
        consider(m_nextBusyAt);
    return next;
}

} // namespace sim
