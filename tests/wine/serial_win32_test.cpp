// The Win32 serial line against a pseudo-terminal that tests/wine/run-serial-test maps as COM1
// under Wine. The script plays the controller: it answers "M105\n" with "ok T:25.0\n" and checks
// afterwards that the line carried exactly the bytes written here.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "serial/SerialEx.h"
#include "serial/win32/PortNames.h"

namespace {

constexpr const char* kPort = "COM1";
constexpr auto kPatience = std::chrono::seconds(20);  // only a broken line waits this long

struct SEvent {
    DWORD events;
    DWORD errors;
};

// A listener that keeps what it was told, for the test thread to wait on.
class CRecordingSerial : public CSerialEx {
public:
    ~CRecordingSerial() override { StopListenerThread(); }

    // Waits until an event with any of `bits` was reported; false when none came.
    bool WaitForEvent(DWORD bits)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] {
            for (const SEvent& e : m_events)
                if (e.events & bits)
                    return true;
            return false;
        });
    }

protected:
    void OnSerialEvent(DWORD events, DWORD errors) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back({events, errors});
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SEvent> m_events;
};

TEST(SerialWin32, TalksToTheControllerThroughTheListener)
{
    CRecordingSerial serial;
    ASSERT_EQ(serial.Open(kPort, 0, 0, true), ERROR_SUCCESS);
    EXPECT_TRUE(serial.IsListening());
    EXPECT_EQ(serial.QueryEventMask(), 0x00C1u);
    ASSERT_EQ(serial.ConfigureLine(115200, 8, CSerial::EParNone, CSerial::EStop1), ERROR_SUCCESS);
    EXPECT_EQ(serial.QueryBaudRate(), 115200);
    EXPECT_EQ(serial.QueryDataBits(), 8);
    EXPECT_EQ(serial.QueryParity(), CSerial::EParNone);
    EXPECT_EQ(serial.QueryStopBits(), CSerial::EStop1);
    ASSERT_EQ(serial.ConfigureReadMode(CSerial::EReadNonBlocking), ERROR_SUCCESS);

    DWORD written = 0;
    ASSERT_EQ(serial.WriteText("M105\n", &written), ERROR_SUCCESS);
    EXPECT_EQ(written, 5u);

    ASSERT_TRUE(serial.WaitForEvent(CSerial::EEventRecv)) << "no EV_RXCHAR for the reply";
    std::string reply;
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (reply.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
        char buf[2047];
        DWORD got = 0;
        ASSERT_EQ(serial.Read(buf, sizeof buf, &got), ERROR_SUCCESS);
        reply.append(buf, got);
        if (!got)
            Sleep(1);  // the rest of a reply that came in pieces
    }
    EXPECT_EQ(reply, "ok T:25.0\n");

    // Nothing waits now: an empty non-blocking read returns at once.
    DWORD got = 1;
    char buf[16];
    EXPECT_EQ(serial.Read(buf, sizeof buf, &got), ERROR_SUCCESS);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(serial.Purge(), ERROR_SUCCESS);

    // The listener sits in its event wait: Close ends it and returns.
    EXPECT_EQ(serial.Close(), ERROR_SUCCESS);
    EXPECT_FALSE(serial.IsListening());
    EXPECT_FALSE(serial.IsOpen());
}

// The class's own waits that run out end their operation, and the port goes on working.
TEST(SerialWin32, OwnWaitsThatRunOutCancelTheOperation)
{
    CSerial serial;
    ASSERT_EQ(serial.Open(kPort, 0, 0, true), ERROR_SUCCESS);
    EXPECT_EQ(serial.WaitForEvent(nullptr, 50), ERROR_TIMEOUT);
    ASSERT_EQ(serial.ConfigureReadMode(CSerial::EReadBlocking), ERROR_SUCCESS);
    char buf[16];
    DWORD got = 7;
    EXPECT_EQ(serial.Read(buf, sizeof buf, &got, nullptr, 50), ERROR_TIMEOUT);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(serial.ConfigureReadMode(CSerial::EReadNonBlocking), ERROR_SUCCESS);
    EXPECT_EQ(serial.Read(buf, sizeof buf, &got), ERROR_SUCCESS);
    EXPECT_EQ(got, 0u);
}

TEST(SerialWin32, FailuresKeepTheirCodes)
{
    CSerial serial;
    // The system's own code, unchanged.
    EXPECT_EQ(serial.Open("COM9"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(serial.IsOpen());

    // A closed port.
    char buf[4];
    EXPECT_EQ(serial.Read(buf, sizeof buf), ERROR_INVALID_HANDLE);
    EXPECT_EQ(serial.WriteText("M105\n"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(serial.Purge(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(serial.QueryBaudRate(), -1);
    EXPECT_EQ(serial.QueryEventMask(), 0u);
    EXPECT_EQ(serial.Close(), ERROR_SUCCESS);

    // Opened without overlapped operation: no structure, no finite time-out.
    ASSERT_EQ(serial.Open(kPort), ERROR_SUCCESS);
    EXPECT_EQ(serial.Open(kPort), ERROR_ALREADY_INITIALIZED);
    EXPECT_TRUE(serial.IsOpen());
    DWORD got = 3;
    EXPECT_EQ(serial.Read(buf, sizeof buf, &got, nullptr, 1000), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(serial.Read(buf, sizeof buf, &got), ERROR_SUCCESS);
    EXPECT_EQ(got, 0u);

    // Values outside the enumerations change nothing.
    ASSERT_EQ(serial.ConfigureHandshake(CSerial::EHandshakeOff), ERROR_SUCCESS);
    EXPECT_EQ(serial.ConfigureHandshake(static_cast<CSerial::EHandshake>(3)), E_INVALIDARG);
    EXPECT_EQ(serial.QueryHandshake(), CSerial::EHandshakeOff);
    EXPECT_EQ(serial.ConfigureReadMode(static_cast<CSerial::EReadMode>(2)), E_INVALIDARG);
}

TEST(SerialWin32, PortListComesFromTheSystemsMap)
{
    const std::vector<SComPort> ports = ListComPorts();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.front().nNumber, 1);
    EXPECT_EQ(ports.front().strDevice, "\\\\.\\COM1");
    EXPECT_EQ(ResolveComPort(1), "\\\\.\\COM1");
    EXPECT_EQ(ResolveComPort(9), "");
    EXPECT_EQ(DescribeComPort(ports.front()).rfind("COM1: ", 0), 0u);
    EXPECT_NE(DescribeComPort(ports.front()).find("\\Device\\"), std::string::npos);
}

TEST(SerialWin32, ComNamesAreReadStrictly)
{
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {"com12", 12}, {"COM256", 256}, {"COM0", 0}, {"COM01", 0}, {"COM", 0},
        {"COMX", 0}, {"COM1 ", 0}, {"LPT1", 0}, {"COM1000", 0},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(ComPortNumber(name), number) << name;
}

} // namespace
