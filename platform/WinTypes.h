#pragma once
// The scalar types, flags and result codes that the panel and its serial classes were written
// against, spelled out without any OS header so that every layer can share them.
#include <cstdint>

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

// Result codes produced by the serial classes themselves; anything else is an errno value.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_INVALID_FUNCTION = 1;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_ALREADY_INITIALIZED = 1247;
constexpr LONG ERROR_TIMEOUT = 1460;
constexpr LONG E_INVALIDARG = static_cast<LONG>(0x80070057u);
