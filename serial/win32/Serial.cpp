// CSerial on Windows: the comm API itself, opened overlapped when asked, with the class's own
// bounded waits for its own overlapped operations.
#include "serial/Serial.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "serial/SerialErrors.h"
#include "serial/win32/SerialPortPrivate.h"

using serial_detail::kWriteLimitMs;
using serial_detail::LastSystemError;
using serial_detail::SOverlappedResult;

namespace {

// "COM3" becomes "\\.\COM3" (the only spelling that reaches COM10 and above); anything else is
// passed to the system as it is.
std::wstring SystemPortName(const std::string& device)
{
    std::string name = device;
    if (name.size() > 3 && name.find_first_of("\\/:") == std::string::npos && _strnicmp(name.c_str(), "COM", 3) == 0)
        name = "\\\\.\\" + name;
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), n);
    return wide;
}

// The name the system's default configuration is kept under: the port without "\\.\".
std::wstring ConfigName(const std::wstring& path)
{
    return path.rfind(L"\\\\.\\", 0) == 0 ? path.substr(4) : path;
}

// What a transfer that the class's own wait cut short reports: what it moved when it completed
// before the cut took (so that nothing received is lost), else ERROR_TIMEOUT.
LONG TransferOutcome(const SOverlappedResult& result)
{
    if (result.end == SOverlappedResult::ECompleted || result.code == ERROR_SUCCESS)
        return result.code;
    return result.code == ERROR_OPERATION_ABORTED ? ERROR_TIMEOUT : result.code;
}

// Applies the port's default configuration; whatever fails here is not the caller's concern.
void ApplyDefaultConfig(HANDLE hPort, const std::wstring& path)
{
    COMMCONFIG config{};
    config.dwSize = sizeof config;
    DWORD size = sizeof config;
    if (::GetDefaultCommConfigW(ConfigName(path).c_str(), &config, &size))
        ::SetCommConfig(hPort, &config, size);
}

} // namespace

bool serial_detail::IsVanishedCode(LONG code)
{
    // What a driver answers once its device is unplugged (a USB adapter's driver answers one of
    // the first three, depending on its make).
    return code == ERROR_ACCESS_DENIED || code == ERROR_BAD_COMMAND || code == ERROR_GEN_FAILURE
        || code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_DEVICE_REMOVED;
}

// Lowers `size` to the bytes waiting in the driver's input queue. The look clears the line's
// error flags, which are kept for the listener's next fetch.
LONG CSerial::SPort::Queued(DWORD& size)
{
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(hPort, &errors, &stat))
        return LastSystemError();
    errorsSeen.fetch_or(errors);
    size = std::min<DWORD>(size, stat.cbInQue);
    return ERROR_SUCCESS;
}

LONG CSerial::SPort::GetState(DCB& dcb) const
{
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    return ::GetCommState(hPort, &dcb) ? ERROR_SUCCESS : LastSystemError();
}

LONG CSerial::SPort::SetState(DCB& dcb) const
{
    return ::SetCommState(hPort, &dcb) ? ERROR_SUCCESS : LastSystemError();
}

CSerial::CSerial() = default;

CSerial::~CSerial() { m_pPort.reset(); }

bool CSerial::IsOpen() const { return m_pPort != nullptr; }

LONG CSerial::CheckOpen() { return SetLastError(m_pPort ? ERROR_SUCCESS : ERROR_INVALID_HANDLE); }

// Windows keeps no lock files: the exclusive open is all there is.
void CSerial::ReleaseLockFile() {}

LONG CSerial::Open(const std::string& device, DWORD dwInQueue, DWORD dwOutQueue, bool fOverlapped)
{
    SetLastError(ERROR_SUCCESS);
    if (m_pPort)
        return SetLastError(ERROR_ALREADY_INITIALIZED);

    const std::wstring path = SystemPortName(device);
    auto port = std::make_unique<SPort>();
    port->hPort = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                fOverlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (port->hPort == INVALID_HANDLE_VALUE)
        return SetLastError(LastSystemError());
    if (LONG err = port->evWake.Create())
        return SetLastError(err);
    if (fOverlapped)
        if (LONG err = port->evOverlapped.Create())
            return SetLastError(err);
    if ((dwInQueue || dwOutQueue) && !::SetupComm(port->hPort, dwInQueue, dwOutQueue))
        return SetLastError(LastSystemError());
    m_pPort = std::move(port);

    SetEventMask(EEventRecv | EEventBreak | EEventError);
    m_pPort->evWake.Reset();  // nobody waited yet: the new mask ends nothing
    ConfigureReadMode(EReadNonBlocking);
    ApplyDefaultConfig(m_pPort->hPort, path);
    return GetLastError();
}

LONG CSerial::Close()
{
    SetLastError(ERROR_SUCCESS);
    m_pPort.reset();
    return ERROR_SUCCESS;
}

LONG CSerial::SetEventMask(DWORD mask)
{
    if (LONG err = CheckOpen())
        return err;
    if (!::SetCommMask(m_pPort->hPort, mask))
        return SetLastError(LastSystemError());
    m_dwEventMask.store(mask);
    // Selecting events ends a pending wait: that is how a blocked listener is woken. The system
    // does it on its own; the event makes sure of it where a driver does not.
    if (LONG err = m_pPort->evWake.Set())
        return SetLastError(err);
    return ERROR_SUCCESS;
}

DWORD CSerial::QueryEventMask() { return CheckOpen() ? 0 : m_dwEventMask.load(); }

LONG CSerial::ConfigureReadMode(EReadMode readMode)
{
    if (LONG err = CheckOpen())
        return err;
    if (readMode != EReadNonBlocking && readMode != EReadBlocking)
        return SetLastError(E_INVALIDARG);
    COMMTIMEOUTS timeouts{};
    if (!::GetCommTimeouts(m_pPort->hPort, &timeouts))
        return SetLastError(LastSystemError());
    // MAXDWORD with both totals 0: a read returns at once with what is there.
    timeouts.ReadIntervalTimeout = readMode == EReadNonBlocking ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    if (!::SetCommTimeouts(m_pPort->hPort, &timeouts))
        return SetLastError(LastSystemError());
    m_pPort->readMode.store(readMode);
    return ERROR_SUCCESS;
}

LONG CSerial::FetchLineErrors(DWORD& errors)
{
    errors = 0;
    if (LONG err = CheckOpen())
        return err;
    const LONG err = ::ClearCommError(m_pPort->hPort, &errors, nullptr) ? ERROR_SUCCESS : LastSystemError();
    errors |= m_pPort->errorsSeen.exchange(0);
    return SetLastError(err);
}

LONG CSerial::Purge(int nWhat)
{
    if (LONG err = CheckOpen())
        return err;
    const DWORD flags = ((nWhat & EPurgeRx) ? PURGE_RXCLEAR : 0) | ((nWhat & EPurgeTx) ? PURGE_TXCLEAR : 0);
    if (flags && !::PurgeComm(m_pPort->hPort, flags))
        return SetLastError(LastSystemError());
    return ERROR_SUCCESS;
}

// The shared first half of WaitForEvent, Read and Write: a port opened without overlapped
// operation takes neither a structure nor a finite time-out.
LONG CSerial::Start(SERIAL_OVERLAPPED*& ov, SERIAL_OVERLAPPED& /*own*/, DWORD& timeout)
{
    if (LONG err = CheckOpen())
        return err;
    if (!m_pPort->IsOverlapped() && (ov || timeout != INFINITE))
        return SetLastError(ERROR_INVALID_FUNCTION);
    if (ov) {
        // The caller waits on its own structure; the operation completes before we return.
        timeout = INFINITE;
        ov->dwTransferred = 0;
    }
    return ERROR_SUCCESS;
}

LONG CSerial::Complete(SERIAL_OVERLAPPED* ov, const SERIAL_OVERLAPPED& /*own*/, DWORD transferred)
{
    if (ov) {
        ov->dwTransferred = transferred;
        if (LONG err = CSerialEvent::Set(ov->hEvent))
            return SetLastError(err);
    }
    return ERROR_SUCCESS;
}

LONG CSerial::WaitForEvent(SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    SERIAL_OVERLAPPED own;
    if (LONG err = Start(ov, own, timeout))
        return err;
    SPort& port = *m_pPort;
    DWORD events = 0;
    if (!port.IsOverlapped()) {
        if (!::WaitCommEvent(port.hPort, &events, nullptr))
            return SetLastError(LastSystemError());
    } else {
        const HANDLE hEvent = ov ? ov->hEvent : port.evOverlapped.Handle();
        // Selecting the mask again ends a pending wait with no events, where a cancel of it
        // may not reach the driver.
        const DWORD mask = m_dwEventMask.load();
        const auto result = port.Run([&](OVERLAPPED* o) { return ::WaitCommEvent(port.hPort, &events, o); },
                                     [&](OVERLAPPED*) { ::SetCommMask(port.hPort, mask); }, hEvent, timeout,
                                     port.evWake.Handle());
        const bool fEnded = result.code == ERROR_SUCCESS && events != 0;
        if (!fEnded && result.end == SOverlappedResult::ETimedOut)
            return SetLastError(ERROR_TIMEOUT);
        if (result.code && result.end == SOverlappedResult::ECompleted)
            return SetLastError(result.code);
        if (!fEnded) {
            // Ended by a new mask, the caller's or the wake's: that wake is spent.
            port.evWake.Reset();
            events = 0;
        }
    }
    m_dwEventWord.store(events);
    return Complete(ov, own, 0);
}

LONG CSerial::WriteText(const char* text, DWORD* written, SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    return Write(text, text ? static_cast<DWORD>(std::strlen(text)) : 0, written, ov, timeout);
}

LONG CSerial::Write(const void* data, DWORD size, DWORD* written, SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    DWORD local = 0;
    DWORD& count = written ? *written : local;
    count = 0;
    SERIAL_OVERLAPPED own;
    if (LONG err = Start(ov, own, timeout))
        return err;
    SPort& port = *m_pPort;
    DWORD done = 0;
    if (!port.IsOverlapped()) {
        if (!::WriteFile(port.hPort, data, size, &done, nullptr))
            return SetLastError(LastSystemError());
    } else {
        const bool fOwnLimit = !ov && timeout == INFINITE;
        if (fOwnLimit) {
            // Never left waiting for ever on a line that takes nothing; once it has run out, the
            // next write gets only the time its bytes take until the line moves again.
            const long rate = QueryBaudRate();
            const DWORD byteMs = rate > 0 ? static_cast<DWORD>((10000ull * size) / static_cast<unsigned long>(rate)) + 1 : 0;
            timeout = byteMs + (port.fStalled.load() ? 0 : kWriteLimitMs);
            SetLastError(ERROR_SUCCESS);
        }
        const HANDLE hEvent = ov ? ov->hEvent : port.evOverlapped.Handle();
        const auto result = port.Run([&](OVERLAPPED* o) { return ::WriteFile(port.hPort, data, size, nullptr, o); },
                                     [&](OVERLAPPED* o) { ::CancelIoEx(port.hPort, o); }, hEvent, timeout, nullptr);
        const LONG err = TransferOutcome(result);
        if (fOwnLimit)
            port.fStalled.store(err == ERROR_TIMEOUT);
        if (err)
            return SetLastError(err);
        done = result.transferred;
    }
    count = done;
    return Complete(ov, own, done);
}

LONG CSerial::Read(void* data, DWORD size, DWORD* read, SERIAL_OVERLAPPED* ov, DWORD timeout)
{
    DWORD local = 0;
    DWORD& count = read ? *read : local;
    count = 0;
    SERIAL_OVERLAPPED own;
    if (LONG err = Start(ov, own, timeout))
        return err;
    SPort& port = *m_pPort;
    if (port.readMode.load() == EReadNonBlocking) {
        // Asks for no more than is queued, so that the read cannot wait: some drivers leave an
        // overlapped read pending despite time-outs that say "return at once".
        if (LONG err = port.Queued(size))
            return SetLastError(err);
        if (size == 0)
            return Complete(ov, own, 0);
    }
    DWORD done = 0;
    if (!port.IsOverlapped()) {
        if (!::ReadFile(port.hPort, data, size, &done, nullptr))
            return SetLastError(LastSystemError());
    } else {
        const HANDLE hEvent = ov ? ov->hEvent : port.evOverlapped.Handle();
        const auto result = port.Run([&](OVERLAPPED* o) { return ::ReadFile(port.hPort, data, size, nullptr, o); },
                                     [&](OVERLAPPED* o) { ::CancelIoEx(port.hPort, o); }, hEvent, timeout, nullptr);
        if (LONG err = TransferOutcome(result)) {
            // A driver hands over what a cancelled read had taken: those bytes are the caller's
            // now, and the count says so rather than let them vanish.
            count = result.transferred;
            return SetLastError(err);
        }
        done = result.transferred;
    }
    count = done;
    return Complete(ov, own, done);
}
