// COM names: ports/ entries, the devices that fill the other numbers, and which ports the panel
// may list. Devices are links to pseudo-terminals in a folder of the test's own, so the host's
// serial ports play no part.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
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

// Another program, in a child process that is killed when the test leaves, however it leaves.
class CHolder {
public:
    explicit CHolder(const std::function<bool()>& hold)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only what it opens itself: not the descriptors of the test's own terminals.
            for (int fd = 3; fd < 1024; ++fd)
                if (fd != ready[1])
                    ::close(fd);
            const char ok = hold() ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        char ok = 0;
        m_bHolding = m_pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~CHolder()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Holding() const { return m_bHolding; }

private:
    pid_t m_pid = -1;
    bool m_bHolding = false;
};

TEST_F(ComPortsTest, APortInUseElsewhereIsNotListedAndNothingIsOpenedToFindOut)
{
    Link("dev/ttyUSB0", Device("free"));
    Link("dev/ttyUSB1", Device("used"));
    const std::string used = Device("used");
    const std::string lockDir = root + "/lock/";
    ASSERT_EQ(::mkdir(lockDir.c_str(), 0755), 0);
    SetLockDirsOverride({lockDir});
    const auto openAs = [&](int flags, bool lock) {
        return [&used, flags, lock] {
            const int fd = ::open(used.c_str(), flags | O_NOCTTY | O_NONBLOCK);
            return fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
        };
    };
    // Named after the device node, as serial programs name their lock files.
    const std::string lockPath = lockDir + "LCK.." + RealPath(used).substr(RealPath(used).rfind('/') + 1);
    const auto lockFile = [&lockPath](const std::string& content) {
        return [&lockPath, content] {
            std::ofstream(lockPath) << content;
            return true;
        };
    };
    const struct {
        const char* how;
        std::function<bool()> hold;
        bool listed;
    } cases[] = {
        {"open for reading and writing", openAs(O_RDWR, false), false},
        {"locked through a read-only descriptor", openAs(O_RDONLY, true), false},
        {"a lock file of a live process", lockFile("  " + std::to_string(::getpid()) + "\n"), false},
        {"only read, by a listener", openAs(O_RDONLY, false), true},
        {"a lock file whose process is gone", lockFile("999999999\n"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        {
            CHolder holder(c.hold);
            ASSERT_TRUE(holder.Holding());
            const std::vector<SComPort> listed = ListComPorts();
            ASSERT_EQ(listed.size(), c.listed ? 2u : 1u);
            EXPECT_EQ(listed[0].nNumber, 1);
            EXPECT_EQ(ResolveComPort(2), RealPath(used));   // it keeps its number, it is only not offered
        }
        ::unlink(lockPath.c_str());
        EXPECT_EQ(ListComPorts().size(), 2u);
    }
    SetLockDirsOverride({"/run/lock/", "/var/lock/"});

    // The exclusive open stays the final word: held there, the port fails to open.
    CHolder holder(openAs(O_RDWR, true));
    CSerial serial;
    EXPECT_EQ(serial.Open("COM2"), EBUSY);
}

TEST_F(ComPortsTest, NoDevicesNoPorts)
{
    EXPECT_TRUE(ListComPorts().empty());
    EXPECT_EQ(ResolveComPort(1), "");
    CSerial serial;
    EXPECT_EQ(serial.Open("COM1"), ENOENT);
}

} // namespace
