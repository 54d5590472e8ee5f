// STUB, for builds without a Windows serial backend (serial/win32/ absent): no port is listed and
// every open fails with "file not found", so the panel runs and shows its connection error. The
// real port is SerialWnd.cpp; the build takes this file only when serial/win32/ is missing.
#include "win32/SerialWnd.h"

namespace {
constexpr std::int32_t kNoPort = 2;   // ERROR_FILE_NOT_FOUND
}

struct CSerialWnd::SImpl {};

std::vector<SComName> ListPanelPorts() { return {}; }

CSerialWnd::CSerialWnd() = default;
CSerialWnd::~CSerialWnd() = default;
std::int32_t CSerialWnd::Open(const std::string&, void*, std::intptr_t) { return kNoPort; }
std::int32_t CSerialWnd::ConfigureLine(std::uint32_t) { return kNoPort; }
std::int32_t CSerialWnd::WriteText(const char*) { return kNoPort; }
std::int32_t CSerialWnd::Read(char*, std::uint32_t, std::uint32_t& count)
{
    count = 0;
    return kNoPort;
}
void CSerialWnd::PurgeReceived() {}
void CSerialWnd::Purge() {}
void CSerialWnd::Close() {}
bool CSerialWnd::IsOpen() const { return false; }
