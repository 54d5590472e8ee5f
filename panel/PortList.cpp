// The port list: each entry says which device stands behind its COM name, the list follows the
// devices as they come and go while the panel is idle, and the context menu pins a COM name to
// its adapter. The operator's choice is kept by the adapter's stable name, so that an adapter
// that was unplugged is selected again when it comes back; nothing connects by itself.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QSocketNotifier>

#include "panel/TarnikMDlg.h"
#include "res/Resource.h"
#include "serial/ComPorts.h"
#include "serial/PortInfo.h"
#include "serial/PortPins.h"

namespace {

constexpr int kIdentityRole = Qt::UserRole + 1;   // PortIdentity(): finds the adapter again
constexpr int kNumberRole = Qt::UserRole + 2;     // n of "COMn"

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
    auto* ports = DlgItem<QComboBox>(IDC_COMBO_PORT);
    if (!ports)
        return;
    ports->clear();
    int selected = 0;
    for (const SComPort& port : ListComPorts(16)) {
        const SPortInfo info = LookUpPortInfo(port.strDevice);
        const QString description = QString::fromStdString(DescribePort(port, info));
        const QString identity = QString::fromStdString(PortIdentity(port, info));
        const int i = ports->count();
        // The item data is the device Connect opens, never a fresh resolution of the number.
        ports->addItem(QStringLiteral("COM%1").arg(port.nNumber), QString::fromStdString(port.strDevice));
        ports->setItemData(i, description, Qt::ToolTipRole);
        ports->setItemData(i, description, Qt::AccessibleDescriptionRole);
        ports->setItemData(i, identity, kIdentityRole);
        ports->setItemData(i, port.nNumber, kNumberRole);
        if (identity == m_strWantedPort)
            selected = i;
    }
    if (ports->count() > 0) {
        ports->setCurrentIndex(selected);
        // The wanted adapter stays wanted while it is away; only a first list adopts its first entry.
        if (m_strWantedPort.isEmpty())
            RememberSelectedPort();
    }
    DescribeSelection(ports);
}

void CTarnikMDlg::RememberSelectedPort()
{
    auto* ports = DlgItem<QComboBox>(IDC_COMBO_PORT);
    if (ports && ports->currentIndex() >= 0)
        m_strWantedPort = ports->currentData(kIdentityRole).toString();
}

void CTarnikMDlg::SetUpPortList()
{
    AppendSystemMenuSeparator();
    AppendSystemMenuItem(IDM_PINPORT, QStringLiteral("Pin port to this adapter"));
    AppendSystemMenuItem(IDM_UNPINPORT, QStringLiteral("Unpin port"));
    connect(GetSystemMenu(), &QMenu::aboutToShow, this, [this] { UpdatePortMenu(); });
    UpdatePortMenu();
    if (auto* ports = DlgItem<QComboBox>(IDC_COMBO_PORT)) {
        // Only the operator's own choice is remembered, not a selection the list made itself.
        connect(ports, &QComboBox::activated, this, [this] { RememberSelectedPort(); });
        connect(ports, &QComboBox::currentIndexChanged, this, [ports] { DescribeSelection(ports); });
    }
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
    auto* ports = DlgItem<QComboBox>(IDC_COMBO_PORT);
    const bool idle = m_bReadyToConnect && ports && ports->currentIndex() >= 0;
    const int n = idle ? ports->currentData(kNumberRole).toInt() : 0;
    const std::string device = idle ? ports->currentData().toString().toStdString() : std::string();
    const QString name = idle ? ports->currentText() : QStringLiteral("port");
    if (QAction* pin = MenuAction(GetSystemMenu(), IDM_PINPORT)) {
        pin->setText(QStringLiteral("Pin %1 to this adapter").arg(name));
        pin->setEnabled(idle && CanPinPort(n));
    }
    if (QAction* unpin = MenuAction(GetSystemMenu(), IDM_UNPINPORT)) {
        unpin->setText(QStringLiteral("Unpin %1").arg(name));
        unpin->setEnabled(idle && IsPortPinnedTo(n, device));
    }
}

void CTarnikMDlg::OnPinPort(bool pin)
{
    // The command is queued behind the menu: the panel may have started connecting meanwhile.
    auto* ports = DlgItem<QComboBox>(IDC_COMBO_PORT);
    if (!m_bReadyToConnect || !ports || ports->currentIndex() < 0)
        return;
    const int n = ports->currentData(kNumberRole).toInt();
    const std::string device = ports->currentData().toString().toStdString();
    // The link leads to the stable name where the system has one, so that it follows the adapter
    // to whatever node it gets next time.
    const std::string target = ports->currentData(kIdentityRole).toString().toStdString();
    if (pin ? PinPort(n, target) : UnpinPort(n, device))
        RefreshPortList();
    UpdatePortMenu();
}
