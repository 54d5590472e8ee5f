// COM names: ports/ entries, the devices that fill the other numbers, and which ports the panel
// may list. Devices are links to pseudo-terminals in a folder of the test's own, so the host's
// serial ports play no part.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/FileLocations.h"
#include "serial/ComPorts.h"
#include "tests/support/PseudoTerminal.h"

namespace {

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? buf : "";
}

using Listed = std::map<int, std::string>;

struct SFds {
    std::vector<int> fds;
    ~SFds()
    {
        for (int fd : fds)
            ::close(fd);
    }
};

Listed ListedNow()
{
    Listed listed;
    for (const SComPort& port : ListComPorts())
        listed[port.nNumber] = port.strDevice;
    return listed;
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
        for (const char* dir : {"/data", "/data/ports", "/dev", "/lock"})
            ASSERT_EQ(::mkdir((root + dir).c_str(), 0755), 0);
        platform::SetDataDirOverride(root + "/data");
        platform::SetDeviceDirOverride(root + "/dev");
    }
    void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }

    // The real device of a pseudo-terminal known by key, created on first use.
    std::string Device(const std::string& key)
    {
        auto& pty = ptys[key];
        if (!pty)
            pty = std::make_unique<CPseudoTerminal>();
        return RealPath(pty->Path());
    }
    void Link(const std::string& where, const std::string& target)
    {
        ASSERT_EQ(::symlink(target.c_str(), (root + "/" + where).c_str()), 0) << where;
    }
};

TEST_F(ComPortsTest, PortsEntriesWinAndDevicesFillTheRestInOrder)
{
    Link("data/ports/COM2", Device("pinned"));
    Link("data/ports/COM3", "/nonexistent/ttyUSB42");  // takes its number, answers to nothing
    Link("dev/ttyS1", Device("uart"));
    Link("dev/ttyUSB10", Device("usb10"));
    Link("dev/ttyUSB2", Device("usb2"));
    Link("dev/ttyUSB0", Device("usb0"));
    Link("dev/ttyACM3", Device("acm3"));
    Link("dev/ttyACM0", Device("pinned"));  // already COM2: not counted again
    Link("dev/ttyUSBx", Device("noise"));
    Link("dev/console", Device("noise"));
    Link("dev/ttyS4", "/nonexistent/ttyS4");
    EXPECT_EQ(ListedNow(), (Listed{{1, Device("acm3")}, {2, Device("pinned")}, {4, Device("usb0")},
                                   {5, Device("usb2")}, {6, Device("usb10")}, {7, Device("uart")}}));
}

// Another program holding the device: a child that inherits fd and sleeps until the test leaves,
// however it leaves. It has nothing else: the test's own terminals are closed on exec.
class CHolder {
public:
    explicit CHolder(int fd)
    {
        char name[] = "sleep", seconds[] = "60";
        char* argv[] = {name, seconds, nullptr};
        if (fd >= 0 && ::posix_spawnp(&m_pid, name, nullptr, nullptr, argv, environ) != 0)
            m_pid = -1;
    }
    ~CHolder()
    {
        if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0)
            ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

TEST_F(ComPortsTest, APortInUseElsewhereIsNotListedAndNothingIsOpenedToFindOut)
{
    const std::string used = Device("used"), spare = Device("spare");
    Link("dev/ttyUSB0", used);
    Link("dev/ttyUSB1", spare);
    SetLockDirsOverride({root + "/lock/"});
    // Named after the device node, as serial programs name their lock files.
    const std::string lockPath = root + "/lock/LCK.." + used.substr(used.rfind('/') + 1);
    const struct {
        const char* how;
        int flags;  // of the other program's open, -1 for none
        bool fLock;
        std::string lockFile;
        bool fListed;
        int nLocksAfter = 0;   // more locks on the machine, taken after the device's
    } cases[] = {
        {"open for reading and writing", O_RDWR, false, "", false},
        {"locked through a read-only descriptor", O_RDONLY, true, "", false},
        {"locked, with many locks taken after it", O_RDONLY, true, "", false, 400},
        {"a lock file of a live process", -1, false, "  " + std::to_string(::getpid()) + "\n", false},
        {"only read, by a listener", O_RDONLY, false, "", true},
        {"a lock file whose process is gone", -1, false, "999999999\n", true},
    };
    const Listed both{{1, used}, {2, spare}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        {
            const int fd = c.flags < 0 ? -1 : ::open(used.c_str(), c.flags | O_NOCTTY | O_NONBLOCK);
            ASSERT_EQ(fd < 0, c.flags < 0);
            ASSERT_TRUE(!c.fLock || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
            ASSERT_TRUE(c.lockFile.empty() || std::ofstream(lockPath) << c.lockFile);
            const CHolder holder(fd);
            ::close(fd);
            SFds more;
            for (int i = 0; i < c.nLocksAfter; ++i) {
                more.fds.push_back(::open((root + "/data/lock" + std::to_string(i)).c_str(), O_RDWR | O_CREAT, 0644));
                ASSERT_EQ(::flock(more.fds.back(), LOCK_EX | LOCK_NB), 0);
            }
            EXPECT_EQ(ListedNow(), c.fListed ? both : (Listed{{2, spare}}));   // it keeps its number
        }
        ::unlink(lockPath.c_str());
        EXPECT_EQ(ListedNow(), both);
    }
    SetLockDirsOverride({"/run/lock/", "/var/lock/"});
}

} // namespace
