#pragma once
// The phases of a connection, as CTarnikMDlg::m_nConnectPhase holds them, and every way from one to
// another. Whether the handshake has come and whether the position is live are kept apart: the
// phase says where the conversation with the controller stands.
//
//   IDLE --Connect--> CONNECTING --Handshake--> HOMING --CompleteReport--> REPORTED <--> BUSY
//                          |                                                  |           |
//                          +--CompleteReport--> REPORTED (early: no handshake yet)        |
//                                                       Silence --> NOT_RESPONDING <------+
//   any phase but IDLE --Halt--> HALTED;  any phase but IDLE --Disconnect--> IDLE
#include <optional>

enum EConnectPhase : int {
    CONNECT_PHASE_IDLE = 0,             // not connected; Connect opens the port
    CONNECT_PHASE_CONNECTING = 1,       // the port was opened (or tried); no handshake reply and no report yet
    CONNECT_PHASE_REPORTED = 2,         // a complete report has been shown: the Connect button says Disconnect
    CONNECT_PHASE_HOMING = 3,           // the handshake came and the stage homes: waiting for its first report
                                        // for as long as the controller shows life
    CONNECT_PHASE_BUSY = 4,             // connected; the controller said it is working since the last report
    CONNECT_PHASE_NOT_RESPONDING = 5,   // connected; a query went unanswered and nothing came for too long
    CONNECT_PHASE_HALTED = 6,           // the controller halted; nothing is sent until the operator reconnects
};

enum class EConnectEvent {
    Connect,          // Connect pressed while idle
    Handshake,        // this connection's first handshake reply
    CompleteReport,   // a complete position report was shown
    Busy,             // the controller says it is working ("echo:busy:")
    Silence,          // nothing at all came for longer than the phase allows
    Halt,             // the controller halted or shut down
    Disconnect,       // Disconnect pressed, the time-out, a vanished device: back to idle
};

struct SConnectTransition {
    int from;
    EConnectEvent event;
    int to;
};

inline constexpr SConnectTransition kConnectTransitions[] = {
    {CONNECT_PHASE_IDLE, EConnectEvent::Connect, CONNECT_PHASE_CONNECTING},

    {CONNECT_PHASE_CONNECTING, EConnectEvent::Handshake, CONNECT_PHASE_HOMING},
    // A report can beat the handshake reply when the stored last point's query went out first; the
    // controls stay off until the first report after the handshake.
    {CONNECT_PHASE_CONNECTING, EConnectEvent::CompleteReport, CONNECT_PHASE_REPORTED},
    {CONNECT_PHASE_REPORTED, EConnectEvent::Handshake, CONNECT_PHASE_HOMING},

    {CONNECT_PHASE_HOMING, EConnectEvent::CompleteReport, CONNECT_PHASE_REPORTED},
    // A controller that answered and then fell silent before it reported ends the attempt.
    {CONNECT_PHASE_HOMING, EConnectEvent::Silence, CONNECT_PHASE_IDLE},

    {CONNECT_PHASE_REPORTED, EConnectEvent::Busy, CONNECT_PHASE_BUSY},
    {CONNECT_PHASE_BUSY, EConnectEvent::CompleteReport, CONNECT_PHASE_REPORTED},
    {CONNECT_PHASE_REPORTED, EConnectEvent::Silence, CONNECT_PHASE_NOT_RESPONDING},
    {CONNECT_PHASE_BUSY, EConnectEvent::Silence, CONNECT_PHASE_NOT_RESPONDING},
    {CONNECT_PHASE_NOT_RESPONDING, EConnectEvent::CompleteReport, CONNECT_PHASE_REPORTED},

    {CONNECT_PHASE_CONNECTING, EConnectEvent::Halt, CONNECT_PHASE_HALTED},
    {CONNECT_PHASE_HOMING, EConnectEvent::Halt, CONNECT_PHASE_HALTED},
    {CONNECT_PHASE_REPORTED, EConnectEvent::Halt, CONNECT_PHASE_HALTED},
    {CONNECT_PHASE_BUSY, EConnectEvent::Halt, CONNECT_PHASE_HALTED},
    {CONNECT_PHASE_NOT_RESPONDING, EConnectEvent::Halt, CONNECT_PHASE_HALTED},

    {CONNECT_PHASE_CONNECTING, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
    {CONNECT_PHASE_HOMING, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
    {CONNECT_PHASE_REPORTED, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
    {CONNECT_PHASE_BUSY, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
    {CONNECT_PHASE_NOT_RESPONDING, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
    {CONNECT_PHASE_HALTED, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
};

// The phase event leads to from phase; none when the event changes nothing there (a report while
// idle, every report after the first, anything but Disconnect once halted).
constexpr std::optional<int> NextConnectPhase(int phase, EConnectEvent event)
{
    for (const SConnectTransition& t : kConnectTransitions)
        if (t.from == phase && t.event == event)
            return t.to;
    return std::nullopt;
}

// What the connection text (static 1040) reads in a phase; null where the connected or disconnected
// look decides it.
constexpr const char* ConnectPhaseText(int phase)
{
    switch (phase) {
    case CONNECT_PHASE_HOMING: return "Homing...";
    case CONNECT_PHASE_BUSY: return "Busy";
    case CONNECT_PHASE_NOT_RESPONDING: return "Not responding";
    case CONNECT_PHASE_HALTED: return "Halted";
    default: return nullptr;
    }
}

// The motion controls and the jog keys act in these phases only (and only once the handshake came):
// nothing is planned from a position that may be stale, and nothing goes to a halted controller.
constexpr bool ConnectPhaseAllowsMotion(int phase)
{
    return phase == CONNECT_PHASE_REPORTED || phase == CONNECT_PHASE_BUSY;
}
