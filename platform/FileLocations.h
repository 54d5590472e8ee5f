#pragma once
// Where the panel keeps System.cfg, TarnikS_log.txt and the ports/ folder: beside the executable
// when run from a build tree, or in $XDG_CONFIG_HOME/TarnikS (default ~/.config/TarnikS) when the
// executable's folder is not writable or is an installed one (below /usr/ or /opt/, or a
// .../usr/bin/ folder of an unpacked package).
#include <string>

namespace platform {

// Creates a folder and every missing folder above it; true when it exists afterwards.
bool MakeDirs(const std::string& dir);

// The executable's own full path (/proc/self/exe); empty if it cannot be read.
std::string ExecutablePath();

// True for folders an installed program lives in, which it never writes to: below /usr/ or /opt/,
// or ending in /usr/bin/ or /usr/local/bin/ (the package unpacked somewhere else).
bool IsSystemDir(const std::string& dir);

// The rule behind DataDir(), without touching the disk or the environment: exeDir is the
// executable's folder (empty if unknown), the two strings the values of XDG_CONFIG_HOME and HOME
// (empty when unset). The result ends in '/'.
std::string DataDirFor(const std::string& exeDir, bool exeDirWritable, const std::string& xdgConfigHome,
                       const std::string& home);

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
