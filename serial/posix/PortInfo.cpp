#include "serial/PortInfo.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <libudev.h>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/FileLocations.h"

namespace {

// udev's *_ENC properties escape every byte that is not plain text as "\xNN".
std::string DecodeUdevString(const char* text)
{
    std::string out;
    for (std::string_view s = text ? text : ""; !s.empty();) {
        if (s.size() >= 4 && s[0] == '\\' && s[1] == 'x' && std::isxdigit(static_cast<unsigned char>(s[2])) &&
            std::isxdigit(static_cast<unsigned char>(s[3]))) {
            out += static_cast<char>(std::strtol(std::string(s.substr(2, 2)).c_str(), nullptr, 16));
            s.remove_prefix(4);
        } else {
            out += s[0];
            s.remove_prefix(1);
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string Property(udev_device* dev, const char* name)
{
    const char* value = udev_device_get_property_value(dev, name);
    return value ? value : "";
}

std::string Attribute(udev_device* dev, const char* name)
{
    const char* value = dev ? udev_device_get_sysattr_value(dev, name) : nullptr;
    std::string text = value ? value : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string FirstOf(std::initializer_list<std::string> values)
{
    for (const std::string& v : values)
        if (!v.empty())
            return v;
    return {};
}

// The device's own strings come first; udev falls back to the numeric identifier when the adapter
// has none, which says nothing the identifiers do not.
std::string OwnString(udev_device* dev, const char* encoded, const std::string& id)
{
    const std::string text = DecodeUdevString(udev_device_get_property_value(dev, encoded));
    return text == id ? std::string() : text;
}

// The device's first link below <device folder>serial/<folder>/.
std::string SerialLink(udev_device* dev, const char* folder)
{
    const std::string prefix = platform::DeviceDir() + "serial/" + folder + "/";
    std::istringstream links(Property(dev, "DEVLINKS"));
    for (std::string link; links >> link;)
        if (link.rfind(prefix, 0) == 0)
            return link;
    return {};
}

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// A name is one adapter's when it is given and no other port has it, and its link leads there.
bool IsOwnName(const std::string& name, const std::string& device, const std::vector<std::string>& all)
{
    return !name.empty() && std::count(all.begin(), all.end(), name) == 1 && RealPath(name) == RealPath(device);
}

struct SUdev {
    udev* p = udev_new();
    ~SUdev()
    {
        if (p)
            udev_unref(p);
    }
};

struct SUdevDevice {
    udev_device* p = nullptr;
    ~SUdevDevice()
    {
        if (p)
            udev_device_unref(p);
    }
};

} // namespace

SPortInfo LookUpPortInfo(const std::string& path)
{
    SPortInfo info;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return info;
    SUdev udev;
    if (!udev.p)
        return info;
    // The node's numbers lead to its entry whatever name or link it was reached by.
    SUdevDevice dev{udev_device_new_from_devnum(udev.p, 'c', st.st_rdev)};
    if (!dev.p)
        return info;
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev.p, "usb", "usb_device");
    info.strVendorId = FirstOf({Property(dev.p, "ID_VENDOR_ID"), Attribute(usb, "idVendor")});
    info.strProductId = FirstOf({Property(dev.p, "ID_MODEL_ID"), Attribute(usb, "idProduct")});
    info.strVendor = FirstOf({OwnString(dev.p, "ID_VENDOR_ENC", info.strVendorId), Attribute(usb, "manufacturer"),
                              Property(dev.p, "ID_VENDOR_FROM_DATABASE")});
    info.strProduct = FirstOf({OwnString(dev.p, "ID_MODEL_ENC", info.strProductId), Attribute(usb, "product"),
                               Property(dev.p, "ID_MODEL_FROM_DATABASE")});
    info.strSerial = FirstOf({Property(dev.p, "ID_SERIAL_SHORT"), Attribute(usb, "serial")});
    info.strStableName = SerialLink(dev.p, "by-id");
    info.strUsbPort = SerialLink(dev.p, "by-path");
    return info;
}

std::string DescribePort(const SComPort& port, const SPortInfo& info, const SPortName& name)
{
    std::string text = "COM" + std::to_string(port.nNumber) + ": " + port.strDevice;
    std::string names = info.strVendor;
    if (!info.strProduct.empty())
        names += (names.empty() ? "" : " ") + info.strProduct;
    if (!info.strVendorId.empty() || !info.strProductId.empty())
        names += (names.empty() ? "" : " ") + info.strVendorId + ":" + info.strProductId;
    if (!names.empty())
        text += ", " + names;
    if (!info.strSerial.empty())
        text += ", serial " + info.strSerial;
    if (name.kind == SPortName::EAdapterName)
        text += ", by adapter name";
    else if (name.kind == SPortName::EUsbPort)
        text += ", by USB port " + name.strName.substr(name.strName.find_last_of('/') + 1) + " (its adapter name is not its own)";
    else if (!name.strNoPin.empty())
        text += ", by device path: " + name.strNoPin;
    return text;
}

std::vector<SPortName> NamePorts(const std::vector<SComPort>& ports, const std::vector<SPortInfo>& infos)
{
    std::vector<std::string> ids, usbPorts;
    for (const SPortInfo& info : infos) {
        ids.push_back(info.strStableName);
        usbPorts.push_back(info.strUsbPort);
    }
    std::vector<SPortName> names;
    for (size_t i = 0; i < ports.size() && i < infos.size(); ++i) {
        const std::string& device = ports[i].strDevice;
        if (IsOwnName(ids[i], device, ids))
            names.push_back({ids[i], SPortName::EAdapterName, ""});
        else if (IsOwnName(usbPorts[i], device, usbPorts))
            names.push_back({usbPorts[i], SPortName::EUsbPort, ""});
        else if (ids[i].empty() && usbPorts[i].empty())
            names.push_back({device, SPortName::EDevicePath, ""});
        else
            names.push_back({device, SPortName::EDevicePath,
                             "its adapter name is not its own and no USB port tells it apart, so it cannot be pinned"});
    }
    return names;
}

struct CPortMonitor::SImpl {
    SUdev udev;
    udev_monitor* monitor = nullptr;
    ~SImpl()
    {
        if (monitor)
            udev_monitor_unref(monitor);
    }
};

CPortMonitor::CPortMonitor() : m_pImpl(std::make_unique<SImpl>())
{
    if (!m_pImpl->udev.p)
        return;
    // Events from udev rather than the kernel: by then the node and its by-id link exist.
    udev_monitor* monitor = udev_monitor_new_from_netlink(m_pImpl->udev.p, "udev");
    if (!monitor)
        return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        return;
    }
    m_pImpl->monitor = monitor;
}

CPortMonitor::~CPortMonitor() = default;

int CPortMonitor::Fd() const { return m_pImpl->monitor ? udev_monitor_get_fd(m_pImpl->monitor) : -1; }

bool CPortMonitor::TakeChanges()
{
    bool changed = false;
    if (!m_pImpl->monitor)
        return false;
    // The descriptor is non-blocking: the loop ends when nothing more is waiting.
    while (udev_device* dev = udev_monitor_receive_device(m_pImpl->monitor)) {
        const char* action = udev_device_get_action(dev);
        const std::string_view a = action ? action : "";
        if (a == "add" || a == "remove")
            changed = true;
        udev_device_unref(dev);
    }
    return changed;
}
