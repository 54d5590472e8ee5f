// What the controller sends, turned into session state: the handshake reply, the position reports,
// busy notices and errors.
#include <algorithm>

#include "core/CommandLines.h"
#include "core/ControllerLines.h"
#include "core/ReplyGrammar.h"
#include "core/StageSession.h"

SEffects CStageSession::Received(const SReceived& received)
{
    // Any byte at all shows the controller alive: a homing may go on as long as it says so. A read
    // that came back full had bytes, whatever the last one found.
    const std::string_view bytes = received.lastRead;
    if (!bytes.empty() || received.reads > 1)
        m_nSilentTicks = 0;
    // A read that ended inside a line (its piece is dropped) leaves the rest of that line at the
    // start of the next one, and so does the purge after a full read (more was waiting than one
    // read takes): the step counts of a cut report read just like a report of their own.
    const bool bStartsMidLine = m_bReadEndedMidLine || received.reads > 1;
    if (!bytes.empty())
        m_bReadEndedMidLine = bytes.back() != '\n';
    else if (received.reads > 1)
        m_bReadEndedMidLine = true;
    // Every byte maps to a character; the text ends at the first zero byte.
    const std::string text(bytes.substr(0, std::min(bytes.size(), bytes.find('\0'))));
    if (text.empty())
        return TakeEffects();
    m_bTextStartsMidLine = bStartsMidLine;
    ProcessReply(text);
    m_bTextStartsMidLine = false;
    return TakeEffects();
}

void CStageSession::ProcessReply(const std::string& text)
{
    if (text.empty() || m_nConnectPhase == CONNECT_PHASE_HALTED)
        return;
    // The first handshake reply of a connection takes its whole text. A later one (a board asked
    // twice answers twice) is an ordinary text: it never homes the stage again.
    if (IsHandshakeReply(text) && !m_bHandshakeDone) {
        OnHandshakeReply();
        return;
    }
    const std::vector<std::string> lines = SplitReplyLines(text);
    // A board that rebooted as its port opened says so once it listens: ask it at once.
    if (!m_bHandshakeDone && !m_bReadyToConnect && HasBootLine(lines))
        WriteLine(LINE_HANDSHAKE);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (IsErrorLine(line)) {
            OnErrorLine(line);
            // The connection is ending, or the controller halted: nothing more of this text counts.
            if (m_bReadyToConnect || m_bShowingConnectionError || m_nConnectPhase == CONNECT_PHASE_HALTED)
                return;
            continue;
        }
        m_strLastError.clear();
        if (IsBusyLine(line))
            OnBusyLine();
        else if (IsPositionReport(line))
            TakeReport(line, i == 0 && m_bTextStartsMidLine ? SPositionReport{} : ParsePositionLine(line));
    }
}

void CStageSession::TakeReport(const std::string& line, const SPositionReport& report)
{
    // The values are stored even from an incomplete report, as they always were; a line whose
    // first fields are not X, Y and Z holds no position at all, and the last one stays.
    if (report.fields)
        m_pos = {report.x, report.y, report.z};
    m_plan.ReportArrived({report.x, report.y, report.z}, report.complete, m_in.nowMs());
    m_nQueriesSinceReport = 0;
    if (!report.complete) {
        // Asked again a few times per query, not without end: a controller that never completes
        // its report would otherwise keep the window thread in a loop of queries.
        if (m_nReportRetries < REPORT_RETRIES_PER_QUERY) {
            ++m_nReportRetries;
            SendQuery();
        } else if (m_nReportRetries == REPORT_RETRIES_PER_QUERY) {
            ++m_nReportRetries;
            Trace("Incomplete position report, not asked again: " + TrimmedLine(line));
        }
        WatchController();
        return;
    }
    m_nReportRetries = 0;
    UpdateSliders();
    EmitText(EControl::Readout, FormatPositionReadout(report));
    OnCompleteReport();
    WatchController();
}
