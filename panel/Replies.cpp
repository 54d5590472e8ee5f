// What the controller sends, turned into panel state: the handshake reply, the position reports
// and the "current: (" read-out.
#include <QThread>
#include <cstring>

#include "panel/ReplyGrammar.h"
#include "panel/TarnikMDlg.h"
#include "res/Resource.h"
#include "serial/SerialWnd.h"

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
    do {
        // Bytes that arrive during the wait are read together with those that raised the event.
        QThread::msleep(50);
        count = 0;
        m_pSerial->Read(buffer, 2047, &count);
        if (count > 2047)
            count = 0;
        buffer[count] = '\0';
        // Every byte maps to a character; the text ends at the first zero byte.
        received = QString::fromLatin1(buffer, static_cast<qsizetype>(std::strlen(buffer)));
        m_pSerial->Purge();
    } while (count == 2047);

    if (!received.isEmpty())
        ProcessReply(received);
    return 0;
}

void CTarnikMDlg::ProcessReply(QString text)
{
    if (text.isEmpty())
        return;
    // A text with the handshake reply is taken for the handshake alone.
    if (IsHandshakeReply(text)) {
        OnHandshakeReply();
        return;
    }
    for (const QString& line : SplitReplyLines(text))
        if (IsPositionReport(line))
            ParsePosition(line);
}

BOOL CTarnikMDlg::ParsePosition(QString line)
{
    const SPositionReport report = ParsePositionLine(line);
    // The values are stored even from an incomplete report, as they always were.
    m_fPosX = report.x;
    m_fPosY = report.y;
    m_fPosZ = report.z;
    if (!report.complete) {
        SendFixedLine("M114\n");
        return TRUE;
    }
    UpdateSliders();
    SetDlgItemText(IDC_STATIC_CURPOS, FormatPositionReadout(report));
    if (m_nConnectPhase == 1)
        OnFirstPositionReport();
    else if (m_bConnected && !m_bConnectedLook)
        // A report that came before the handshake reply already ended the connecting phase with the
        // controls disabled; the first complete report after the handshake enables them.
        SetConnectedState(TRUE);
    return TRUE;
}
