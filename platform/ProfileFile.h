#pragma once
// The profile (INI) file on disk; its text is read and edited by core/Profile.h. Writes are atomic:
// a temporary file beside the real one, flushed to disk, then renamed over it, so a crash never
// leaves half a file. A write goes through a symbolic link to the file it names, keeps the file's
// owner and mode, and rewrites the file where it is when its folder takes no temporary file.
#include <string>
#include <string_view>

#include "core/Profile.h"

namespace profile {

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

} // namespace profile
