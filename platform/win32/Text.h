#pragma once
// The session's text is 8-bit (Latin-1, as the line carries it); the window's is UTF-16.
#include <string>
#include <string_view>

inline std::wstring FromLatin1(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text)
        out.push_back(static_cast<wchar_t>(c));
    return out;
}

// What Latin-1 cannot carry becomes '?': no number or setting the session reads has such a character.
inline std::string ToLatin1(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}
