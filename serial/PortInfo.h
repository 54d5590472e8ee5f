#pragma once
// What the system's device database knows of a serial device (maker, product, USB identifiers,
// serial number, the stable name udev gives it), and a watch on tty devices coming and going.
// Both are read through libudev; nothing here opens the device itself.
#include <memory>
#include <string>
#include <vector>

#include "serial/ComPorts.h"

struct SPortInfo {
    std::string strVendor;       // "QinHeng Electronics"
    std::string strProduct;      // "USB Serial"
    std::string strVendorId;     // "1a86"
    std::string strProductId;    // "7523"
    std::string strSerial;       // the adapter's serial number, "" when it has none
    std::string strStableName;   // its link below <device folder>serial/by-id/, "" when it has none
    std::string strUsbPort;      // its link below <device folder>serial/by-path/ (the physical USB port)
};

// The name that finds an adapter again after it was unplugged, and what kind of name it is.
struct SPortName {
    enum EKind { EAdapterName, EUsbPort, EDevicePath };
    std::string strName;
    EKind kind = EDevicePath;
    std::string strNoPin;   // why the port cannot be pinned to it; "" when it can
};

// The database's entry for the device node at path (links followed); empty when it has none.
SPortInfo LookUpPortInfo(const std::string& path);

// "COM3: /dev/ttyUSB0, QinHeng USB Serial 1a86:7523, serial A1B2, by adapter name": what the port
// list says of an entry, leaving out what is unknown, and which kind of name keeps it.
std::string DescribePort(const SComPort& port, const SPortInfo& info, const SPortName& name = {});

// The names of the ports present (ports[i] described by infos[i]). The stable name is an
// adapter's own only when no other adapter present has it and its link leads to this one: two
// adapters of one make without serial numbers share it, and the link leads to one of them. Such
// adapters go by their USB port instead; where that does not tell them apart either, by their
// device path, and no pin can follow them. A device without either link (a built-in UART, a
// pseudo-terminal) goes by its path, which is as stable as it gets.
std::vector<SPortName> NamePorts(const std::vector<SComPort>& ports, const std::vector<SPortInfo>& infos);

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
