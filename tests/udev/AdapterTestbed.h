#pragma once
// USB serial adapters emulated with umockdev, for a process run under its preload library. An
// adapter's node in the device folder and its by-id link lead to a stand-in node (a
// pseudo-terminal); its emulated tty entry carries that node's device numbers, so that the panel
// finds the entry as it finds a real adapter's: by the numbers of the node it lists. (glib and the
// panel's headers do not mix: only the .cpp sees umockdev.)
#include <cstdlib>
#include <map>
#include <set>
#include <string>

class CAdapterTestbed {
public:
    explicit CAdapterTestbed(std::string deviceDir);   // deviceDir ends in '/'
    ~CAdapterTestbed();
    CAdapterTestbed(const CAdapterTestbed&) = delete;
    CAdapterTestbed& operator=(const CAdapterTestbed&) = delete;

    static bool InMockEnvironment()
    {
        const char* preload = std::getenv("LD_PRELOAD");
        return preload && std::string(preload).find("umockdev-preload") != std::string::npos;
    }
    // What udev's by-id link of an adapter with this serial number is.
    std::string ByIdLink(const std::string& serial) const
    {
        return m_deviceDir + "serial/by-id/usb-QinHeng_USB_Serial_" + serial + "-if00-port0";
    }
    // Where udev's by-path link of an adapter in this USB port is.
    std::string ByPathLink(const std::string& usbPort) const { return m_deviceDir + "serial/by-path/usb-0:" + usbPort + ":1.0-port0"; }
    // Plugs in an adapter as the system announces one: node and links first, then the event. An
    // adapter with the serial number of one plugged in already takes over its by-id link, as udev
    // gives that link to one of them. False when the stand-in node cannot be read.
    bool Plug(const std::string& name, const std::string& node, const std::string& serial, const std::string& usbPort = "");
    void Unplug(const std::string& name);

private:
    std::string m_deviceDir;
    struct _UMockdevTestbed* m_testbed;
    struct SPlugged { char *usb, *tty; std::string serial, usbPort; };
    std::map<std::string, SPlugged> m_plugged;
    std::set<std::string> m_passThrough;
};
