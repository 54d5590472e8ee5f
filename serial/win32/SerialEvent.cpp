// CSerialEvent on Windows: a manual-reset event object.
#include "serial/SerialEvent.h"

#include "serial/win32/SerialPortPrivate.h"

using serial_detail::LastSystemError;

CSerialEvent::~CSerialEvent() { Release(); }

LONG CSerialEvent::Create()
{
    Release();
    m_hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return m_hEvent ? ERROR_SUCCESS : LastSystemError();
}

void CSerialEvent::Release()
{
    if (m_hEvent)
        ::CloseHandle(m_hEvent);
    m_hEvent = SERIAL_NO_EVENT;
}

LONG CSerialEvent::Set(SERIAL_EVENT_HANDLE handle) { return ::SetEvent(handle) ? ERROR_SUCCESS : LastSystemError(); }

LONG CSerialEvent::Reset(SERIAL_EVENT_HANDLE handle) { return ::ResetEvent(handle) ? ERROR_SUCCESS : LastSystemError(); }

LONG CSerialEvent::Wait(SERIAL_EVENT_HANDLE handle, DWORD timeout)
{
    switch (::WaitForSingleObject(handle, timeout)) {
    case WAIT_OBJECT_0: return ERROR_SUCCESS;
    case WAIT_TIMEOUT: return ERROR_TIMEOUT;
    default: return LastSystemError();
    }
}
