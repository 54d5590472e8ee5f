#pragma once
// A dialog template as a table: the dialog's caption, size and font, and every control with its ID,
// kind, text, position and size in dialog units and its style bits. The dialog that uses this layer
// owns its tables and hands them in.
#include <cstddef>
#include <span>

#include "platform/WinTypes.h"

enum class EControlKind {
    GroupBox,
    StaticText,
    StaticIcon,      // text names the icon resource number, e.g. "132"
    PushButton,      // style carries the button type (BS_PUSHBUTTON, BS_DEFPUSHBUTTON, ...)
    AutoCheckBox,
    DropDownList,    // a combo box whose list is chosen from
    DropDownCombo,   // an editable combo box
    HScrollBar,
    VScrollBar,
};

// Style bits, with the values the templates were first written with.
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_DISABLED = 0x08000000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD BS_TYPEMASK = 0x0000000Fu;
constexpr DWORD BS_PUSHBUTTON = 0x0u;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1u;
constexpr DWORD BS_CHECKBOX = 0x2u;
constexpr DWORD BS_AUTOCHECKBOX = 0x3u;
constexpr DWORD BS_3STATE = 0x5u;
constexpr DWORD BS_AUTO3STATE = 0x6u;
constexpr DWORD BS_OWNERDRAW = 0xBu;
constexpr DWORD SS_CENTER = 0x1u;
constexpr DWORD SS_SUNKEN = 0x1000u;

// The IDs every dialog shares. Macros, as the system's headers and res/Resource.h give them too:
// whichever comes first defines them, with the same values.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

struct SControlTemplate {
    int id;
    EControlKind kind;
    const char* text;
    int x, y, cx, cy;   // dialog units
    DWORD style;
};

struct SDialogTemplate {
    int id;
    const char* caption;
    int cx, cy;         // client size in dialog units
    const char* fontFamily;
    int fontPointSize;
    std::span<const SControlTemplate> controls;
};
