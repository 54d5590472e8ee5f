#pragma once
// What Windows says of its COM ports, for the port list's tool tip and accessible description.
#include <string>

#include "serial/ComPorts.h"

// n of "COMn" (any case, n from 1 to 999 without leading zeros), or 0 for any other name.
int ComPortNumber(const std::string& name);

// "COM3: USB-SERIAL CH340 (COM3), \Device\Serial2": the device's friendly name where SetupAPI
// knows one, and the kernel's name of the device from the registry's map.
std::string DescribeComPort(const SComPort& port);
