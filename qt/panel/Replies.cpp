// What the controller sends, turned into panel state: the handshake reply, the position reports
// and the "current: (" read-out.
#include <QThread>
#include <cstring>

#include "core/CommandLines.h"
#include "qt/platform/TraceLog.h"
#include "core/ControllerLines.h"
#include "core/ReplyGrammar.h"
#include "qt/panel/TarnikMDlg.h"
#include "res/Resource.h"
#include "qt/serial/SerialWnd.h"

LRESULT CTarnikMDlg::OnSerialMsg(WPARAM wParam, LPARAM lParam)
{
    Q_UNUSED(lParam);
    const DWORD events = static_cast<DWORD>(wParam & 0xFFFF);
    if (events & EV_VANISHED) {
        OnDeviceVanished();
        return 0;
    }
    // Breaks and line errors are not acted on.
    if (!(events & CSerial::EEventRecv))
        return 0;

    char buffer[2048];
    std::memset(buffer, 0, sizeof buffer);
    QString received;
    DWORD count = 0;
    int reads = 0;
    do {
        ++reads;
        // Bytes that arrive during the wait are read together with those that raised the event.
        QThread::msleep(50);
        count = 0;
        m_pSerial->Read(buffer, 2047, &count);
        if (count > 2047)
            count = 0;
        // Any byte at all shows the controller alive: a homing may go on as long as it says so.
        if (count > 0)
            m_nSilentTicks = 0;
        buffer[count] = '\0';
        // Every byte maps to a character; the text ends at the first zero byte.
        received = QString::fromLatin1(buffer, static_cast<qsizetype>(std::strlen(buffer)));
        // Only what was received is dropped. Lines the panel wrote that the controller has not
        // taken yet are commands: discarding them with the rest would lose a move without a word.
        m_pSerial->Purge(CSerial::EPurgeRx);
    } while (count == 2047);

    // A read that ended inside a line (its piece is dropped) leaves the rest of that line at the
    // start of the next one, and so does the purge after a full read (more was waiting than one
    // read takes): the step counts of a cut report read just like a report of their own.
    const bool bStartsMidLine = m_bReadEndedMidLine || reads > 1;
    if (count > 0)
        m_bReadEndedMidLine = buffer[count - 1] != '\n';
    else if (reads > 1)
        m_bReadEndedMidLine = true;
    if (received.isEmpty())
        return 0;
    m_bTextStartsMidLine = bStartsMidLine;
    ProcessReply(received);
    m_bTextStartsMidLine = false;
    return 0;
}

void CTarnikMDlg::ProcessReply(QString text)
{
    if (text.isEmpty() || m_nConnectPhase == CONNECT_PHASE_HALTED)
        return;
    // The first handshake reply of a connection takes its whole text. A later one (a board asked
    // twice answers twice) is an ordinary text: it never homes the stage again.
    const std::string bytes = text.toLatin1().toStdString();
    if (IsHandshakeReply(bytes) && !m_bHandshakeDone) {
        OnHandshakeReply();
        return;
    }
    const std::vector<std::string> lines = SplitReplyLines(bytes);
    // A board that rebooted as its port opened says so once it listens: ask it at once.
    if (!m_bHandshakeDone && !m_bReadyToConnect && HasBootLine(lines))
        SendFixedLine(LINE_HANDSHAKE);
    for (size_t i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i].data(), static_cast<qsizetype>(lines[i].size()));
        if (IsErrorLine(lines[i])) {
            OnErrorLine(line);
            // The connection ended, or the controller halted: nothing more of this text counts.
            if (m_bReadyToConnect || m_nConnectPhase == CONNECT_PHASE_HALTED)
                return;
            continue;
        }
        m_strLastError.clear();
        if (IsBusyLine(lines[i]))
            OnBusyLine();
        else if (IsPositionReport(lines[i]))
            TakeReport(line, i == 0 && m_bTextStartsMidLine ? SPositionReport{} : ParsePositionLine(lines[i]));
    }
}

BOOL CTarnikMDlg::ParsePosition(QString line)
{
    TakeReport(line, ParsePositionLine(line.toLatin1().toStdString()));
    return TRUE;
}

void CTarnikMDlg::TakeReport(const QString& line, const SPositionReport& report)
{
    // The values are stored even from an incomplete report, as they always were; a line whose
    // first fields are not X, Y and Z holds no position at all, and the last one stays.
    if (report.fields) {
        m_fPosX = report.x;
        m_fPosY = report.y;
        m_fPosZ = report.z;
    }
    m_plan.ReportArrived({report.x, report.y, report.z}, report.complete, PlanClockMs());
    m_nQueriesSinceReport = 0;
    if (!report.complete) {
        // Asked again a few times per query, not without end: a controller that never completes
        // its report would otherwise keep the window thread in a loop of queries.
        if (m_nReportRetries < REPORT_RETRIES_PER_QUERY) {
            ++m_nReportRetries;
            SendQuery();
        } else if (m_nReportRetries == REPORT_RETRIES_PER_QUERY) {
            ++m_nReportRetries;
            WriteTraceLog(QStringLiteral("Incomplete position report, not asked again: ") + line.trimmed());
        }
        WatchController();
        return;
    }
    m_nReportRetries = 0;
    UpdateSliders();
    const std::string readout = FormatPositionReadout(report);
    SetDlgItemText(IDC_STATIC_CURPOS, QString::fromLatin1(readout.data(), static_cast<qsizetype>(readout.size())));
    OnCompleteReport();
    WatchController();
}
