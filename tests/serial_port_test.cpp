// The port on its own, as the panel uses it: open and close, the line settings, raw writes and
// their time limit, non-blocking reads and purge, against a real pseudo-terminal.
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "serial/ComPorts.h"
#include "serial/Serial.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestFiles.h"

namespace {

struct SerialPortTest : ::testing::Test {
    CPseudoTerminal pty;
    CSerial port;
};

// Held by its lock and by a lock file "LCK..<node>" that serial programs read: a stale one (its
// process gone) is replaced, and one of a live program is seen before the device is opened.
TEST_F(SerialPortTest, AnOpenPortIsHeldAgainstEveryoneElse)
{
    CTempDir lockDir;
    SetLockDirsOverride({lockDir.Path()});
    const std::string lockFile = lockDir.File("LCK.." + pty.Path().substr(pty.Path().rfind('/') + 1));
    WriteWholeFile(lockFile, "999999999\n");
    ASSERT_EQ(port.Open(pty.Path()), 0);
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(ReadWholeFile(lockFile), ours);
    CSerial second;
    EXPECT_EQ(second.Open(pty.Path()), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(IsDeviceInUse(pty.Path()));   // seen from its lock, without opening it

    EXPECT_EQ(port.Close(), 0);
    EXPECT_FALSE(PathExists(lockFile));
    EXPECT_FALSE(IsDeviceInUse(pty.Path()));
    WriteWholeFile(lockFile, "         1\n");   // a program that took the port since it was listed
    EXPECT_EQ(second.Open(pty.Path()), EBUSY);
    ::unlink(lockFile.c_str());
    EXPECT_EQ(second.Open(pty.Path()), 0);
    SetLockDirsOverride({"/run/lock/", "/var/lock/"});
}

TEST_F(SerialPortTest, WritesGoOutRawAndWhole)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    const std::string binary("M105\n\x00\xff\r\n\x13\x11", 11);   // no byte added, translated or eaten
    EXPECT_EQ(port.Write(binary.data(), static_cast<DWORD>(binary.size())), 0);
    EXPECT_EQ(pty.Receive(binary.size()), binary);

    // More than the line queues at once: the writer meets a full queue many times.
    std::string sent(64 * 1024, '\0');
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
    std::string got;
    std::thread reader([&] { got = pty.Receive(sent.size()); });
    EXPECT_EQ(port.Write(sent.data(), static_cast<DWORD>(sent.size())), 0);
    reader.join();
    EXPECT_TRUE(got == sent);
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

// The panel's own settings: 8N1, no parity check, at a rate with a speed constant or without one
// (250000, set by number) and back.
TEST_F(SerialPortTest, ConfigureLineSetsTheLine)
{
    ASSERT_EQ(port.Open(pty.Path()), 0);
    ASSERT_EQ(port.ConfigureLine(250000, 8, 0, 0), 0);
    EXPECT_EQ(port.QueryBaudRate(), 250000);
    ASSERT_EQ(port.ConfigureLine(115200, 8, 0, 0), 0);
    EXPECT_EQ(port.QueryBaudRate(), 115200);
    const termios tio = pty.ClientSettings();
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_iflag & INPCK, 0u);
    EXPECT_EQ(tio.c_cflag & (CSTOPB | PARODD | CMSPAR), 0u);
}

// An empty queue reads as nothing, not as a vanished device.
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
