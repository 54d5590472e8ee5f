#pragma once
// The far end of the simulator's line for tests: a CSerial client that collects what arrives and
// waits for it with a deadline, and a scratch data folder (with its ports/) that cleans itself up.
// Header-only on purpose: the simulator itself never needs a client.
#include "platform/FileLocations.h"
#include "serial/Serial.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sim {

// A fresh temporary data folder that the platform layer (and so ports/) points at while it lives.
class CScratchDataDir {
public:
    CScratchDataDir()
    {
        char pattern[] = "/tmp/tarnik-sim-XXXXXX";
        if (const char* made = ::mkdtemp(pattern))
            m_strDir = std::string(made) + "/";
        platform::SetDataDirOverride(m_strDir);
    }
    ~CScratchDataDir()
    {
        std::error_code ignored;
        if (!m_strDir.empty())
            std::filesystem::remove_all(m_strDir, ignored);
    }
    CScratchDataDir(const CScratchDataDir&) = delete;
    CScratchDataDir& operator=(const CScratchDataDir&) = delete;

    const std::string& Dir() const { return m_strDir; }
    std::string PortsDir() const { return m_strDir + "ports/"; }

private:
    std::string m_strDir;
};

class CSimClient {
public:
    // Opens the port as the panel does: 115200 8N1, reads that return at once.
    LONG Open(const std::string& device)
    {
        LONG rc = m_serial.Open(device, 0, 0, false);
        if (rc == 0)
            rc = m_serial.ConfigureLine(115200, 8, 0, 0);
        if (rc == 0)
            rc = m_serial.ConfigureReadMode(CSerial::EReadNonBlocking);
        return rc;
    }
    void Close() { m_serial.Close(); }
    CSerial& Serial() { return m_serial; }

    LONG Send(const std::string& text) { return m_serial.WriteText(text.c_str()); }

    // Reads until `done(received text)` holds or the deadline passes; returns whether it held.
    bool ReadUntil(const std::function<bool(const std::string&)>& done, int timeoutMs = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            Pump();
            if (done(m_strReceived))
                return true;
            if (std::chrono::steady_clock::now() >= deadline || m_lReadError != 0)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // The next `count` complete lines (without "\n"; a "\r" stays), taken out of what was received;
    // fewer if the deadline passes first.
    std::vector<std::string> Lines(size_t count, int timeoutMs = 5000)
    {
        ReadUntil([count](const std::string& text) { return CountLines(text) >= count; }, timeoutMs);
        std::vector<std::string> lines;
        while (lines.size() < count) {
            const auto eol = m_strReceived.find('\n');
            if (eol == std::string::npos)
                break;
            lines.push_back(m_strReceived.substr(0, eol));
            m_strReceived.erase(0, eol + 1);
        }
        return lines;
    }

    // Sends one line and takes the `count` lines of its answer.
    std::vector<std::string> Ask(const std::string& line, size_t count)
    {
        Send(line + "\n");
        return Lines(count);
    }

    // Everything received and not yet taken; Take() also forgets it.
    const std::string& Received() { Pump(); return m_strReceived; }
    std::string Take() { Pump(); return std::exchange(m_strReceived, {}); }

    // The line has hung up: a read reported the device gone.
    bool WaitForHangup(int timeoutMs = 5000)
    {
        ReadUntil([](const std::string&) { return false; }, timeoutMs);
        return m_lReadError != 0;
    }
    LONG ReadError() const { return m_lReadError; }

    static size_t CountLines(const std::string& text)
    {
        size_t n = 0;
        for (const char c : text)
            n += c == '\n';
        return n;
    }

private:
    void Pump()
    {
        char buf[4096];
        for (;;) {
            DWORD count = 0;
            const LONG rc = m_serial.Read(buf, sizeof buf, &count);
            if (rc != 0) {
                m_lReadError = rc;
                return;
            }
            if (count == 0)
                return;
            m_strReceived.append(buf, count);
        }
    }

    CSerial m_serial;
    std::string m_strReceived;
    LONG m_lReadError = 0;
};

} // namespace sim
