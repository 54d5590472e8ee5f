#pragma once
// The profile (INI) file: [section] lines, each followed by key=value lines. Section and key names
// match without regard to case; a read gives at most 255 characters; a write replaces one value or
// adds what is missing and keeps every other line as it was. Writes are atomic: a temporary file
// beside the real one, flushed to disk, then renamed over it, so a crash never leaves half a file.
#include <string>
#include <string_view>

namespace profile {

constexpr size_t kMaxValueChars = 255;

// The value of key in section, or def when the file, the section or the key is missing.
std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view def = {});

// Sets key in section to value, creating the file, the section or the key as needed.
// False when the file cannot be written (nothing on disk changes then).
bool WriteString(const std::string& file, std::string_view section, std::string_view key,
                 std::string_view value);

// The same on text in memory (what the two above do between reading and writing the file).
std::string LookupInText(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view def = {});
std::string UpdateText(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value);

} // namespace profile
