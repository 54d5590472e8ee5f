#pragma once
// Pinning a COM number to an adapter: the entry ports/COMn, a symbolic link to the adapter's
// stable name, keeps that number with it whatever order the devices appear in.
#include <string>
#include <vector>

// True when ports/COMn does not exist in any form, so that a pin would take nothing away.
bool CanPinPort(int n);

// True when ports/COMn is a symbolic link that leads to device (a pin, ours or hand-made).
bool IsPortPinnedTo(int n, const std::string& device);

// Writes ports/COMn as a link to target; false when an entry is there already or the write fails.
bool PinPort(int n, const std::string& target);

// Removes ports/COMn when it is a link to device; a regular file or a link elsewhere stays.
bool UnpinPort(int n, const std::string& device);

// The numbers up to nLast whose ports/ entry is a link that leads nowhere now: a pin whose
// adapter is away.
std::vector<int> AbsentPins(int nLast = 16);

// Removes ports/COMn when it is a link that leads nowhere.
bool UnpinAbsentPort(int n);
