// The connection's life as the operator goes through it, event by event.
#include <gtest/gtest.h>
#include <vector>

#include "core/ConnectPhase.h"

namespace {

TEST(ConnectPhase, EveryStoryOfAConnectionEndsBackInIdle)
{
    using E = EConnectEvent;
    constexpr int IDLE = CONNECT_PHASE_IDLE, CONNECTING = CONNECT_PHASE_CONNECTING, REPORTED = CONNECT_PHASE_REPORTED,
                  HOMING = CONNECT_PHASE_HOMING, BUSY = CONNECT_PHASE_BUSY, SILENT = CONNECT_PHASE_NOT_RESPONDING,
                  HALTED = CONNECT_PHASE_HALTED;
    constexpr int NONE = -1;   // the event changes nothing
    // Each event of a story, and the phase it leads to.
    const std::vector<std::pair<E, int>> stories[] = {
        // The usual connection: the homing, a working spell, a silent one, and the reports that end them.
        {{E::Connect, CONNECTING}, {E::Busy, NONE}, {E::Handshake, HOMING}, {E::Busy, NONE}, {E::CompleteReport, REPORTED},
         {E::CompleteReport, NONE}, {E::Busy, BUSY}, {E::Busy, NONE}, {E::CompleteReport, REPORTED}, {E::Silence, SILENT},
         {E::Busy, NONE}, {E::CompleteReport, REPORTED}, {E::Disconnect, IDLE}},
        // A report before the handshake (the stored point's query went first); the homing follows.
        {{E::Connect, CONNECTING}, {E::CompleteReport, REPORTED}, {E::Handshake, HOMING}, {E::CompleteReport, REPORTED}},
        // Silence through the homing allowance ends the attempt; a halt ends everything but Disconnect.
        {{E::Connect, CONNECTING}, {E::Handshake, HOMING}, {E::Silence, IDLE}},
        {{E::Connect, CONNECTING}, {E::Handshake, HOMING}, {E::Halt, HALTED}, {E::CompleteReport, NONE}, {E::Busy, NONE},
         {E::Silence, NONE}, {E::Handshake, NONE}, {E::Disconnect, IDLE}},
        {{E::Connect, CONNECTING}, {E::Connect, NONE}, {E::Silence, NONE}, {E::Disconnect, IDLE}},   // the port time-out
        {{E::CompleteReport, NONE}, {E::Halt, NONE}, {E::Disconnect, NONE}},   // nothing while idle but Connect
    };
    for (const auto& story : stories) {
        int phase = IDLE, step = 0;
        for (const auto& [event, expected] : story) {
            const std::optional<int> next = NextConnectPhase(phase, event);
            EXPECT_EQ(next.value_or(NONE), expected) << "story " << (&story - stories) << ", event " << step++;
            phase = next.value_or(phase);
        }
    }
    // Motion only while connected and neither silent nor halted.
    for (int phase = IDLE; phase <= HALTED; ++phase)
        EXPECT_EQ(ConnectPhaseAllowsMotion(phase), phase == REPORTED || phase == BUSY) << phase;
}

} // namespace
