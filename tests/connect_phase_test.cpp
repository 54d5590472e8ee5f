// The connection's life as the operator goes through it, event by event.
#include <gtest/gtest.h>
#include <vector>

#include "panel/ConnectPhase.h"

namespace {

TEST(ConnectPhase, OnlyTheFirstReportCompletesAndEveryEndLeadsBackToIdle)
{
    using E = EConnectEvent;
    constexpr int IDLE = CONNECT_PHASE_IDLE, CONNECTING = CONNECT_PHASE_CONNECTING, REPORTED = CONNECT_PHASE_REPORTED;
    constexpr int NONE = -1;   // the event changes nothing
    // Each event of a story, and the phase it leads to.
    const std::vector<std::pair<E, int>> stories[] = {
        {{E::Connect, CONNECTING}, {E::CompleteReport, REPORTED}, {E::CompleteReport, NONE}, {E::Disconnect, IDLE}},
        {{E::Connect, CONNECTING}, {E::Connect, NONE}, {E::Disconnect, IDLE}},   // the time-out before a report
        {{E::CompleteReport, NONE}, {E::Disconnect, NONE}},                      // nothing while idle but Connect
    };
    for (const auto& story : stories) {
        int phase = IDLE, step = 0;
        for (const auto& [event, expected] : story) {
            const std::optional<int> next = NextConnectPhase(phase, event);
            EXPECT_EQ(next.value_or(NONE), expected) << "story " << (&story - stories) << ", event " << step++;
            phase = next.value_or(phase);
        }
    }
}

} // namespace
