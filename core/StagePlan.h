#pragma once
// Where the lines already sent will have taken the stage, so that no line the panel sends ever
// commands a target outside the envelope. The controller reports a move's target as soon as it has
// taken the line, so a report is where the stage is going unless moves went out after the query it
// answers; then the panel's own tally of what it sent is the better bound. Pure: numbers in,
// decisions out, no widget and no port in sight.
#include <array>
#include <cstddef>
#include <deque>

class CStagePlan {
public:
    using Axes = std::array<float, 3>;   // X, Y, Z in mm
    static constexpr Axes ENVELOPE = {300.0f, 300.0f, 200.0f};

    // A new connection: nothing is known until a report or a Home.
    void Reset();

    // Reports answer the queries first in, first out. A query whose answer never came (lost in a
    // purge or a cut) is awaited this long, longer than a controller holds its queue behind a Home;
    // then it is no longer outstanding, so that a lost report shifts the matching only until then.
    static constexpr long long ANSWER_AWAITED_MS = 120000;

    // One "M114\n" went out whole, at nowMs on a steady clock.
    void QuerySent(long long nowMs = 0);
    // A report answered the oldest query still awaited; an incomplete one only uses up that query.
    // One that comes when no query is awaited counts as an answer to the last one.
    void ReportArrived(const Axes& reported, bool complete, long long nowMs = 0);

    // Lines that move: a relative step (axis 0..2), an absolute target, Home followed by a relative
    // Z lift.
    void StepSent(int axis, float delta);
    void AbsoluteSent(const Axes& target);
    void HomeSent(float zLift);

    // A step keeps the stage inside the envelope from wherever the lines sent take it; false too
    // while that axis is not known.
    bool StepAllowed(int axis, float delta) const;
    // The target of an absolute move, whose unmoved axes stay where the lines sent take them: false
    // when an unmoved axis is not known.
    bool TargetFor(int axis, float value, Axes& target) const;
    // Every axis finite and within 0..ENVELOPE.
    static bool Inside(const Axes& target);

    bool Known(int axis) const { return m_known[static_cast<size_t>(axis)]; }
    Axes Commanded() const;

private:
    // In hundredths of a millimetre, the resolution of every number on the wire, so that a long run
    // of 0.1 mm steps adds up exactly.
    std::array<long long, 3> m_commanded{};
    std::array<bool, 3> m_known{};
    struct SQuery {
        unsigned long movesBefore;   // m_nMoves when it went out
        long long sentMs;
    };
    void ForgetUnanswered(long long nowMs);

    unsigned long m_nMoves = 0;   // moves sent so far
    unsigned long m_nMovesAtLastQuery = 0;
    std::deque<SQuery> m_queries;   // awaiting their answers, oldest first
};
