// The connection's life as the operator goes through it, event by event.
#include <gtest/gtest.h>
#include <vector>

#include "panel/ConnectPhase.h"

namespace {

TEST(ConnectPhase, OnlyTheFirstReportCompletesAndEveryEndLeadsBackToIdle)
{
    using E = EConnectEvent;
    constexpr int NONE = -1;   // the event changes nothing
    const struct {
        const char* story;
        std::vector<std::pair<E, int>> steps;   // each event and the phase it leads to
    } cases[] = {
        {"connect, report, disconnect",
         {{E::Connect, CONNECT_PHASE_CONNECTING}, {E::CompleteReport, CONNECT_PHASE_REPORTED},
          {E::CompleteReport, NONE}, {E::Disconnect, CONNECT_PHASE_IDLE}}},
        {"time-out before any report", {{E::Connect, CONNECT_PHASE_CONNECTING}, {E::Disconnect, CONNECT_PHASE_IDLE}}},
        {"nothing while idle but Connect", {{E::CompleteReport, NONE}, {E::Disconnect, NONE}}},
        {"Connect is not taken twice", {{E::Connect, CONNECT_PHASE_CONNECTING}, {E::Connect, NONE}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        int phase = CONNECT_PHASE_IDLE;
        for (const auto& [event, expected] : c.steps) {
            const std::optional<int> next = NextConnectPhase(phase, event);
            EXPECT_EQ(next.value_or(NONE), expected);
            phase = next.value_or(phase);
        }
    }
}

} // namespace
