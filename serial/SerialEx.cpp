#include "serial/SerialEx.h"

#include <cerrno>
#include <system_error>

#include "serial/SerialErrors.h"

CSerialEx::CSerialEx() = default;

CSerialEx::~CSerialEx()
{
    // The listener calls a virtual of this object: it must be gone before the object is.
    if (m_thread.joinable())
        StopListenerThread(INFINITE);
    ClosePort();
}

LONG CSerialEx::OpenPort(const std::string& device, DWORD dwInQueue, DWORD dwOutQueue)
{
    if (LONG err = CSerial::Open(device, dwInQueue, dwOutQueue, true))
        return err;
    LONG err = m_evListener.Create();
    if (!err)
        err = m_evFinished.Create();
    if (err) {
        CSerial::Close();
        m_evListener.Release();
        return SetLastError(err);
    }
    return ERROR_SUCCESS;
}

void CSerialEx::ClosePort()
{
    StopListenerThread(INFINITE);
    m_evListener.Release();
    m_evFinished.Release();
    CSerial::Close();
}

LONG CSerialEx::Open(const std::string& device, DWORD dwInQueue, DWORD dwOutQueue, bool fStartListener)
{
    if (LONG err = OpenPort(device, dwInQueue, dwOutQueue))
        return err;
    if (fStartListener)
        if (LONG err = StartListenerThread())
            return err;  // the port stays open
    return GetLastError();
}

LONG CSerialEx::Close()
{
    ClosePort();
    return SetLastError(ERROR_SUCCESS);
}

LONG CSerialEx::StartListenerThread()
{
    if (!m_thread.joinable()) {
        if (!IsOpen() || !m_evListener.IsValid())
            return SetLastError(ERROR_INVALID_HANDLE);
        m_evFinished.Reset();
        try {
            m_thread = std::thread([this] {
                m_lListenerExit.store(ListenerLoop());
                m_evFinished.Set();
            });
        } catch (const std::system_error& e) {
            return SetLastError(e.code().value() ? e.code().value() : EAGAIN);
        }
    }
    return SetLastError(ERROR_SUCCESS);
}

LONG CSerialEx::StopListenerThread(DWORD timeout)
{
    if (m_thread.joinable()) {
        m_fStopping.store(true);
        // Selecting the mask again completes the listener's pending wait.
        SetEventMask(QueryEventMask());
        JoinOrLeave(timeout);
        m_fStopping.store(false);
    }
    return SetLastError(ERROR_SUCCESS);
}

void CSerialEx::JoinOrLeave(DWORD timeout)
{
    if (timeout == INFINITE || CSerialEvent::Wait(m_evFinished.Handle(), timeout) == ERROR_SUCCESS)
        m_thread.join();
    else
        m_thread.detach();
}

LONG CSerialEx::ListenerLoop()
{
    for (;;) {
        m_evListener.Reset();
        SERIAL_OVERLAPPED ov;
        ov.hEvent = m_evListener.Handle();
        if (LONG err = WaitForEvent(&ov, INFINITE)) {
            // A line that hung up fails every wait from now on; say so once and end, so the
            // owner learns that its connection is gone instead of waiting for replies for ever.
            if (serial_detail::IsVanishedCode(err) && !m_fStopping.load()) {
                ReleaseLockFile();
                OnSerialEvent(EV_VANISHED, 0);
            }
            return GetLastError();
        }
        if (LONG err = m_evListener.Wait(INFINITE))
            return SetLastError(err);
        if (m_fStopping.load())
            return ERROR_SUCCESS;

        // A wake-up with nothing to report (a mask selected again, say) leaves the error flags
        // gathered: fetched here they would be lost, and whether a masked break's flags reached
        // the receiver would depend on how the wake-ups happened to fall.
        if (const DWORD events = TakeEventWord() & QueryEventMask()) {
            DWORD errors = 0;
            FetchLineErrors(errors);
            OnSerialEvent(events, errors);
        }
        if (m_fStopping.load())
            return ERROR_SUCCESS;
    }
}
