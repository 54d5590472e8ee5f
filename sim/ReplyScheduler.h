#pragma once
// When each byte of the simulator's answers goes out: lines answered one after the other with an
// optional delay, a held-back handshake, blocking commands with their busy notices, floods, noise,
// line ends and chunks with pauses. Time is passed in, so that every timing fault can be checked
// without a clock.
#include "sim/StageModel.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct SScheduleOptions {
    int replyDelayMs = 0;
    int chunkSize = 0;
    int chunkPauseMs = 0;
    size_t floodBytes = 0;
    bool noise = false;
    bool crlf = false;
    int lateHandshakeMs = -1;
};

inline constexpr auto BUSY_NOTICE_EVERY = std::chrono::seconds(2);

class CReplyScheduler {
public:
    using FExecute = std::function<SReply(const std::string& line, Clock::time_point now)>;

    explicit CReplyScheduler(SScheduleOptions options = {});

    // A received line waits its turn.
    void Queue(std::string line, Clock::time_point arrival);
    // Answers, through `execute`, every queued line whose turn has come, and lets held-back
    // answers and busy notices fall due.
    void Advance(Clock::time_point now, const FExecute& execute);

    // The controller rebooted: lines waiting for their turn and answers not yet sent are lost.
    void Reset();

    void SendLines(const std::vector<std::string>& lines);   // framed: line ends, noise
    void SendRaw(const std::string& bytes);                  // as it is

    // What may be written now (empty while nothing is due or a chunk pause runs), and how much was.
    std::string_view Writable(Clock::time_point now) const;
    void Written(size_t count, Clock::time_point now);

    // No line waits for its answer and no answer waits to go out.
    bool Idle() const { return m_lines.empty() && m_strOut.empty() && !NextDeadline(); }

    // The next moment Advance or Writable has something new to do.
    std::optional<Clock::time_point> NextDeadline() const;

private:
    struct SLine {
        std::string text;
        Clock::time_point arrival;
    };

    std::string Frame(const std::vector<std::string>& lines);
    void FallDue(Clock::time_point now);

    SScheduleOptions m_options;
    std::deque<SLine> m_lines;
    std::optional<Clock::time_point> m_headReadyAt;
    std::multimap<Clock::time_point, std::string> m_held;   // answers due later, by due time
    std::string m_strOut;                                  // bytes due now, in order
    Clock::time_point m_nextChunkAt{};
    Clock::time_point m_freeAt{};         // the previous line's answer (or its delay) is over
    Clock::time_point m_blockedUntil{};   // a blocking command (G28, M400) runs until then
    Clock::time_point m_nextBusyAt{};
    bool m_bFloodSent = false;
    std::uint32_t m_nNoiseSeed = 0x5EED1234u;
};

} // namespace sim
