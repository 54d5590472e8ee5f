#pragma once
// The simulated controller's G-code interpreter and motion planner: one received line in, the reply
// lines out. Time is passed in, so that moves can be followed without waiting for them.
#include <array>
#include <chrono>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;
using Axes = std::array<double, 3>;

inline constexpr Axes ENVELOPE_MM = {300.0, 300.0, 200.0};
inline constexpr Axes STEPS_PER_MM = {80.0, 80.0, 400.0};
inline constexpr double DEFAULT_FEED_MM_PER_MIN = 3000.0;
inline constexpr char HANDSHAKE_REPLY[] = "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0";

struct SModelOptions {
    bool noHandshake = false;   // M105 answered with a bare "ok"
    bool noEField = false;      // position reports without " E:..."
    bool noReports = false;     // M114 answered with a bare "ok", never a report
    double speedFactor = 1.0;   // scales every move's and every homing's duration; 0 makes them instant
    Axes homingMmPerSec = {50, 50, 4};     // G28 runs the axes one after the other, X, Y, then Z
    Axes maxFeedMmPerSec = {300, 300, 5};  // each axis runs at the commanded feed, capped at this
    std::string handshakeReply{};          // non-empty: M105 is answered with these lines ("\n" between
                                           // them), exactly, without an "ok" of our own
};

struct SReply {
    bool answered = false;              // false for blank and comment-only lines: no "ok" at all
    bool handshake = false;             // the answer to M105, which a fault may hold back
    std::vector<std::string> lines;     // without line ends; the last one is the "ok" (bar a custom M105 answer)
    Clock::time_point doneAt{};         // blocking commands (G28, M400) answer only then
    bool outsideEnvelope = false;       // a move whose commanded target lay outside (and was clamped)
};

class CStageModel {
public:
    explicit CStageModel(SModelOptions options = {});

    SReply Execute(std::string_view line, Clock::time_point now);

    // Where the stage is going: what M114 reports, as firmware of this kind does while it moves.
    Axes Target() const { return m_target; }
    // Where the stage is at `now`, between the planned moves (the report's "Count" part).
    Axes Actual(Clock::time_point now) const;
    // When the last planned move ends (in the past when idle).
    Clock::time_point IdleAt() const;
    // Puts the stage somewhere at once, without motion.
    void SetPosition(const Axes& position);
    // Stops every move where it has got to at `now`, as a controller that halts does.
    void Stop(Clock::time_point now) { SetPosition(Actual(now)); }

    std::string PositionReport(Clock::time_point now) const;

private:
    struct SMove {
        Clock::time_point start, end;
        Axes from, to;
    };

    // One straight move; each axis runs at `mmPerSec` capped at its own limit, and the move lasts
    // as long as its slowest axis.
    void PlanMove(const Axes& to, const Axes& mmPerSec, Clock::time_point now);
    bool Move(std::string_view words, Clock::time_point now);   // true when a target was clamped
    Clock::time_point Home(std::string_view words, Clock::time_point now);

    SModelOptions m_options;
    Axes m_target{};
    bool m_bRelative = false;
    double m_fUnitMm = 1.0;
    double m_fFeedMmPerMin = DEFAULT_FEED_MM_PER_MIN;
    std::deque<SMove> m_moves;   // planned and running, in order; finished ones are dropped
};

} // namespace sim
