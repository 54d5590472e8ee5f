#include "core/StagePlan.h"

#include <cmath>

namespace {

// Queries whose answers never came (a reply cut apart, a purge) would pile up for ever.
constexpr size_t MAX_UNANSWERED_QUERIES = 64;

constexpr double CENTI = 100.0;

// Values beyond the envelope by more than this are out anyway; the bound keeps llround defined.
constexpr float FAR_OUT_MM = 1.0e9f;

bool Representable(float value) { return std::isfinite(value) && std::fabs(value) < FAR_OUT_MM; }

long long Centi(float value) { return std::llround(static_cast<double>(value) * CENTI); }

bool WithinCenti(long long centi, int axis)
{
    return centi >= 0 && centi <= Centi(CStagePlan::ENVELOPE[static_cast<size_t>(axis)]);
}

} // namespace

void CStagePlan::Reset() { *this = CStagePlan(); }

void CStagePlan::ForgetUnanswered(long long nowMs)
{
    while (!m_queries.empty() && nowMs - m_queries.front().sentMs > ANSWER_AWAITED_MS)
        m_queries.pop_front();
}

void CStagePlan::QuerySent(long long nowMs)
{
    ForgetUnanswered(nowMs);
    m_nMovesAtLastQuery = m_nMoves;
    m_queries.push_back({m_nMoves, nowMs});
    if (m_queries.size() > MAX_UNANSWERED_QUERIES)
        m_queries.pop_front();
}

void CStagePlan::ReportArrived(const Axes& reported, bool complete, long long nowMs)
{
    ForgetUnanswered(nowMs);
    // With no query awaited, the matching starts afresh: a report nobody asked for (or the last of
    // a run shifted by a stray one) can only answer the last query.
    unsigned long movesAtQuery = m_nMovesAtLastQuery;
    if (!m_queries.empty()) {
        movesAtQuery = m_queries.front().movesBefore;
        m_queries.pop_front();
    }
    // A report older than the last move says where the stage was, not where it is going.
    if (!complete || movesAtQuery != m_nMoves)
        return;
    for (size_t i = 0; i < 3; ++i) {
        m_known[i] = Representable(reported[i]);   // "inf" tells nothing
        m_commanded[i] = m_known[i] ? Centi(reported[i]) : 0;
    }
}

void CStagePlan::StepSent(int axis, float delta)
{
    ++m_nMoves;
    m_commanded[static_cast<size_t>(axis)] += Representable(delta) ? Centi(delta) : 0;
}

void CStagePlan::AbsoluteSent(const Axes& target)
{
    ++m_nMoves;
    for (size_t i = 0; i < 3; ++i) {
        m_known[i] = Representable(target[i]);
        m_commanded[i] = m_known[i] ? Centi(target[i]) : 0;
    }
}

void CStagePlan::HomeSent(float zLift) { AbsoluteSent({0.0f, 0.0f, zLift}); }

bool CStagePlan::StepAllowed(int axis, float delta) const
{
    return Known(axis) && Representable(delta) && WithinCenti(m_commanded[static_cast<size_t>(axis)] + Centi(delta), axis);
}

bool CStagePlan::TargetFor(int axis, float value, Axes& target) const
{
    for (int i = 0; i < 3; ++i)
        if (i != axis && !Known(i))
            return false;
    target = Commanded();
    target[static_cast<size_t>(axis)] = value;
    return true;
}

bool CStagePlan::Inside(const Axes& target)
{
    for (int i = 0; i < 3; ++i)
        if (!Representable(target[static_cast<size_t>(i)]) || !WithinCenti(Centi(target[static_cast<size_t>(i)]), i))
            return false;
    return true;
}

CStagePlan::Axes CStagePlan::Commanded() const
{
    Axes mm{};
    for (size_t i = 0; i < 3; ++i)
        mm[i] = static_cast<float>(static_cast<double>(m_commanded[i]) / CENTI);
    return mm;
}
