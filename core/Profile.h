#pragma once
// The profile (INI) file: [section] lines, each followed by key=value lines. Section and key names
// match without regard to case; a read gives at most 255 characters; a write replaces one value or
// adds what is missing and keeps every other line as it was. Writes are atomic: a temporary file
// beside the real one, flushed to disk, then renamed over it, so a crash never leaves half a file.
// A write goes through a symbolic link to the file it names, keeps the file's owner and mode, and
// rewrites the file where it is when its folder takes no temporary file.
#include <string>
#include <string_view>

namespace profile {

constexpr size_t kMaxValueChars = 255;

// The value of key in section, or def when the file, the section or the key is missing.
std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view def = {});

enum class EWriteResult {
    Stored,       // the value is in the file (also when it was there already)
    Failed,       // the file cannot be written: read-only, not a plain file, its folder is missing
    Unreadable,   // the file exists but cannot be read: rewriting it would lose every other line
};

// Sets key in section to value, creating the file, the section or the key as needed. Nothing on
// disk changes unless the result is Stored.
EWriteResult WriteString(const std::string& file, std::string_view section, std::string_view key,
                         std::string_view value);

// The same on text in memory (what the two above do between reading and writing the file).
std::string LookupInText(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view def = {});
std::string UpdateText(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value);

} // namespace profile
