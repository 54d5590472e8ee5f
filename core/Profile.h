#pragma once
// The text of a profile (INI) file: [section] lines, each followed by key=value lines. Section and
// key names match without regard to case; a read gives at most 255 characters; a write replaces
// one value or adds what is missing and keeps every other line as it was. No file in sight: the
// file's reading and writing is platform/ProfileFile.h.
#include <cstddef>
#include <string>
#include <string_view>

namespace profile {

constexpr std::size_t kMaxValueChars = 255;

// The value of key in section of content, or def when the section or the key is missing.
std::string LookupInText(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view def = {});
// content with key in section set to value, the section or the key added as needed.
std::string UpdateText(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value);

} // namespace profile
