// The port list against USB serial adapters emulated with umockdev, which stands in for the
// device database (this suite runs under its preload library, see tests/CMakeLists.txt).
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "platform/FileLocations.h"
#include "res/Resource.h"
#include "serial/PortInfo.h"
#include "serial/PortPins.h"
#include "qt/serial/SerialWnd.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StageFixture.h"
#include "tests/support/Wait.h"
#include "tests/udev/AdapterTestbed.h"

namespace {

class PanelPorts : public CStageTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CAdapterTestbed::InMockEnvironment()) << "run this suite under umockdev-wrapper (ctest does)";
        CStageTest::SetUp();
    }

    // A stand-in node for an adapter the test does not talk to.
    std::string OtherPty() { return m_others.emplace_back(std::make_unique<CPseudoTerminal>())->Path(); }
    // A simulated controller behind an adapter: its ports/ entry goes to a folder the panel does not read.
    void StartStageBehindAdapter(const std::string& name)
    {
        sim::SSimOptions options = Quiet();
        options.portsDir = m_simPorts.Path();
        options.comNumber = 1;
        m_stage = std::make_unique<sim::CStageSimulator>(options);
        ASSERT_TRUE(m_stage->Start()) << m_stage->LastError();
        ASSERT_TRUE(m_testbed->Plug(name, m_stage->DevicePath(), "S"));
    }

    QComboBox* Ports() { return Panel().DlgItem<QComboBox>(IDC_COMBO_PORT); }
    QString Tip(int i) { return Ports()->itemData(i, Qt::ToolTipRole).toString(); }
    QStringList Entries()
    {
        QStringList entries;
        for (int i = 0; i < Ports()->count(); ++i)
            entries << Ports()->itemText(i);
        return entries;
    }
    QString SelectedSerial() { return Tip(Ports()->currentIndex()).section("serial ", 1).section(',', 0, 0); }
    std::string SelectedDevice() { return Ports()->currentData().toString().toStdString(); }
    QAction* MenuEntry(UINT id)
    {
        emit Panel().GetSystemMenu()->aboutToShow();
        for (QAction* a : Panel().GetSystemMenu()->actions())
            if (a->data().toUInt() == id)
                return a;
        return nullptr;
    }

    std::vector<std::unique_ptr<CPseudoTerminal>> m_others;
    CTempDir m_simPorts;
    std::unique_ptr<CAdapterTestbed> m_testbed = std::make_unique<CAdapterTestbed>(m_devices.Path());   // goes first
};

TEST(PortDescription, SaysWhatIsKnownAndLeavesOutTheRest)
{
    const std::pair<SPortInfo, const char*> cases[] = {
        {{}, "COM3: /dev/ttyUSB0"},
        {{"QinHeng", "USB Serial", "1a86", "7523", "A1B2", "", ""}, "COM3: /dev/ttyUSB0, QinHeng USB Serial 1a86:7523, serial A1B2"},
        {{"", "", "0403", "6001", "", "", ""}, "COM3: /dev/ttyUSB0, 0403:6001"},
        {{"FTDI", "FT232R USB UART", "", "", "", "", ""}, "COM3: /dev/ttyUSB0, FTDI FT232R USB UART"},
    };
    for (const auto& [info, text] : cases)
        EXPECT_EQ(DescribePort({3, "/dev/ttyUSB0"}, info), text);
}

// Each entry is described by what the system knows of its adapter. While idle the list follows
// adapters coming and going, and the operator's choice goes with its adapter.
TEST_F(PanelPorts, WhileIdleTheListFollowsAdaptersAndKeepsTheSelection)
{
    CPseudoTerminal pty;
    ASSERT_TRUE(m_testbed->Plug("ttyUSB1", pty.Path(), "A"));
    ASSERT_TRUE(m_testbed->Plug("ttyUSB2", OtherPty(), "B"));
    OpenPanel(false);
    EXPECT_EQ(Entries().size(), 0);   // listed once the window has been painted, not before
    EXPECT_EVENTUALLY_EQ(Entries().size(), 2, 1000);
    const QString described = QString::fromStdString("COM1: " + pty.Path() + ", QinHeng USB Serial 1a86:7523, serial A, by adapter name");
    EXPECT_EQ(Ports()->itemData(0).toString().toStdString(), pty.Path());   // what Connect opens
    EXPECT_EQ(Tip(0), described);
    EXPECT_EQ(Ports()->itemData(0, Qt::AccessibleDescriptionRole).toString(), described);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Ports())->text(QAccessible::Description), described);
    EXPECT_EQ(LookUpPortInfo(pty.Path()).strStableName, m_testbed->ByIdLink("A"));
    Ports()->setCurrentIndex(1);
    emit Ports()->activated(1);   // as the operator's click does
    ASSERT_EQ(SelectedSerial(), "B");

    ASSERT_TRUE(m_testbed->Plug("ttyUSB0", OtherPty(), "C"));   // takes COM1: the others move up, B goes with its adapter
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2", "COM3"}), 1000);
    EXPECT_EQ(SelectedSerial(), "B");
    EXPECT_EQ(Ports()->currentText(), "COM3");

    m_testbed->Unplug("ttyUSB1");
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_EQ(SelectedSerial(), "B");
}

TEST_F(PanelPorts, APinnedAdapterKeepsItsNumberWhenAnotherAppearsFirst)
{
    ASSERT_TRUE(m_testbed->Plug("ttyUSB1", OtherPty(), "A"));
    OpenPanel();
    const std::string entry = platform::PortsDir() + "COM1";
    QAction* pin = MenuEntry(IDM_PINPORT);
    QAction* unpin = MenuEntry(IDM_UNPINPORT);
    EXPECT_EQ(pin->text(), "Pin COM1 to this adapter");
    EXPECT_TRUE(pin->isEnabled());
    EXPECT_FALSE(unpin->isEnabled());

    pin->trigger();
    ASSERT_EVENTUALLY(PathExists(entry), 1000);
    EXPECT_EQ(std::filesystem::read_symlink(entry).string(), m_testbed->ByIdLink("A"));
    MenuEntry(IDM_PINPORT);
    EXPECT_FALSE(pin->isEnabled());
    EXPECT_EQ(unpin->text(), "Unpin COM1");
    EXPECT_TRUE(unpin->isEnabled());

    ASSERT_TRUE(m_testbed->Plug("ttyUSB0", OtherPty(), "B"));   // first in order, yet COM1 stays with A
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_TRUE(Tip(0).endsWith("serial A, by adapter name"));
    EXPECT_EQ(SelectedSerial(), "A");

    unpin->trigger();
    ASSERT_EVENTUALLY(!PathExists(entry), 1000);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "COM2"}));
    EXPECT_TRUE(Tip(0).endsWith("serial B, by adapter name"));
    EXPECT_EQ(SelectedSerial(), "A");   // the operator's adapter, now COM2
}

TEST_F(PanelPorts, UnpinLeavesWhatItDidNotWrite)
{
    CPseudoTerminal pty, other;
    platform::MakeDirs(platform::PortsDir());
    WriteWholeFile(platform::PortsDir() + "COM2", "a note, not a link");
    ASSERT_EQ(::symlink(other.Path().c_str(), (platform::PortsDir() + "COM3").c_str()), 0);
    for (int n : {2, 3, 4}) {
        EXPECT_EQ(CanPinPort(n), n == 4) << n;
        EXPECT_FALSE(IsPortPinnedTo(n, pty.Path())) << n;
        EXPECT_FALSE(UnpinPort(n, pty.Path())) << n;
    }
    EXPECT_TRUE(PathExists(platform::PortsDir() + "COM2") && PathExists(platform::PortsDir() + "COM3"));
    EXPECT_FALSE(PinPort(3, pty.Path()));   // never over an entry that is there

    // A pin whose adapter is away has no entry to select: the menu offers it on its own.
    const std::string away = platform::PortsDir() + "COM5";
    ASSERT_EQ(::symlink("/nonexistent/serial/by-id/usb-gone-if00-port0", away.c_str()), 0);
    EXPECT_EQ(AbsentPins(), std::vector<int>{5});
    OpenPanel();
    emit Panel().GetSystemMenu()->aboutToShow();
    QAction* unpinAway = nullptr;
    for (QAction* a : Panel().GetSystemMenu()->actions())
        if (a->text() == "Unpin COM5")
            unpinAway = a;
    ASSERT_NE(unpinAway, nullptr);
    unpinAway->trigger();
    EXPECT_EVENTUALLY(!std::filesystem::is_symlink(away), 1000);
    EXPECT_TRUE(PathExists(platform::PortsDir() + "COM2") && PathExists(platform::PortsDir() + "COM3"));
}

// Two adapters of one make without serial numbers share one by-id name, and its link leads to one
// of them: each goes by its USB port instead, for the selection and for a pin. One on no port
// udev names cannot be told apart: it keeps the selection by its node, and is not pinned.
TEST_F(PanelPorts, TwoAdaptersOfOneNameGoByTheirUsbPorts)
{
    CaptureLog();
    CPseudoTerminal a;
    ASSERT_TRUE(m_testbed->Plug("ttyUSB0", a.Path(), "", "1.1"));
    OpenPanel();
    emit Ports()->activated(0);
    ASSERT_TRUE(m_testbed->Plug("ttyUSB1", OtherPty(), "", "1.2"));   // takes the by-id link
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_EQ(SelectedDevice(), a.Path());
    EXPECT_EQ(Tip(0).toStdString(), "COM1: " + a.Path() + ", QinHeng USB Serial 1a86:7523, by USB port usb-0:1.1:1.0-port0 (its adapter name is not its own)");
    Ports()->setCurrentIndex(1);
    Click(IDC_BTN_REFRESH);
    EXPECT_EQ(SelectedDevice(), a.Path());
    MenuEntry(IDM_PINPORT)->trigger();
    ASSERT_EVENTUALLY(PathExists(platform::PortsDir() + "COM1"), 1000);
    EXPECT_EQ(std::filesystem::read_symlink(platform::PortsDir() + "COM1").string(), m_testbed->ByPathLink("1.1"));

    CPseudoTerminal c;
    ASSERT_TRUE(m_testbed->Plug("ttyUSB2", c.Path(), ""));
    EXPECT_EVENTUALLY_EQ(Entries().size(), 3, 1000);
    Ports()->setCurrentIndex(2);
    emit Ports()->activated(2);
    Click(IDC_BTN_REFRESH);
    EXPECT_EQ(SelectedDevice(), c.Path());
    QAction* pin = MenuEntry(IDM_PINPORT);
    EXPECT_FALSE(pin->isEnabled());
    EXPECT_TRUE(pin->toolTip().endsWith("cannot be pinned")) << pin->toolTip().toStdString();
    EXPECT_TRUE(Tip(2).endsWith("cannot be pinned"));
    EXPECT_NE(Log().find("Pin COM3 refused (" + c.Path() + ")"), std::string::npos) << Log();
}

// While connected the list stays as the connection found it (and the pin entries are off); once
// idle again it catches up. An adapter that vanished is selected again when it comes back, under
// whatever node name, and nothing is sent to it until Connect.
TEST_F(PanelPorts, TheListWaitsForIdleAndSelectsAVanishedAdapterAgain)
{
    StartStageBehindAdapter("ttyUSB1");
    OpenPanel();
    // A program that took the device after the list was made, as terminal programs do, is seen
    // at Connect; while connected the panel holds a lock file of its own.
    CTempDir lockDir;
    SetLockDirsOverride({lockDir.Path()});
    const std::string lockFile = lockDir.File("LCK.." + m_stage->DevicePath().substr(m_stage->DevicePath().rfind('/') + 1));
    WriteWholeFile(lockFile, "         1\n");
    Click(IDC_BTN_CONNECT);
    EXPECT_FALSE(Panel().m_pSerial->IsOpen());
    Click(IDC_BTN_CONNECT);
    ::unlink(lockFile.c_str());
    Click(IDC_BTN_REFRESH);
    CPortMonitor watch;   // hears what the panel hears
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(ReadWholeFile(lockFile), ours);
    EXPECT_EQ(m_stage->OpenCount(), 1);   // the held device was never opened (which resets many boards)
    ASSERT_TRUE(m_testbed->Plug("ttyUSB0", OtherPty(), "T"));
    ASSERT_EVENTUALLY(watch.TakeChanges(), 1000);
    QCoreApplication::processEvents();   // the panel's notifier has its turn
    QCoreApplication::processEvents();
    EXPECT_EQ(Entries(), QStringList{"COM1"});
    EXPECT_EQ(SelectedSerial(), "S");
    EXPECT_FALSE(MenuEntry(IDM_PINPORT)->isEnabled());
    EXPECT_FALSE(MenuEntry(IDM_UNPINPORT)->isEnabled());

    CMessageBoxAnswerer answerer;
    bool lockGoneWhileBoxUp = false;   // the box may stay up for long: the lock goes at the vanish
    answerer.SetWhileShown([&] { lockGoneWhileBoxUp = !PathExists(lockFile); });
    m_stage->Vanish();
    m_testbed->Unplug("ttyUSB1");
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connect"), 5000);
    EXPECT_TRUE(lockGoneWhileBoxUp);
    EXPECT_EVENTUALLY_EQ(Entries(), QStringList{"COM1"}, 1000);
    EXPECT_EQ(SelectedSerial(), "T");

    StartStageBehindAdapter("ttyUSB2");
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_EQ(SelectedSerial(), "S");
    EXPECT_EQ(Ports()->currentData().toString().toStdString(), m_stage->DevicePath());
    EXPECT_FALSE(WaitUntil([this] { return m_stage->OpenCount() > 0; }, 300));   // not opened: nothing sent
    Click(IDC_BTN_CONNECT);
    EXPECT_TRUE(m_stage->WaitForLine("M105", 5000));
    SetLockDirsOverride({"/run/lock/", "/var/lock/"});
}

} // namespace
