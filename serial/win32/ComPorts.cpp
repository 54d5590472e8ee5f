// COM names on Windows: the registry's map of serial devices, and what SetupAPI calls each port.
#include "serial/ComPorts.h"

#include <windows.h>
#include <setupapi.h>
// The ports class's GUID is defined here, not looked for in a library.
#include <initguid.h>
#include <devguid.h>

#include <algorithm>
#include <map>

#include "serial/win32/PortNames.h"

namespace {

std::string Narrow(const wchar_t* text)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

// The SERIALCOMM map: COM number -> the kernel's name of the device ("\Device\Serial0").
std::map<int, std::string> ReadSerialComm()
{
    std::map<int, std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD nameLen = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG r = ::RegEnumValueW(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        if (const int n = ComPortNumber(Narrow(data)))
            ports.emplace(n, Narrow(name));
    }
    ::RegCloseKey(key);
    return ports;
}

// SetupAPI's friendly name of every port device present that says which COM name it has.
std::map<int, std::string> ReadFriendlyNames()
{
    std::map<int, std::string> names;
    const HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t portName[64] = {};
        DWORD size = sizeof portName - sizeof(wchar_t), type = 0;
        const bool fHasName = ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName), &size) == ERROR_SUCCESS
            && type == REG_SZ;
        ::RegCloseKey(key);
        const int n = fHasName ? ComPortNumber(Narrow(portName)) : 0;
        wchar_t friendly[256] = {};
        if (n && ::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                     reinterpret_cast<BYTE*>(friendly), sizeof friendly - sizeof(wchar_t), nullptr))
            names.emplace(n, Narrow(friendly));
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return names;
}

} // namespace

int ComPortNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6 || _strnicmp(name.c_str(), "COM", 3) != 0
        || name.find_first_not_of("0123456789", 3) != std::string::npos || name[3] == '0')
        return 0;
    return std::stoi(name.substr(3));
}

std::string ResolveComPort(int n)
{
    const auto ports = ReadSerialComm();
    return ports.count(n) ? "\\\\.\\COM" + std::to_string(n) : std::string();
}

std::vector<SComPort> MapComPorts(int nLast)
{
    std::vector<SComPort> list;
    for (const auto& [n, kernelName] : ReadSerialComm())
        if (n <= nLast)
            list.push_back({n, "\\\\.\\COM" + std::to_string(n)});
    return list;
}

// Windows tells whether another program holds a port only to the one that opens it.
bool IsDeviceInUse(const std::string& /*path*/) { return false; }

std::set<std::string> DevicesInUse(const std::vector<std::string>& /*paths*/) { return {}; }

std::vector<SComPort> ListComPorts(int nLast) { return MapComPorts(nLast); }

std::string DescribeComPort(const SComPort& port)
{
    std::string text = "COM" + std::to_string(port.nNumber) + ": ";
    const auto friendly = ReadFriendlyNames();
    const auto it = friendly.find(port.nNumber);
    if (it != friendly.end())
        text += it->second + ", ";
    const auto ports = ReadSerialComm();
    const auto kernel = ports.find(port.nNumber);
    text += kernel != ports.end() ? kernel->second : port.strDevice;
    return text;
}
