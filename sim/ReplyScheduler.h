#pragma once
// When each byte of the simulator's answers goes out: lines answered one after the other with an
// optional delay, a held-back handshake, blocking commands with their busy notices, floods, noise,
// line ends and chunks with pauses, a halt and a controller fallen silent. Time is passed in, so
// that every timing fault can be checked without a clock.
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
    bool busyNotices = true;   // "echo:busy: processing" while a blocking command runs
    int busyEveryMs = 2000;
    int haltAfterMs = -1;      // >=0: halts this long after the start
    int silentAfterMs = -1;    // >=0: falls silent this long after the start
};

inline constexpr char BUSY_NOTICE[] = "echo:busy: processing";
inline constexpr char HALT_NOTICE[] = "Error:Printer halted. kill() called!";

class CReplyScheduler {
public:
    // `tag`: what the line was queued with.
    using FExecute = std::function<SReply(const std::string& line, Clock::time_point now, std::uint64_t tag)>;

    // `start`: the moment the halt and the silence of the options count from.
    explicit CReplyScheduler(SScheduleOptions options = {}, Clock::time_point start = {});

    // A received line waits its turn (a halted or silent controller ignores it).
    void Queue(std::string line, Clock::time_point arrival, std::uint64_t tag = 0);
    // Answers, through `execute`, every queued line whose turn has come, and lets held-back
    // answers and busy notices fall due.
    void Advance(Clock::time_point now, const FExecute& execute);

    // The controller rebooted: lines waiting for their turn and answers not yet sent are lost, and
    // a halt is over.
    void Reset();

    // The controller halts: what it owed is lost, it prints HALT_NOTICE and then nothing more, and
    // takes up no line until a reboot.
    void Halt();
    // A silent controller sends nothing and takes up no line that arrives meanwhile; what falls due
    // while it is silent is lost, never sent later.
    void SetSilent(bool silent);
    bool Halted() const { return m_bHalted; }

    void SendLines(const std::vector<std::string>& lines);   // framed: line ends, noise
    void SendRaw(const std::string& bytes);                  // as it is, even when halted or silent

    // What may be written now (empty while nothing is due or a chunk pause runs), and how much was.
    std::string_view Writable(Clock::time_point now) const;
    void Written(size_t count, Clock::time_point now);

    // No line waits for its answer and no answer waits to go out (a timed fault still to come is
    // not an answer).
    bool Idle() const;

    // The next moment Advance or Writable has something new to do.
    std::optional<Clock::time_point> NextDeadline() const;

private:
    struct SLine {
        std::string text;
        Clock::time_point arrival;
        std::uint64_t tag;
    };

    std::string Frame(const std::vector<std::string>& lines);
    void Send(const std::string& bytes);
    bool Deaf() const { return m_bHalted || m_bSilent; }
    void FallDue(Clock::time_point now);
    // Carries out a timed halt or silence due by `by`, after what fell due before it; true if one was.
    bool TimedFault(Clock::time_point by);

    SScheduleOptions m_options;
    std::deque<SLine> m_lines;
    std::optional<Clock::time_point> m_headReadyAt;
    std::multimap<Clock::time_point, std::string> m_held;   // answers due later, by due time
    std::string m_strOut;                                  // bytes due now, in order
    Clock::time_point m_nextChunkAt{};
    Clock::time_point m_freeAt{};         // the previous line's answer (or its delay) is over
    Clock::time_point m_blockedUntil{};   // a blocking command (G28, M400) runs until then
    Clock::time_point m_nextBusyAt{};
    std::optional<Clock::time_point> m_haltAt, m_silentAt;   // timed faults still to come
    bool m_bHalted = false;
    bool m_bSilent = false;
    bool m_bFloodSent = false;
    std::uint32_t m_nNoiseSeed = 0x5EED1234u;
};

} // namespace sim
