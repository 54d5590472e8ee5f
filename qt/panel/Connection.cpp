// The connection's events: the Connect button, the connection timer, the port's notifications and
// the two buttons of the connection row. The session decides what each of them means.
#include <QThread>
#include <cstring>

#include "qt/panel/TarnikMDlg.h"
#include "qt/serial/SerialWnd.h"

void CTarnikMDlg::OnBnClickedConnect() { Run(m_session.ConnectPressed()); }

void CTarnikMDlg::OnTimer(UINT_PTR nIDEvent)
{
    Q_UNUSED(nIDEvent);
    Run(m_session.Tick());
}

void CTarnikMDlg::OnBnClickedRefresh() { Run(m_session.RefreshPressed()); }

void CTarnikMDlg::OnBnClickedStatus() { Run(m_session.StatusPressed()); }

// Breaks and line errors are not acted on. Received bytes are read after a short wait, so that
// bytes arriving meanwhile are read together with those that raised the event; a read that comes
// back full is followed by another.
LRESULT CTarnikMDlg::OnSerialMsg(WPARAM wParam, LPARAM lParam)
{
    Q_UNUSED(lParam);
    const DWORD events = static_cast<DWORD>(wParam & 0xFFFF);
    if (events & EV_VANISHED) {
        Run(m_session.DeviceVanished());
        return 0;
    }
    if (!(events & CSerial::EEventRecv))
        return 0;

    char buffer[2048];
    std::memset(buffer, 0, sizeof buffer);
    DWORD count = 0;
    int reads = 0;
    do {
        ++reads;
        QThread::msleep(50);
        count = 0;
        m_pSerial->Read(buffer, 2047, &count);
        if (count > 2047)
            count = 0;
        // Only what was received is dropped. Lines the panel wrote that the controller has not
        // taken yet are commands: discarding them with the rest would lose a move without a word.
        m_pSerial->Purge(CSerial::EPurgeRx);
    } while (count == 2047);
    Run(m_session.Received({std::string_view(buffer, count), reads}));
    return 0;
}
