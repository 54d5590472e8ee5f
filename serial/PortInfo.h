#pragma once
// What the system's device database knows of a serial device (maker, product, USB identifiers,
// serial number, the stable name udev gives it), and a watch on tty devices coming and going.
// Both are read through libudev; nothing here opens the device itself.
#include <memory>
#include <string>

#include "serial/ComPorts.h"

struct SPortInfo {
    std::string strVendor;       // "QinHeng Electronics"
    std::string strProduct;      // "USB Serial"
    std::string strVendorId;     // "1a86"
    std::string strProductId;    // "7523"
    std::string strSerial;       // the adapter's serial number, "" when it has none
    std::string strStableName;   // its link below <device folder>serial/by-id/, "" when it has none
};

// The database's entry for the device node at path (links followed); empty when it has none.
SPortInfo LookUpPortInfo(const std::string& path);

// "COM3: /dev/ttyUSB0, QinHeng USB Serial 1a86:7523, serial A1B2": what the port list says of an
// entry, leaving out what is unknown.
std::string DescribePort(const SComPort& port, const SPortInfo& info);

// The name that finds this adapter again after it was unplugged: its stable name, else its path.
std::string PortIdentity(const SComPort& port, const SPortInfo& info);

// Tells when a tty device was added or removed, on a descriptor the caller's event loop watches.
class CPortMonitor {
public:
    CPortMonitor();
    ~CPortMonitor();
    CPortMonitor(const CPortMonitor&) = delete;
    CPortMonitor& operator=(const CPortMonitor&) = delete;

    // The descriptor that becomes readable when something happened; -1 when there is no monitor.
    int Fd() const;
    // Reads every pending event; true when a device came or went.
    bool TakeChanges();

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};
