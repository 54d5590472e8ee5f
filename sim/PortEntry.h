#pragma once
// A COMn entry in the ports/ folder that points at the simulator's device for as long as the
// object lives: the panel finds the simulated stage among its COM ports through it.
#include <string>

namespace sim {

class CPortEntry {
public:
    CPortEntry() = default;
    ~CPortEntry() { Remove(); }
    CPortEntry(const CPortEntry&) = delete;
    CPortEntry& operator=(const CPortEntry&) = delete;

    // Links portsDir/COMn to `device`, creating the folder if needed. comNumber 0 takes the first
    // free n in 1..16. An entry left behind by a simulator that died (a link into /dev/pts/ whose
    // device no longer exists) counts as free; any other entry is never touched. Returns false
    // with errno set when no entry could be made.
    bool Create(const std::string& portsDir, int comNumber, const std::string& device);

    // Removes the entry, unless someone has since replaced it with a link of their own.
    void Remove();

    int ComNumber() const { return m_nCom; }
    const std::string& Path() const { return m_strPath; }

private:
    bool TryLink(const std::string& path, const std::string& device);

    int m_nCom = 0;
    std::string m_strPath;
    std::string m_strDevice;
};

} // namespace sim
