#pragma once
// Where the panel keeps System.cfg, TarnikS_log.txt and the ports/ folder: beside the executable,
// or in $XDG_CONFIG_HOME/TarnikS (default ~/.config/TarnikS) when that folder is not writable.
#include <string>

namespace platform {

// The executable's own full path (/proc/self/exe); empty if it cannot be read.
std::string ExecutablePath();

// The data folder, decided once per process and ending in '/'. Created when it is the XDG one.
std::string DataDir();

// Tests and tools point the data folder somewhere else before anything uses it (or again later).
void SetDataDirOverride(const std::string& dir);

// DataDir() + "ports/": COMn entries live here.
std::string PortsDir();

// The folder below which the serial devices are looked for ("/dev/" unless overridden).
std::string DeviceDir();
void SetDeviceDirOverride(const std::string& dir);

} // namespace platform
