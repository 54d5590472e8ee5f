#pragma once
// COM names on this platform. COMn is, first, an entry "COMn" in the ports/ folder (a symbolic
// link an operator or the stage simulator made); otherwise the serial devices present fill the
// numbers no ports/ entry takes, in ascending order: ttyACM*, then ttyUSB*, then ttyS*, each in
// numeric order. A device that a ports/ entry already names is not counted twice, and a ttyS*
// node whose UART the kernel did not find does not count as present.
//
// On Windows the names are the system's own: COMn is present when the registry's map of serial
// devices (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) has it, and its device is "\\.\COMn". Whether
// another program holds a port shows only when it is opened, so none is seen as in use there.
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include "serial/posix/LockFile.h"
#endif

struct SComPort {
    int nNumber = 0;          // n of "COMn"
    std::string strDevice;    // the device behind it, links followed
};

// The device path for "COMn", or "" when nothing answers to that name.
std::string ResolveComPort(int n);

// Every COM number from 1 to nLast that resolves, in ascending order (held devices included).
std::vector<SComPort> MapComPorts(int nLast = 16);

// True when another program is known to use the device, found out without opening it (an open
// resets many controller boards): a flock or POSIX lock on the device node, a lock file
// "LCK..<name>" of a live process in the lock folders, or another process that has the node open
// for writing. What cannot be seen (another user's processes) counts as free: the exclusive open
// at Connect has the final word.
bool IsDeviceInUse(const std::string& path);

// Of the paths given, those whose device is in use as IsDeviceInUse tells, with one look at the
// process table for all of them.
std::set<std::string> DevicesInUse(const std::vector<std::string>& paths);

// The ports from COM1 to COMnLast whose device is present and not known to be in use, as the
// panel's port list shows them. No device is opened.
std::vector<SComPort> ListComPorts(int nLast = 16);
