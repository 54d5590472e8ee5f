#include "platform/win32/Files.h"

#include <windows.h>
#include <shlobj.h>

#include "core/Profile.h"
#include "platform/win32/Text.h"

namespace files {
namespace {

std::wstring ExecutableDir()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Tried by creating and deleting a file: folder attributes say nothing about access rights.
bool MayWriteIn(const std::wstring& dir)
{
    const std::wstring probe = dir + L"TarnikS.write-test";
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

std::wstring AppDataDir()
{
    PWSTR base = nullptr;
    std::wstring dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &base)) && base) {
        dir = std::wstring(base) + L"\\TarnikS\\";
        CreateDirectoryW(dir.c_str(), nullptr);
    }
    CoTaskMemFree(base);
    return dir;
}

// The whole file, or false when it exists but cannot be read.
bool ReadWhole(const std::wstring& path, std::string& content, bool& exists)
{
    content.clear();
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    exists = h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND;
    if (h == INVALID_HANDLE_VALUE)
        return !exists;
    char buf[8192];
    DWORD n = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr) != FALSE) && n > 0)
        content.append(buf, n);
    CloseHandle(h);
    return ok;
}

bool WriteWhole(HANDLE h, std::string_view data)
{
    while (!data.empty()) {
        DWORD n = 0;
        if (!WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr) || n == 0)
            return false;
        data.remove_prefix(n);
    }
    return true;
}

std::wstring TraceLogPath() { return DataDir() + L"TarnikS_log.txt"; }

std::string ToCodePage936(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The user's short date, and the time with seconds unless it is exactly midnight.
std::wstring TimeStamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    now.wMilliseconds = 0;
    wchar_t date[128] = L"";
    wchar_t time[128] = L"";
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 128))
        return L"Invalid DateTime";
    if (now.wHour == 0 && now.wMinute == 0 && now.wSecond == 0)
        return date;
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, 128))
        return L"Invalid DateTime";
    return std::wstring(date) + L" " + time;
}

void AppendToLog(const std::wstring& message)
{
    std::wstring entry = TimeStamp() + L"\t" + message + L"\n";
    std::wstring crlf;
    for (wchar_t c : entry) {
        if (c == L'\n')
            crlf += L'\r';
        crlf += c;
    }
    const HANDLE h = CreateFileW(TraceLogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    WriteWhole(h, ToCodePage936(crlf));
    CloseHandle(h);
}

} // namespace

const std::wstring& DataDir()
{
    static const std::wstring dir = [] {
        const std::wstring exe = ExecutableDir();
        if (!exe.empty() && MayWriteIn(exe))
            return exe;
        const std::wstring appData = AppDataDir();
        return appData.empty() ? exe : appData;
    }();
    return dir;
}

std::wstring ConfigPath() { return DataDir() + L"System.cfg"; }

std::string ReadSetting(std::string_view section, std::string_view key)
{
    std::string content;
    bool exists = false;
    if (!ReadWhole(ConfigPath(), content, exists))
        return {};
    return profile::LookupInText(content, section, key);
}

bool WriteSetting(std::string_view section, std::string_view key, std::string_view value)
{
    const std::wstring path = ConfigPath();
    std::string content;
    bool exists = false;
    if (!ReadWhole(path, content, exists)) {
        WriteTraceLog("System.cfg not rewritten: it cannot be read (" + std::string(key) + " in [" +
                      std::string(section) + "] not stored)");
        return false;
    }
    const std::string updated = profile::UpdateText(content, section, key, value);
    if (exists && updated == content)
        return true;
    const std::wstring temp = path + L".tmp";
    const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool written = WriteWhole(h, updated) && FlushFileBuffers(h);
    CloseHandle(h);
    if (!written || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

void ClearTraceLog()
{
    const HANDLE h = CreateFileW(TraceLogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

void WriteTraceBanner()
{
    AppendToLog(L"\n\n******************************************\n\n");
    AppendToLog(L"TarnikS Log Trace " + TimeStamp() + L"\n\n");
}

void WriteTraceLog(std::string_view message) { AppendToLog(FromLatin1(message)); }

} // namespace files
