#pragma once
// Where the panel keeps System.cfg, TarnikS_log.txt and the ports/ folder: beside the executable
// when run from a build tree, or in $XDG_CONFIG_HOME/TarnikS (default ~/.config/TarnikS) when the
// executable's folder is not writable, is writable by everyone, or is an installed one (below /usr/
// or /opt/, or a .../usr/bin/ folder of an unpacked package). The home folder is HOME, or the
// password database's entry when HOME is unset. Never a folder other users may write: they could
// plant ports/COMn links or a System.cfg there. Without any home folder the files go to a folder of
// this user's alone in /tmp (/tmp/TarnikS-<uid>/, 0700, checked to be ours and nobody else's);
// when that name is taken, to a fresh one for this run only; when not even that can be made,
// nowhere: every write fails and every setting reads as its default.
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
// executable's folder (empty if unknown), exeDirWritable what MayKeepFilesIn says of it, the two
// strings XDG_CONFIG_HOME and the home folder (empty when unknown). The result ends in '/'; it is
// empty when no home folder is known (then PrivateDirIn decides).
std::string DataDirFor(const std::string& exeDir, bool exeDirWritable, const std::string& xdgConfigHome,
                       const std::string& home);

// True when we may write in dir and not everyone may.
bool MayKeepFilesIn(const std::string& dir);

// HOME when it is set (to an absolute path), else this user's entry in the password database;
// empty when neither names a folder.
std::string HomeDir();

// parent/TarnikS-<uid>/, created 0700 when missing and used only when it is a folder (not a link)
// that we own and that nobody else may write; else a fresh folder of this run alone in parent
// (mkdtemp); empty when neither can be had. Ends in '/'.
std::string PrivateDirIn(const std::string& parent);

// The rule applied with this process's environment and password entry for an executable in
// exeDir (empty if unknown); creates the folder unless it is exeDir. Ends in '/'.
std::string DecideDataDir(const std::string& exeDir);

// The data folder of the running executable, decided once per process.
std::string DataDir();

// Tests and tools point the data folder somewhere else before anything uses it (or again later).
void SetDataDirOverride(const std::string& dir);

// DataDir() + "ports/": COMn entries live here.
std::string PortsDir();

// The folder below which the serial devices are looked for ("/dev/" unless overridden).
std::string DeviceDir();
void SetDeviceDirOverride(const std::string& dir);

} // namespace platform
