// The port list: each entry says which device stands behind its COM name, the list follows the
// devices as they come and go while the panel is idle, and the context menu pins a COM name to
// its adapter. The operator's choice is kept by a name that belongs to that one adapter (its
// stable name, else its USB port), so that an adapter that was unplugged is selected again when it
// comes back; nothing connects by itself.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QSocketNotifier>
#include <set>

#include "qt/panel/TarnikMDlg.h"
#include "res/Resource.h"
#include "serial/ComPorts.h"
#include "serial/PortInfo.h"
#include "serial/PortPins.h"
#include "qt/platform/TraceLog.h"

namespace {

constexpr int kIdentityRole = Qt::UserRole + 1;   // SPortName: finds the adapter again
constexpr int kNumberRole = Qt::UserRole + 2;     // n of "COMn"
constexpr int kNoPinRole = Qt::UserRole + 3;      // why it cannot be pinned; empty when it can
constexpr int kLinkNamesRole = Qt::UserRole + 4;  // its by-id and by-path names, its own or not
constexpr const char* kAbsentPinProperty = "absentPin";   // marks the menu's entries for absent pins

QAction* MenuAction(QMenu* menu, UINT nID)
{
    for (QAction* action : menu->actions())
        if (action->data().toUInt() == nID)
            return action;
    return nullptr;
}

// A closed box is announced by its current entry's text alone: say which device it is.
void DescribeSelection(QComboBox* ports)
{
    const QString description = ports->currentData(Qt::AccessibleDescriptionRole).toString();
    ports->setToolTip(description);
    ports->setAccessibleDescription(description);
}

} // namespace

void CTarnikMDlg::EnumeratePorts()
{
    RefreshPortList();
    FillBaudList();
}

void CTarnikMDlg::RefreshPortList()
{
    QComboBox* ports = m_cmbPort;
    // The first list (OnInitDialog's) waits for the window's first paint: looking at the process
    // table and the device database costs more than the rest of the start-up together, and the
    // window shows that much sooner. Any later call lists at once.
    if (m_nPortListState == EPortListNone) {
        m_nPortListState = EPortListAfterPaint;
        return;
    }
    m_nPortListState = EPortListMade;
    // Held devices are named too: an adapter that shares its stable name with a held one is no
    // more found again by that name than one that shares it with a listed one.
    const std::vector<SComPort> present = MapComPorts(16);
    std::vector<std::string> devices;
    std::vector<SPortInfo> infos;
    for (const SComPort& port : present) {
        devices.push_back(port.strDevice);
        infos.push_back(LookUpPortInfo(port.strDevice));
    }
    const std::set<std::string> inUse = DevicesInUse(devices);
    const std::vector<SPortName> names = NamePorts(present, infos);
    ports->clear();
    int selected = 0;
    for (size_t k = 0; k < present.size(); ++k) {
        if (inUse.count(present[k].strDevice))
            continue;
        if (AddPortEntry(present[k], infos[k], names[k]) == m_strWantedPort)
            selected = ports->count() - 1;
    }
    selected = FindWantedAdapter(selected);
    if (ports->count() > 0) {
        ports->setCurrentIndex(selected);
        // The wanted adapter stays wanted while it is away; only a first list adopts its first entry.
        if (m_strWantedPort.isEmpty())
            RememberSelectedPort();
    }
    DescribeSelection(ports);
}

// One entry of the list; its identity, the name that finds the adapter again.
QString CTarnikMDlg::AddPortEntry(const SComPort& port, const SPortInfo& info, const SPortName& name)
{
    QComboBox* ports = m_cmbPort;
    const QString description = QString::fromStdString(DescribePort(port, info, name));
    const QString identity = QString::fromStdString(name.strName);
    const int i = ports->count();
    // The item data is the device Connect opens, never a fresh resolution of the number.
    ports->addItem(QStringLiteral("COM%1").arg(port.nNumber), QString::fromStdString(port.strDevice));
    ports->setItemData(i, description, Qt::ToolTipRole);
    ports->setItemData(i, description, Qt::AccessibleDescriptionRole);
    ports->setItemData(i, identity, kIdentityRole);
    ports->setItemData(i, port.nNumber, kNumberRole);
    ports->setItemData(i, QString::fromStdString(name.strNoPin), kNoPinRole);
    ports->setItemData(i, QStringList{QString::fromStdString(info.strStableName), QString::fromStdString(info.strUsbPort)},
                       kLinkNamesRole);
    return identity;
}

// The operator's adapter may go by another name since (a second adapter of its make came or
// went): the same node that still has the name it was chosen by is still the same adapter.
int CTarnikMDlg::FindWantedAdapter(int selected)
{
    QComboBox* ports = m_cmbPort;
    if (ports->findData(m_strWantedPort, kIdentityRole) >= 0)
        return selected;
    for (int i = 0; i < ports->count(); ++i)
        if (ports->itemData(i).toString() == m_strWantedDevice &&
            ports->itemData(i, kLinkNamesRole).toStringList().contains(m_strWantedPort)) {
            selected = i;
            m_strWantedPort = ports->itemData(i, kIdentityRole).toString();
        }
    return selected;
}

void CTarnikMDlg::RememberSelectedPort()
{
    if (m_cmbPort->currentIndex() >= 0) {
        m_strWantedPort = m_cmbPort->currentData(kIdentityRole).toString();
        m_strWantedDevice = m_cmbPort->currentData().toString();
    }
}

void CTarnikMDlg::SetUpPortList()
{
    AppendSystemMenuSeparator();
    AppendSystemMenuItem(IDM_PINPORT, QStringLiteral("Pin port to this adapter"));
    AppendSystemMenuItem(IDM_UNPINPORT, QStringLiteral("Unpin port"));
    GetSystemMenu()->setToolTipsVisible(true);   // why a port cannot be pinned
    connect(GetSystemMenu(), &QMenu::aboutToShow, this, [this] { UpdatePortMenu(); });
    UpdatePortMenu();
    // Only the operator's own choice is remembered, not a selection the list made itself.
    connect(m_cmbPort, &QComboBox::activated, this, [this] { RememberSelectedPort(); });
    connect(m_cmbPort, &QComboBox::currentIndexChanged, this, [ports = m_cmbPort] { DescribeSelection(ports); });
    m_pPortMonitor = std::make_unique<CPortMonitor>();
    if (m_pPortMonitor->Fd() >= 0) {
        m_pPortNotifier = std::make_unique<QSocketNotifier>(m_pPortMonitor->Fd(), QSocketNotifier::Read);
        connect(m_pPortNotifier.get(), &QSocketNotifier::activated, this, [this] { OnPortsChanged(); });
    }
}

void CTarnikMDlg::OnPortsChanged()
{
    // The events are read while connected too, so that none wait; the list itself stays as the
    // connection found it, and Disconnect rebuilds it.
    if (m_pPortMonitor->TakeChanges() && m_bReadyToConnect)
        RefreshPortList();
}

void CTarnikMDlg::UpdatePortMenu()
{
    QComboBox* ports = m_cmbPort;
    const bool idle = m_bReadyToConnect && ports->currentIndex() >= 0;
    const int n = idle ? ports->currentData(kNumberRole).toInt() : 0;
    const std::string device = idle ? ports->currentData().toString().toStdString() : std::string();
    const QString name = idle ? ports->currentText() : QStringLiteral("port");
    const QString noPin = idle ? ports->currentData(kNoPinRole).toString() : QString();
    QMenu* menu = GetSystemMenu();
    if (QAction* pin = MenuAction(menu, IDM_PINPORT)) {
        pin->setText(QStringLiteral("Pin %1 to this adapter").arg(name));
        pin->setEnabled(idle && noPin.isEmpty() && CanPinPort(n));
        pin->setToolTip(noPin.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(name, noPin));
        if (!noPin.isEmpty())
            WriteTraceLog(QStringLiteral("Pin %1 refused (%2): %3").arg(name, QString::fromStdString(device), noPin));
    }
    if (QAction* unpin = MenuAction(menu, IDM_UNPINPORT)) {
        unpin->setText(QStringLiteral("Unpin %1").arg(name));
        unpin->setEnabled(idle && IsPortPinnedTo(n, device));
    }
    // A pin whose adapter is away has no entry in the list to choose: each gets its own.
    for (QAction* action : menu->actions())
        if (action->property(kAbsentPinProperty).isValid())
            delete action;
    if (!m_bReadyToConnect)
        return;
    for (int absent : AbsentPins(16)) {
        QAction* action = menu->addAction(QStringLiteral("Unpin COM%1").arg(absent));
        action->setProperty(kAbsentPinProperty, absent);
        connect(action, &QAction::triggered, this, [this, absent] {
            if (m_bReadyToConnect && UnpinAbsentPort(absent))
                RefreshPortList();
            UpdatePortMenu();
        }, Qt::QueuedConnection);
    }
}

void CTarnikMDlg::OnPinPort(bool pin)
{
    // The command is queued behind the menu: the panel may have started connecting meanwhile.
    QComboBox* ports = m_cmbPort;
    if (!m_bReadyToConnect || ports->currentIndex() < 0)
        return;
    const int n = ports->currentData(kNumberRole).toInt();
    const std::string device = ports->currentData().toString().toStdString();
    // The link leads to the adapter's own name (its stable name, else its USB port), so that it
    // follows the adapter to whatever node it gets next time; an adapter without one is not pinned.
    const std::string target = ports->currentData(kIdentityRole).toString().toStdString();
    const bool pinnable = ports->currentData(kNoPinRole).toString().isEmpty();
    if (pin ? pinnable && PinPort(n, target) : UnpinPort(n, device))
        RefreshPortList();
    UpdatePortMenu();
}
