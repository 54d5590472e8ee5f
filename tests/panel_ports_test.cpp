// The port list against USB serial adapters emulated with umockdev, which stands in for the
// device database (this suite runs under its preload library, see tests/CMakeLists.txt).
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <unistd.h>

#include "platform/FileLocations.h"
#include "res/Resource.h"
#include "serial/PortInfo.h"
#include "serial/PortPins.h"
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
        m_testbed = std::make_unique<CAdapterTestbed>(m_devices.Path());
    }
    void TearDown() override
    {
        CStageTest::TearDown();
        m_testbed.reset();
        m_others.clear();
    }

    std::string ByIdLink(const std::string& serial) const { return m_testbed->ByIdLink(serial); }
    void Plug(const std::string& name, const std::string& node, const std::string& serial)
    {
        ASSERT_TRUE(m_testbed->Plug(name, node, serial)) << name;
    }
    void Unplug(const std::string& name) { m_testbed->Unplug(name); }

    // A stand-in node for an adapter the test does not talk to.
    std::string OtherPty()
    {
        m_others.push_back(std::make_unique<CPseudoTerminal>());
        return m_others.back()->Path();
    }

    QComboBox* Ports() { return Panel().DlgItem<QComboBox>(IDC_COMBO_PORT); }
    QStringList Entries()
    {
        QStringList entries;
        for (int i = 0; i < Ports()->count(); ++i)
            entries << Ports()->itemText(i);
        return entries;
    }
    QString SelectedSerial() { return Ports()->currentData(Qt::ToolTipRole).toString().section("serial ", 1); }
    void Select(const QString& serial)
    {
        for (int i = 0; i < Ports()->count(); ++i)
            if (Ports()->itemData(i, Qt::ToolTipRole).toString().endsWith("serial " + serial)) {
                Ports()->setCurrentIndex(i);
                emit Ports()->activated(i);   // as the operator's click does
                return;
            }
        ADD_FAILURE() << "no entry for " << serial.toStdString();
    }
    QAction* MenuEntry(UINT id)
    {
        emit Panel().GetSystemMenu()->aboutToShow();
        for (QAction* a : Panel().GetSystemMenu()->actions())
            if (a->data().toUInt() == id)
                return a;
        return nullptr;
    }

    // A simulated controller behind an adapter: its ports/ entry goes to a folder the panel does not read.
    void StartStageBehindAdapter()
    {
        sim::SSimOptions options = Quiet();
        options.portsDir = m_simPorts.Path();
        options.comNumber = 1;
        m_stage = std::make_unique<sim::CStageSimulator>(options);
        ASSERT_TRUE(m_stage->Start()) << m_stage->LastError();
    }

    std::unique_ptr<CAdapterTestbed> m_testbed;
    std::vector<std::unique_ptr<CPseudoTerminal>> m_others;
    CTempDir m_simPorts;
};

TEST(PortDescription, SaysWhatIsKnownAndLeavesOutTheRest)
{
    const SComPort port{3, "/dev/ttyUSB0"};
    const struct {
        SPortInfo info;
        const char* text;
    } cases[] = {
        {{}, "COM3: /dev/ttyUSB0"},
        {{"QinHeng", "USB Serial", "1a86", "7523", "A1B2", ""}, "COM3: /dev/ttyUSB0, QinHeng USB Serial 1a86:7523, serial A1B2"},
        {{"", "", "0403", "6001", "", ""}, "COM3: /dev/ttyUSB0, 0403:6001"},
        {{"FTDI", "FT232R USB UART", "", "", "", ""}, "COM3: /dev/ttyUSB0, FTDI FT232R USB UART"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribePort(port, c.info), c.text);
}

TEST_F(PanelPorts, AnAdapterIsDescribedByWhatTheSystemKnowsOfIt)
{
    CPseudoTerminal pty;
    Plug("ttyUSB0", pty.Path(), "A1B2");
    OpenPanel();
    const QString expected = QString::fromStdString("COM1: " + pty.Path() + ", QinHeng USB Serial 1a86:7523, serial A1B2");
    ASSERT_EQ(Entries(), QStringList{"COM1"});
    EXPECT_EQ(Ports()->itemData(0).toString().toStdString(), pty.Path());   // what Connect opens
    EXPECT_EQ(Ports()->itemData(0, Qt::ToolTipRole).toString(), expected);
    EXPECT_EQ(Ports()->itemData(0, Qt::AccessibleDescriptionRole).toString(), expected);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Ports())->text(QAccessible::Description), expected);
    EXPECT_EQ(LookUpPortInfo(pty.Path()).strStableName, ByIdLink("A1B2"));
}

TEST_F(PanelPorts, WhileIdleTheListFollowsAdaptersAndKeepsTheSelection)
{
    Plug("ttyUSB1", OtherPty(), "A");
    Plug("ttyUSB2", OtherPty(), "B");
    OpenPanel();
    Select("B");
    ASSERT_EQ(Ports()->currentText(), "COM2");

    Plug("ttyUSB0", OtherPty(), "C");   // takes COM1: the others move up, B goes with its adapter
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2", "COM3"}), 1000);
    EXPECT_EQ(SelectedSerial(), "B");
    EXPECT_EQ(Ports()->currentText(), "COM3");

    Unplug("ttyUSB1");
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_EQ(SelectedSerial(), "B");
}

TEST_F(PanelPorts, WhileConnectedTheListStaysAsItIs)
{
    StartStageBehindAdapter();
    Plug("ttyUSB1", m_stage->DevicePath(), "S");
    OpenPanel();
    CPortMonitor watch;   // hears what the panel hears
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);

    Plug("ttyUSB0", OtherPty(), "T");
    ASSERT_EVENTUALLY(watch.TakeChanges(), 1000);
    QCoreApplication::processEvents();   // the panel's notifier has its turn
    QCoreApplication::processEvents();
    EXPECT_EQ(Entries(), QStringList{"COM1"});
    EXPECT_EQ(SelectedSerial(), "S");
    EXPECT_FALSE(MenuEntry(IDM_PINPORT)->isEnabled());
    EXPECT_FALSE(MenuEntry(IDM_UNPINPORT)->isEnabled());

    Click(IDC_BTN_CONNECT);   // Disconnect: now the list catches up, the adapter still selected
    EXPECT_EQ(Entries(), (QStringList{"COM1", "COM2"}));
    EXPECT_EQ(SelectedSerial(), "S");
}

TEST_F(PanelPorts, APinnedAdapterKeepsItsNumberWhenAnotherAppearsFirst)
{
    Plug("ttyUSB1", OtherPty(), "A");
    OpenPanel();
    const std::string entry = platform::PortsDir() + "COM1";
    QAction* pin = MenuEntry(IDM_PINPORT);
    QAction* unpin = MenuEntry(IDM_UNPINPORT);
    EXPECT_EQ(pin->text(), "Pin COM1 to this adapter");
    EXPECT_TRUE(pin->isEnabled());
    EXPECT_FALSE(unpin->isEnabled());

    pin->trigger();
    ASSERT_EVENTUALLY(PathExists(entry), 1000);
    char target[4096] = {};
    ASSERT_GT(::readlink(entry.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), ByIdLink("A"));
    MenuEntry(IDM_PINPORT);
    EXPECT_FALSE(pin->isEnabled());
    EXPECT_EQ(unpin->text(), "Unpin COM1");
    EXPECT_TRUE(unpin->isEnabled());

    Plug("ttyUSB0", OtherPty(), "B");   // first in order, yet COM1 stays with A
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_TRUE(Ports()->itemData(0, Qt::ToolTipRole).toString().endsWith("serial A"));
    EXPECT_EQ(SelectedSerial(), "A");

    MenuEntry(IDM_UNPINPORT)->trigger();
    ASSERT_EVENTUALLY(!PathExists(entry), 1000);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "COM2"}));
    EXPECT_TRUE(Ports()->itemData(0, Qt::ToolTipRole).toString().endsWith("serial B"));
    EXPECT_EQ(SelectedSerial(), "A");   // the operator's adapter, now COM2
}

TEST_F(PanelPorts, UnpinLeavesWhatItDidNotWrite)
{
    CPseudoTerminal pty, other;
    platform::MakeDirs(platform::PortsDir());
    WriteWholeFile(platform::PortsDir() + "COM2", "a note, not a link");
    ASSERT_EQ(::symlink(other.Path().c_str(), (platform::PortsDir() + "COM3").c_str()), 0);
    const struct {
        int n;
        bool canPin;
    } cases[] = {{2, false}, {3, false}, {4, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(CanPinPort(c.n), c.canPin);
        EXPECT_FALSE(IsPortPinnedTo(c.n, pty.Path()));
        EXPECT_FALSE(UnpinPort(c.n, pty.Path()));
    }
    EXPECT_TRUE(PathExists(platform::PortsDir() + "COM2"));
    EXPECT_TRUE(PathExists(platform::PortsDir() + "COM3"));
    EXPECT_FALSE(PinPort(3, pty.Path()));   // never over an entry that is there
}

TEST_F(PanelPorts, AnAdapterThatVanishedIsSelectedAgainAndNothingIsSentUntilConnect)
{
    StartStageBehindAdapter();
    Plug("ttyUSB0", m_stage->DevicePath(), "S");
    Plug("ttyUSB1", OtherPty(), "T");
    OpenPanel();
    ASSERT_EQ(SelectedSerial(), "S");
    Click(IDC_BTN_CONNECT);
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);

    CMessageBoxAnswerer answerer;
    m_stage->Vanish();
    Unplug("ttyUSB0");
    ASSERT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Connect"), 5000);
    EXPECT_EVENTUALLY_EQ(Entries(), QStringList{"COM1"}, 1000);
    EXPECT_EQ(SelectedSerial(), "T");

    // It comes back under another node name; its stable name is the same.
    StartStageBehindAdapter();
    Plug("ttyUSB2", m_stage->DevicePath(), "S");
    EXPECT_EVENTUALLY_EQ(Entries(), (QStringList{"COM1", "COM2"}), 1000);
    EXPECT_EQ(SelectedSerial(), "S");
    EXPECT_EQ(Ports()->currentData().toString().toStdString(), m_stage->DevicePath());
    EXPECT_EQ(LinesAfterQuiet(), WireLines{});
    EXPECT_EQ(m_stage->OpenCount(), 0);
    EXPECT_EQ(Text(IDC_BTN_CONNECT), "Connect");

    Click(IDC_BTN_CONNECT);   // one Connect reconnects
    EXPECT_TRUE(m_stage->WaitForLine("M105", 5000));
    EXPECT_EVENTUALLY_EQ(Text(IDC_BTN_CONNECT), QStringLiteral("Disconnect"), 5000);
}

} // namespace
