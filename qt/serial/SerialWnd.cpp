#include "qt/serial/SerialWnd.h"

#include <QWidget>

#include "qt/platform/NamedMessages.h"

namespace {

// Registered during static initialisation, before the application starts.
const UINT g_nDefaultComMsg = RegisterNamedMessage(QStringLiteral("CSerialWnd_DefaultComMsg"));

} // namespace

UINT CSerialWnd::DefaultComMsg() { return g_nDefaultComMsg; }

CSerialWnd::CSerialWnd() = default;

CSerialWnd::~CSerialWnd() { StopNotifying(); }

void CSerialWnd::StopNotifying()
{
    m_hwndDest.store(nullptr);
    m_nComMsg.store(0);
    StopListenerThread(INFINITE);
}

LONG CSerialWnd::Open(const std::string& device, QObject* hwndDest, UINT nComMsg, LPARAM lParam, DWORD dwInQueue,
                      DWORD dwOutQueue)
{
    if (LONG err = OpenPort(device, dwInQueue, dwOutQueue))
        return err;
    m_hwndDest.store(hwndDest);
    m_nComMsg.store(nComMsg ? nComMsg : DefaultComMsg());
    m_lParam.store(lParam);
    if (LONG err = StartListenerThread()) {
        Close();
        return SetLastError(err);
    }
    return SetLastError(ERROR_SUCCESS);
}

LONG CSerialWnd::Close()
{
    m_hwndDest.store(nullptr);
    m_nComMsg.store(0);
    ClosePort();
    return SetLastError(ERROR_SUCCESS);
}

void CSerialWnd::OnSerialEvent(DWORD events, DWORD errors)
{
    const WPARAM wParam = (static_cast<WPARAM>(errors & 0xFFFF) << 16) | (events & 0xFFFF);
    // A failed post is not reported; with no destination left there is nobody to tell.
    PostNamedMessage(m_hwndDest.load(), m_nComMsg.load(), wParam, m_lParam.load());
}

CSerialMFC::~CSerialMFC() { StopNotifying(); }

LONG CSerialMFC::Open(const std::string& device, QWidget* pWnd, UINT nComMsg, LPARAM lParam, DWORD dwInQueue,
                      DWORD dwOutQueue)
{
    return CSerialWnd::Open(device, static_cast<QObject*>(pWnd), nComMsg, lParam, dwInQueue, dwOutQueue);
}
