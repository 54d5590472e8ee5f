#pragma once
// Lock files of the kind serial programs leave for each other: "LCK..<device name>" in a lock
// folder, holding the owner's process id. Reading whether a live process holds one, and holding
// one of our own while a port is open, so that those programs see the port is taken.
#include <atomic>
#include <string>
#include <vector>

// The folders searched and written, in order ("/run/lock/" and "/var/lock/" unless overridden).
void SetLockDirsOverride(const std::vector<std::string>& dirs);

// True when a lock file "LCK..name" names a process that is alive; one of a process that is gone
// is stale and does not count.
bool HasLiveLockFile(const std::string& name);

// Our own lock file for one device, from Take until Release or destruction.
class CLockFile {
public:
    CLockFile() = default;
    ~CLockFile() { Release(); }
    CLockFile(const CLockFile&) = delete;
    CLockFile& operator=(const CLockFile&) = delete;

    // Writes "LCK..name" with this process's id (ten characters, right-aligned, and a line feed)
    // in the first lock folder that lets us write; a stale one is replaced. False when a live
    // process already holds one. Where no folder may be written, true with nothing held.
    bool Take(const std::string& name);
    // Removes the file while it is still ours. Any thread may call it, more than once.
    void Release();

private:
    std::string m_strPath;
    std::atomic<bool> m_fHeld{false};
};
