#pragma once
// COM names on this platform. COMn is, first, an entry "COMn" in the ports/ folder (a symbolic
// link an operator or the stage simulator made); otherwise the serial devices present fill the
// numbers no ports/ entry takes, in ascending order: ttyACM*, then ttyUSB*, then ttyS*, each in
// numeric order. A device that a ports/ entry already names is not counted twice, and a ttyS*
// node whose UART the kernel did not find does not count as present.
#include <string>
#include <vector>

struct SComPort {
    int nNumber = 0;          // n of "COMn"
    std::string strDevice;    // the device behind it, links followed
};

// The device path for "COMn", or "" when nothing answers to that name.
std::string ResolveComPort(int n);

// Every COM number from 1 to nLast that resolves, in ascending order (held devices included).
std::vector<SComPort> MapComPorts(int nLast = 16);

// Opens the device as the port would (exclusive, flock(LOCK_EX | LOCK_NB)) and closes it again:
// true when nobody else holds it and it is a terminal.
bool TrialOpenExclusive(const std::string& path);

// The ports from COM1 to COMnLast that can be opened now, as the panel's port list shows them.
std::vector<SComPort> ListComPorts(int nLast = 16);
