#include "tests/udev/AdapterTestbed.h"

#include <climits>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <umockdev.h>
#include <unistd.h>

#include "platform/FileLocations.h"

#if defined(__SANITIZE_ADDRESS__)
// umockdev-wrapper preloads its library ahead of AddressSanitizer's runtime; the runtime still
// intercepts what it needs, it only refuses to start unless told that the order is meant. Options
// from ASAN_OPTIONS apply on top of these.
extern "C" const char* __asan_default_options() { return "verify_asan_link_order=0"; }
#endif

namespace {

// umockdev routes the ioctls of every node below /dev/ to the testbed, which fails those of a
// device it does not emulate; a stand-in node's own driver answers them instead.
gboolean PassIoctlThrough(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer)
{
    gint error = 0;
    const gint result = umockdev_ioctl_client_execute(client, &error, nullptr);
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

} // namespace

CAdapterTestbed::CAdapterTestbed(std::string deviceDir) : m_deviceDir(std::move(deviceDir)), m_testbed(umockdev_testbed_new()) {}

CAdapterTestbed::~CAdapterTestbed()
{
    while (!m_plugged.empty())
        Unplug(m_plugged.begin()->first);
    g_object_unref(m_testbed);
}

bool CAdapterTestbed::Plug(const std::string& name, const std::string& node, const std::string& serial,
                           const std::string& usbPort)
{
    struct stat st{};
    const std::string links = usbPort.empty() ? ByIdLink(serial) : ByIdLink(serial) + " " + ByPathLink(usbPort);
    ::unlink(ByIdLink(serial).c_str());
    if (::stat(node.c_str(), &st) != 0 || !platform::MakeDirs(m_deviceDir + "serial/by-id/") ||
        !platform::MakeDirs(m_deviceDir + "serial/by-path/") || ::symlink(node.c_str(), (m_deviceDir + name).c_str()) != 0 ||
        ::symlink(("../../" + name).c_str(), ByIdLink(serial).c_str()) != 0 ||
        (!usbPort.empty() && ::symlink(("../../" + name).c_str(), ByPathLink(usbPort).c_str()) != 0))
        return false;
    const std::string maj = std::to_string(major(st.st_rdev)), min = std::to_string(minor(st.st_rdev));
    // Maker and product live on the USB device; udev copies identifiers and strings onto the tty,
    // escaping spaces, and gives the vendor's number where the adapter has no maker string.
    gchar* usb = umockdev_testbed_add_device(m_testbed, "usb", ("1-" + name).c_str(), nullptr, "idVendor", "1a86",
                                             "idProduct", "7523", "manufacturer", "QinHeng", "product", "USB Serial",
                                             "serial", serial.c_str(), nullptr, "DEVTYPE", "usb_device", nullptr);
    // The kernel's own part of a tty's entry (DEVNAME, MAJOR, MINOR) is what lets libudev find the
    // entry from the node's numbers.
    gchar* tty = umockdev_testbed_add_device(
        m_testbed, "tty", name.c_str(), usb, "dev", (maj + ":" + min).c_str(), nullptr, "DEVNAME",
        ("/dev/" + name).c_str(), "MAJOR", maj.c_str(), "MINOR", min.c_str(), "DEVLINKS", links.c_str(),
        "ID_VENDOR_ID", "1a86", "ID_MODEL_ID", "7523", "ID_VENDOR_ENC", "1a86", "ID_MODEL_ENC", "USB\\x20Serial",
        "ID_SERIAL_SHORT", serial.c_str(), nullptr);
    char real[PATH_MAX];
    if (::realpath(node.c_str(), real) && m_passThrough.insert(real).second) {
        UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(PassIoctlThrough), nullptr);
        umockdev_testbed_attach_ioctl(m_testbed, real, handler, nullptr);
        g_object_unref(handler);
    }
    umockdev_testbed_uevent(m_testbed, tty, "add");
    m_plugged[name] = {usb, tty, serial, usbPort};
    return true;
}

void CAdapterTestbed::Unplug(const std::string& name)
{
    const auto it = m_plugged.find(name);
    if (it == m_plugged.end())
        return;
    const SPlugged& p = it->second;
    ::unlink((m_deviceDir + name).c_str());
    char target[64] = {};
    if (::readlink(ByIdLink(p.serial).c_str(), target, sizeof target - 1) > 0 && target == "../../" + name)
        ::unlink(ByIdLink(p.serial).c_str());
    if (!p.usbPort.empty())
        ::unlink(ByPathLink(p.usbPort).c_str());
    umockdev_testbed_uevent(m_testbed, p.tty, "remove");
    umockdev_testbed_remove_device(m_testbed, p.tty);
    umockdev_testbed_remove_device(m_testbed, p.usb);
    g_free(p.tty);
    g_free(p.usb);
    m_plugged.erase(it);   // last: name may be its key
}
