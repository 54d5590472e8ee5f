#pragma once
// The panel's serial port on Windows: a listening port whose line events reach a window as the
// registered message "CSerialWnd_DefaultComMsg" (wParam: line error flags << 16 | events, lParam:
// the value given to Open), and the COM ports the system offers. The header includes no OS header
// and no serial header: the window code includes <windows.h>, whose scalar types the serial
// interface spells its own way, so the two meet only here.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The events the panel acts on, as the message's low word carries them.
constexpr std::uint32_t SERIAL_EVENT_RECV = 0x0001;
constexpr std::uint32_t SERIAL_EVENT_VANISHED = 0x8000;   // the device went away; the last message

struct SComName {
    int nNumber = 0;          // n of "COMn"
    std::string strDevice;    // what Open is given
};

// The ports present and free, in ascending order.
std::vector<SComName> ListPanelPorts();

class CSerialWnd {
public:
    // "CSerialWnd_DefaultComMsg", registered once.
    static unsigned DefaultComMsg();

    CSerialWnd();
    ~CSerialWnd();
    CSerialWnd(const CSerialWnd&) = delete;
    CSerialWnd& operator=(const CSerialWnd&) = delete;

    // Opens the port and starts the listener, which posts DefaultComMsg() to hwnd. 0 or an error code.
    std::int32_t Open(const std::string& device, void* hwnd, std::intptr_t lParam = 0);
    // baud, 8 data bits, no parity, one stop bit; reads return at once with what is there.
    std::int32_t ConfigureLine(std::uint32_t baud);
    std::int32_t WriteText(const char* text);
    std::int32_t Read(char* data, std::uint32_t size, std::uint32_t& count);
    void PurgeReceived();
    void Purge();
    // Nothing is posted once Close returns.
    void Close();
    bool IsOpen() const;

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

// Posts one notification to the window (the listener's only way to reach it); false when the
// window is gone. Safe on any thread.
bool PostSerialNotification(void* hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
