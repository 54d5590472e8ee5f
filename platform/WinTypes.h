#pragma once
// The scalar types, flags and result codes that the panel and its serial classes were written
// against, spelled out without any OS header so that every layer can share them.
#include <cstdint>

#ifdef _WIN32
// The system's own types, which <windows.h> declares again: a file may include both, in either
// order. The constants below are macros there, hence the guards.
using LONG = long;
using DWORD = unsigned long;
using WORD = unsigned short;
using BYTE = unsigned char;
#else
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
#endif
using BOOL = int;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif
#ifndef INFINITE
constexpr DWORD INFINITE = 0xFFFFFFFFu;
#endif

// Result codes produced by the serial classes themselves; anything else is an errno value (on
// Windows, the system's own code).
#ifndef ERROR_SUCCESS
constexpr LONG ERROR_SUCCESS = 0;
#endif
#ifndef ERROR_INVALID_FUNCTION
constexpr LONG ERROR_INVALID_FUNCTION = 1;
#endif
#ifndef ERROR_INVALID_HANDLE
constexpr LONG ERROR_INVALID_HANDLE = 6;
#endif
#ifndef ERROR_ALREADY_INITIALIZED
constexpr LONG ERROR_ALREADY_INITIALIZED = 1247;
#endif
#ifndef ERROR_TIMEOUT
constexpr LONG ERROR_TIMEOUT = 1460;
#endif
#ifndef E_INVALIDARG
constexpr LONG E_INVALIDARG = static_cast<LONG>(0x80070057u);
#endif
