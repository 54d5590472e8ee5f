#pragma once
// The phases of a connection, as CTarnikMDlg::m_nConnectPhase holds them, and every way from one to
// another. Whether the handshake has come and whether the position is live are kept apart: the
// phase only says whether Connect was pressed and whether a complete report has shown since.
#include <optional>

enum EConnectPhase : int {
    CONNECT_PHASE_IDLE = 0,         // not connected; Connect opens the port
    CONNECT_PHASE_CONNECTING = 1,   // the port was opened (or tried); no complete report yet
    CONNECT_PHASE_REPORTED = 2,     // a complete report has been shown: the Connect button says Disconnect
};

enum class EConnectEvent {
    Connect,          // Connect pressed while idle
    CompleteReport,   // a complete position report was shown
    Disconnect,       // Disconnect pressed, the time-out, a vanished device: back to idle
};

struct SConnectTransition {
    int from;
    EConnectEvent event;
    int to;
};

inline constexpr SConnectTransition kConnectTransitions[] = {
    {CONNECT_PHASE_IDLE, EConnectEvent::Connect, CONNECT_PHASE_CONNECTING},
    {CONNECT_PHASE_CONNECTING, EConnectEvent::CompleteReport, CONNECT_PHASE_REPORTED},
    {CONNECT_PHASE_CONNECTING, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
    {CONNECT_PHASE_REPORTED, EConnectEvent::Disconnect, CONNECT_PHASE_IDLE},
};

// The phase event leads to from phase; none when the event changes nothing there (a report while
// idle, every report after the first).
constexpr std::optional<int> NextConnectPhase(int phase, EConnectEvent event)
{
    for (const SConnectTransition& t : kConnectTransitions)
        if (t.from == phase && t.event == event)
            return t.to;
    return std::nullopt;
}
