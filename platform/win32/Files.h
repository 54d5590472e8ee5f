#pragma once
// Where the Windows panel keeps System.cfg and TarnikS_log.txt, and their reading and writing: the
// executable's folder when we may write there, else %APPDATA%\TarnikS\. The settings' text is
// core/Profile.h's model; a write replaces the file in one step, so a crash never leaves half of it.
#include <string>
#include <string_view>

namespace files {

// The folder, decided once; ends in a backslash.
const std::wstring& DataDir();
std::wstring ConfigPath();   // DataDir() + "System.cfg"

// A setting of System.cfg as 8-bit text, empty when the file, section or key is missing.
std::string ReadSetting(std::string_view section, std::string_view key);
// False when nothing changed on disk: the file could not be written, or could not be read (then
// rewriting it would lose every other line).
bool WriteSetting(std::string_view section, std::string_view key, std::string_view value);

// The trace log: emptied at start, then entries of "<time stamp>\t<message>" with CR LF line ends,
// in code page 936. Every failure is swallowed: the log never stops the panel.
void ClearTraceLog();
void WriteTraceBanner();
void WriteTraceLog(std::string_view message);

} // namespace files
