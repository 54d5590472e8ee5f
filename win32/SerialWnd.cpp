// The panel's port over the serial classes (serial/SerialEx.h): the listener's events are posted to
// the panel's window, where the window thread reads, writes and purges.
#include "win32/SerialWnd.h"

#include <atomic>

#include "serial/ComPorts.h"
#include "serial/SerialEx.h"

static_assert(SERIAL_EVENT_RECV == CSerial::EEventRecv);
static_assert(SERIAL_EVENT_VANISHED == EV_VANISHED);

namespace {

class CPostingSerial : public CSerialEx {
public:
    ~CPostingSerial() override
    {
        // The listener calls OnSerialEvent of this object: it must be gone before the object is.
        m_hwnd.store(nullptr);
        StopListenerThread();
    }

    std::atomic<void*> m_hwnd{nullptr};
    std::atomic<std::intptr_t> m_lParam{0};

protected:
    void OnSerialEvent(DWORD events, DWORD errors) override
    {
        if (void* hwnd = m_hwnd.load())
            PostSerialNotification(hwnd, CSerialWnd::DefaultComMsg(),
                                   (static_cast<std::uintptr_t>(errors & 0xFFFF) << 16) | (events & 0xFFFF),
                                   m_lParam.load());
    }
};

} // namespace

struct CSerialWnd::SImpl {
    CPostingSerial port;
};

std::vector<SComName> ListPanelPorts()
{
    std::vector<SComName> names;
    for (const SComPort& port : ListComPorts(16))
        names.push_back({port.nNumber, port.strDevice});
    return names;
}

CSerialWnd::CSerialWnd() : m_pImpl(std::make_unique<SImpl>()) {}
CSerialWnd::~CSerialWnd() = default;

std::int32_t CSerialWnd::Open(const std::string& device, void* hwnd, std::intptr_t lParam)
{
    CPostingSerial& port = m_pImpl->port;
    port.m_hwnd.store(hwnd);
    port.m_lParam.store(lParam);
    const LONG rc = port.Open(device, 0, 0, true);
    if (rc != ERROR_SUCCESS)
        port.m_hwnd.store(nullptr);
    return rc;
}

std::int32_t CSerialWnd::ConfigureLine(std::uint32_t baud)
{
    CPostingSerial& port = m_pImpl->port;
    const LONG rc = port.ConfigureLine(baud, 8, CSerial::EParNone, CSerial::EStop1);
    if (rc != ERROR_SUCCESS)
        return rc;
    return port.ConfigureReadMode(CSerial::EReadNonBlocking);
}

std::int32_t CSerialWnd::WriteText(const char* text) { return m_pImpl->port.WriteText(text); }

std::int32_t CSerialWnd::Read(char* data, std::uint32_t size, std::uint32_t& count)
{
    DWORD read = 0;
    const LONG rc = m_pImpl->port.Read(data, size, &read);
    count = read;
    return rc;
}

void CSerialWnd::PurgeReceived() { m_pImpl->port.Purge(CSerial::EPurgeRx); }
void CSerialWnd::Purge() { m_pImpl->port.Purge(); }

void CSerialWnd::Close()
{
    m_pImpl->port.m_hwnd.store(nullptr);
    m_pImpl->port.Close();
}

bool CSerialWnd::IsOpen() const { return m_pImpl->port.IsOpen(); }
