// COM names: ports/ entries, the devices that fill the other numbers, and which ports the panel
// may list. Devices are links to pseudo-terminals in a folder of the test's own, so the host's
// serial ports play no part.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileLocations.h"
#include "serial/ComPorts.h"
#include "serial/Serial.h"
#include "tests/support/PseudoTerminal.h"

namespace {

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? buf : "";
}

// A data folder with ports/ and a device folder, both removed again at the end.
struct ComPortsTest : ::testing::Test {
    std::string root;
    std::map<std::string, std::unique_ptr<CPseudoTerminal>> ptys;

    void SetUp() override
    {
        char tmpl[] = "/tmp/comports_test.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
        ASSERT_EQ(::mkdir((root + "/data").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((root + "/data/ports").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((root + "/dev").c_str(), 0755), 0);
        platform::SetDataDirOverride(root + "/data");
        platform::SetDeviceDirOverride(root + "/dev");
    }
    void TearDown() override
    {
        std::system(("rm -rf '" + root + "'").c_str());
    }

    // A pseudo-terminal known by key, created on first use.
    const std::string& Device(const std::string& key)
    {
        auto& pty = ptys[key];
        if (!pty)
            pty = std::make_unique<CPseudoTerminal>();
        return pty->Path();
    }
    void Link(const std::string& where, const std::string& target)
    {
        ASSERT_EQ(::symlink(target.c_str(), (root + "/" + where).c_str()), 0) << where;
    }
};

TEST_F(ComPortsTest, PortsEntriesWinAndDevicesFillTheRestInOrder)
{
    Link("data/ports/COM2", Device("pinned"));
    Link("data/ports/COM7", "/nonexistent/ttyUSB42");  // takes its number, answers to nothing
    Link("dev/ttyS1", Device("uart"));
    Link("dev/ttyUSB10", Device("usb10"));
    Link("dev/ttyUSB2", Device("usb2"));
    Link("dev/ttyUSB0", Device("usb0"));
    Link("dev/ttyACM3", Device("acm3"));
    Link("dev/ttyACM0", Device("pinned"));  // already COM2: not counted again
    Link("dev/ttyUSBx", Device("noise"));
    Link("dev/console", Device("noise"));
    Link("dev/ttyS4", "/nonexistent/ttyS4");

    const std::map<int, std::string> expected = {
        {1, "acm3"}, {2, "pinned"}, {3, "usb0"}, {4, "usb2"}, {5, "usb10"}, {6, "uart"},
    };
    for (int n = 0; n <= 17; ++n) {
        SCOPED_TRACE(n);
        const auto it = expected.find(n);
        EXPECT_EQ(ResolveComPort(n), it == expected.end() ? "" : RealPath(Device(it->second)));
    }
    const std::vector<SComPort> listed = ListComPorts();
    ASSERT_EQ(listed.size(), expected.size());
    for (const SComPort& port : listed)
        EXPECT_EQ(port.strDevice, RealPath(Device(expected.at(port.nNumber)))) << port.nNumber;

    // The port opens by its COM name.
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3"), 0);
    EXPECT_EQ(serial.WriteText("M105\n"), 0);
    EXPECT_EQ(ptys.at("usb0")->Receive(5), "M105\n");
    EXPECT_EQ(serial.Close(), 0);
    EXPECT_EQ(serial.Open("COM7"), ENOENT);
}

TEST_F(ComPortsTest, DeviceHeldByAnotherProgramIsNotListed)
{
    Link("dev/ttyUSB0", Device("free"));
    Link("dev/ttyUSB1", Device("held"));
    const std::string held = Device("held");

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another program that holds the device the way a terminal program or a second panel does.
        const int fd = ::open(held.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    EXPECT_TRUE(TrialOpenExclusive(Device("free")));
    EXPECT_FALSE(TrialOpenExclusive(held));
    const std::vector<SComPort> listed = ListComPorts();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].nNumber, 1);
    EXPECT_EQ(ResolveComPort(2), RealPath(held));  // it keeps its number, it is only not offered
    CSerial serial;
    EXPECT_EQ(serial.Open("COM2"), EBUSY);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(ListComPorts().size(), 2u);
    EXPECT_EQ(serial.Open("COM2"), 0);
}

TEST_F(ComPortsTest, NoDevicesNoPorts)
{
    EXPECT_TRUE(ListComPorts().empty());
    EXPECT_EQ(ResolveComPort(1), "");
    CSerial serial;
    EXPECT_EQ(serial.Open("COM1"), ENOENT);
}

} // namespace
