// The port on its own: open and close, line settings, read modes, the overlapped mode's waits
// and the codes each operation leaves, against a real pseudo-terminal.
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "serial/ComPorts.h"
#include "serial/Serial.h"
#include "serial/SerialEvent.h"
#include "tests/support/PseudoTerminal.h"

namespace {

struct SerialPortTest : ::testing::Test {
    CPseudoTerminal pty;
    CSerial port;
};

TEST_F(SerialPortTest, SecondOpenIsRefusedAndTheFirstConnectionKeepsWorking)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    CPseudoTerminal other;
    EXPECT_EQ(port.Open(other.Path()), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(port.GetLastError(), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(port.Open(pty.Path()), ERROR_ALREADY_INITIALIZED);

    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.WriteText("G28\n"), 0);
    EXPECT_EQ(pty.Receive(4), "G28\n");
    ASSERT_TRUE(pty.Send("ok\n"));
    ASSERT_EQ(port.WaitForEvent(), 0);
    char buf[16] = {};
    DWORD n = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "ok\n");
}

TEST_F(SerialPortTest, AnOpenPortIsHeldAgainstEveryoneElse)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    CSerial second;
    EXPECT_EQ(second.Open(pty.Path()), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(IsDeviceInUse(pty.Path()));   // seen from its lock, without opening it

    EXPECT_EQ(port.Close(), 0);
    EXPECT_FALSE(IsDeviceInUse(pty.Path()));
    EXPECT_EQ(second.Open(pty.Path()), 0);
}

TEST_F(SerialPortTest, OpenFailuresLeaveThePortClosed)
{
    const struct {
        const char* device;
        LONG code;
    } cases[] = {{"/nonexistent/ttyUSB9", ENOENT}, {"/dev/null", ENOTTY}, {"COM0", ENOENT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        EXPECT_EQ(port.Open(c.device), c.code);
        EXPECT_FALSE(port.IsOpen());
    }
}

// A notification can still be handled after its port was closed: what the panel then calls
// fails harmlessly and reads nothing.
TEST_F(SerialPortTest, ClosedPortRefusesWhatThePanelCallsAndReadsNothing)
{
    for (int round = 0; round < 2; ++round) {   // never opened, then opened and closed again
        SCOPED_TRACE(round);
        char buf[4];
        DWORD n = 99;
        EXPECT_EQ(port.Read(buf, sizeof buf, &n), ERROR_INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(port.WriteText("M105\n"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(port.Purge(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(port.GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(port.Close(), 0);
        ASSERT_EQ(port.Open(pty.Path()), 0);
        ASSERT_EQ(port.Close(), 0);
    }
}

TEST_F(SerialPortTest, FreshPortSelectsReceiveBreakAndErrorAndReadsWithoutWaiting)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    EXPECT_EQ(port.QueryEventMask(), 0x00C1u);
    EXPECT_EQ(port.QueryBaudRate() > 0, true);
    EXPECT_EQ(port.QueryDataBits(), 8);
    EXPECT_EQ(port.QueryParity(), 0);
    EXPECT_EQ(port.QueryStopBits(), 0);
    EXPECT_EQ(port.QueryHandshake(), CSerial::EHandshakeOff);

    char buf[2047];
    DWORD n = 99;
    EXPECT_EQ(port.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 0u);
}

TEST_F(SerialPortTest, WriteTextPutsExactlyTheTextOnTheLine)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    DWORD n = 0;
    EXPECT_EQ(port.WriteText("M105\n", &n), 0);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(pty.Receive(5), "M105\n");
    EXPECT_EQ(pty.Pending(), 0);  // no terminator, no "\r" added

    const std::string binary("\x00\xff\r\n\x13\x11", 6);  // raw: no byte is translated or eaten
    EXPECT_EQ(port.Write(binary.data(), static_cast<DWORD>(binary.size()), &n), 0);
    EXPECT_EQ(n, binary.size());
    EXPECT_EQ(pty.Receive(binary.size()), binary);
}

TEST_F(SerialPortTest, AWriteTheLineDoesNotTakeFailsAfterTwoSecondsAndTheNextAtOnce)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    pty.HoldOutput(true);
    for (double expectedS : {2.0, 0.0}) {   // the second write finds the line still stuck
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(port.WriteText("M114\n"), ERROR_TIMEOUT);
        EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), expectedS, 0.6);
    }
}

TEST_F(SerialPortTest, TimedOutOverlappedReadTakesNothingAndLeavesNothingPending)
{
    ASSERT_EQ(port.Open(pty.Path(), 0, 0, true), 0);
    ASSERT_EQ(port.ConfigureReadMode(CSerial::EReadBlocking), 0);
    char buf[8] = {};
    DWORD n = 99;
    EXPECT_EQ(port.Read(buf, 4, &n, nullptr, 100), ERROR_TIMEOUT);
    EXPECT_EQ(port.GetLastError(), ERROR_TIMEOUT);
    EXPECT_EQ(n, 0u);

    // Half of what a read asks for is not taken when its time runs out...
    ASSERT_TRUE(pty.Send("ab"));
    EXPECT_EQ(port.Read(buf, 4, &n, nullptr, 100), ERROR_TIMEOUT);
    EXPECT_EQ(n, 0u);
    // ...and no abandoned read swallows what comes next.
    ASSERT_TRUE(pty.Send("cd"));
    EXPECT_EQ(port.Read(buf, 4, &n, nullptr, 2000), 0);
    EXPECT_EQ(std::string(buf, n), "abcd");
    // The bytes arrived since the last event wait: that is reported once, then the wait runs out.
    EXPECT_EQ(port.WaitForEvent(nullptr, 1000), 0);
    EXPECT_EQ(port.WaitForEvent(nullptr, 50), ERROR_TIMEOUT);
}

TEST_F(SerialPortTest, CallersOverlappedStructureIsSignalledOnCompletion)
{
    ASSERT_EQ(port.Open(pty.Path(), 0, 0, true), 0);
    CSerialEvent event;
    ASSERT_EQ(event.Create(), 0);
    SERIAL_OVERLAPPED ov;
    ov.hEvent = event.Handle();

    DWORD n = 0;
    ASSERT_EQ(port.WriteText("M114\n", &n, &ov), 0);
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(ov.dwTransferred, 5u);
    EXPECT_EQ(pty.Receive(5), "M114\n");

    ASSERT_TRUE(pty.Send("X:1"));
    ASSERT_EQ(port.WaitForEvent(&ov), 0);
    EXPECT_EQ(event.Wait(0), 0);
    char buf[8];
    ASSERT_EQ(port.Read(buf, sizeof buf, &n, &ov), 0);
    EXPECT_EQ(event.Wait(0), 0);
    EXPECT_EQ(std::string(buf, n), "X:1");
    EXPECT_EQ(ov.dwTransferred, 3u);
}

TEST_F(SerialPortTest, LineSettingsFollowConfigureLine)
{
    // A pseudo-terminal keeps speed, stop bits, the parity check and odd/mark parity, but forces
    // eight data bits and clears PARENB, so those two are not asserted on the line.
    ASSERT_EQ(port.Open(pty.Path()), 0);
    const struct {
        DWORD baud, dataBits, parity, stopBits;
        speed_t speed;
        tcflag_t parityKind;
        bool fCheck, fTwoStop;
        long stopReported;
    } cases[] = {
        {115200, 8, 0, 0, B115200, 0, false, false, 0},
        {9600, 7, 2, 2, B9600, 0, true, true, 2},
        {19200, 8, 1, 0, B19200, PARODD, true, false, 0},
        {57600, 8, 3, 0, B57600, PARODD | CMSPAR, true, false, 0},
        {38400, 5, 4, 1, B38400, CMSPAR, true, true, 2},  // 1.5 is CSTOPB; with 8 bits that is 2
        {115200, 8, 0, 0, B115200, 0, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.baud << " " << c.dataBits << " " << c.parity << " " << c.stopBits);
        ASSERT_EQ(port.ConfigureLine(c.baud, c.dataBits, c.parity, c.stopBits), 0);
        const termios tio = pty.ClientSettings();
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.parityKind);
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.fCheck);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.fTwoStop);
        EXPECT_EQ(port.QueryBaudRate(), static_cast<long>(c.baud));
        EXPECT_EQ(port.QueryParity(), static_cast<long>(c.parity));
        EXPECT_EQ(port.QueryStopBits(), c.stopReported);
    }

    const termios before = pty.ClientSettings();
    EXPECT_EQ(port.ConfigureLine(12345, 8, 2, 0), EINVAL);
    EXPECT_EQ(port.ConfigureLine(115200, 9, 2, 0), EINVAL);
    EXPECT_EQ(port.ConfigureLine(115200, 8, 5, 0), EINVAL);
    EXPECT_EQ(port.ConfigureLine(115200, 8, 2, 3), EINVAL);
    const termios after = pty.ClientSettings();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(port.QueryParity(), 0);
}

TEST_F(SerialPortTest, PurgeDiscardsWhatWaitsUnread)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    ASSERT_TRUE(pty.Send("stale reply\n"));
    ASSERT_EQ(port.WaitForEvent(), 0);
    EXPECT_EQ(port.Purge(), 0);
    char buf[32];
    DWORD n = 99;
    EXPECT_EQ(port.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 0u);
}

} // namespace
