// The about box (100) and the control panel (102), control by control, in creation order (which is
// also the tab order). Positions and sizes are dialog units.
#include "qt/platform/DialogTemplate.h"
#include "qt/res/Resources.h"
#include "res/Resource.h"

namespace {

using K = EControlKind;
constexpr DWORD V = WS_VISIBLE;
constexpr DWORD T = WS_TABSTOP;

constexpr SControlTemplate kAboutControls[] = {
    {IDC_ABOUT_ICON, K::StaticIcon, "129", 14, 14, 21, 20, V},
    {IDC_ABOUT_NAME, K::StaticText, "TarnikS, Version 1.0.2", 42, 14, 114, 8, V},
    {IDC_ABOUT_LINE2, K::StaticText, "Jogs, homes, parks and measures a three-axis stage", 42, 26, 170, 8, V},
    {IDOK, K::PushButton, "OK", 163, 41, 50, 14, V | T | BS_DEFPUSHBUTTON},
};

constexpr SControlTemplate kPanelControls[] = {
    {IDC_STATIC, K::GroupBox, "Connection", 7, 7, 225, 195, V},
    {IDC_ICON_CONN, K::StaticIcon, "132", 211, 1, 20, 20, V},
    {IDC_STATIC_CONN, K::StaticText, "Disconnected", 144, 4, 66, 13, V},
    {IDC_BTN_STATUS, K::PushButton, "Button1", 66, 0, 62, 12, T | BS_PUSHBUTTON},
    {IDC_COMBO_PORT, K::DropDownList, "", 57, 16, 63, 33, V | T},
    {IDC_CHECK_ONTOP, K::AutoCheckBox, "Always on top", 128, 16, 71, 12, V | T | BS_AUTOCHECKBOX},
    {IDC_STATIC_BAUD, K::StaticText, "Baud rate", 14, 32, 34, 11, V},
    {IDC_COMBO_BAUD, K::DropDownList, "", 57, 32, 63, 33, V | T},
    {IDC_BTN_CONNECT, K::PushButton, "Connect", 128, 32, 56, 12, V | T | BS_PUSHBUTTON},
    {IDC_BTN_REFRESH, K::PushButton, "Refresh", 185, 32, 40, 12, V | T | BS_PUSHBUTTON},
    {IDC_STATIC_UNIT, K::StaticText, "Unit", 14, 50, 17, 11, V},
    {IDC_STATIC_MM, K::StaticText, "Millimeter", 57, 48, 41, 12, V},
    {IDC_CHECK_RETAIN, K::AutoCheckBox, "Retain last position", 128, 48, 85, 12, V | T | BS_AUTOCHECKBOX},
    {IDC_STATIC_XYDIST, K::StaticText, "X, Y Distance", 14, 63, 46, 12, V},
    {IDC_COMBO_XYDIST, K::DropDownCombo, "", 63, 63, 63, 14, V | T},
    {IDC_STATIC_XYSPEED, K::StaticText, "Speed", 134, 64, 25, 11, V},
    {IDC_COMBO_XYSPEED, K::DropDownCombo, "", 162, 63, 63, 33, V | T},
    {IDC_STATIC_ZDIST, K::StaticText, "Z Distance", 14, 80, 39, 12, V},
    {IDC_COMBO_ZDIST, K::DropDownCombo, "", 63, 80, 63, 14, V | T},
    {IDC_STATIC_ZSPEED, K::StaticText, "Speed", 134, 81, 25, 11, V},
    {IDC_COMBO_ZSPEED, K::DropDownCombo, "", 162, 80, 63, 33, V | T | WS_DISABLED},
    {IDC_BTN_HOME, K::PushButton, "Home", 24, 100, 90, 15, V | T | BS_PUSHBUTTON},
    {IDC_BTN_PARK, K::PushButton, "Park", 126, 100, 90, 15, V | T | BS_PUSHBUTTON},
    {IDC_BTN_YPLUS, K::PushButton, "+ Y", 86, 119, 23, 20, V | T | BS_PUSHBUTTON},
    {IDC_BTN_YMINUS, K::PushButton, "- Y", 86, 142, 23, 20, V | T | BS_PUSHBUTTON},
    {IDC_BTN_XMINUS, K::PushButton, "- X", 55, 131, 23, 20, V | T | BS_PUSHBUTTON},
    {IDC_BTN_XPLUS, K::PushButton, "+ X", 117, 131, 23, 20, V | T | BS_PUSHBUTTON},
    {IDC_BTN_ZPLUS, K::PushButton, "+ Z", 161, 119, 23, 20, V | T | BS_PUSHBUTTON},
    {IDC_BTN_ZMINUS, K::PushButton, "- Z", 161, 142, 23, 20, V | T | BS_PUSHBUTTON},
    {IDC_SCROLL_Y, K::VScrollBar, "", 36, 119, 11, 61, V | T},
    {IDC_SCROLL_Z, K::VScrollBar, "", 192, 119, 11, 61, V | T},
    {IDC_SCROLL_X, K::HScrollBar, "", 69, 170, 71, 10, V | T},
    {IDC_STATIC, K::StaticText, "X", 49, 167, 16, 12, V},
    {IDC_STATIC, K::StaticText, "Y", 14, 147, 16, 12, V},
    {IDC_STATIC, K::StaticText, "Z", 207, 147, 16, 12, V},
    {IDC_STATIC_CURPOS, K::StaticText, "Current Position", 14, 184, 147, 12, V},
    {IDC_BTN_SETPARK, K::PushButton, "Set Park", 172, 181, 60, 15, V | T | BS_PUSHBUTTON},
    {IDC_BTN_MORELESS, K::PushButton, "More >>", 99, 206, 47, 12, V | T | BS_PUSHBUTTON},
    {IDC_STATIC_MARKER, K::StaticText, "Collapsed", 148, 214, 32, 8, 0},
    {IDC_STATIC, K::GroupBox, "", 7, 224, 225, 122, V},
    {IDC_STATIC_DEPTHTITLE, K::StaticText, "Depth Measurement", 72, 232, 94, 8, V},
    {IDC_BTN_START, K::PushButton, "Start", 45, 245, 43, 14, V | T | BS_PUSHBUTTON},
    {IDC_BTN_END, K::PushButton, "End", 97, 245, 43, 14, V | T | BS_PUSHBUTTON},
    {IDC_BTN_RESET, K::PushButton, "Reset", 146, 245, 43, 14, V | T | BS_PUSHBUTTON},
    {IDC_STATIC_XYZ, K::StaticText, "X, Y, Z", 94, 266, 49, 11, V},
    {IDC_STATIC_STARTPOINT, K::StaticText, "Start Point", 14, 280, 218, 16, V | SS_SUNKEN},
    {IDC_STATIC_ENDPOINT, K::StaticText, "End Point", 14, 300, 218, 16, V | SS_SUNKEN},
    {IDC_STATIC_DEPTHLABEL, K::StaticText, "Depth Distance", 14, 320, 49, 11, V},
    {IDC_STATIC_DEPTH, K::StaticText, "Static", 84, 320, 73, 11, V | SS_SUNKEN},
    {IDC_STATIC_LESSTEXT, K::StaticText, "<< Less", 96, 336, 44, 8, 0},
    {IDC_STATIC_VERSION, K::StaticText, "V.1.0.2", 193, 346, 39, 13, V | SS_CENTER},
};

constexpr SDialogTemplate kTemplates[] = {
    {IDD_ABOUTBOX, "About TarnikS", 220, 62, "MS Shell Dlg", 8, kAboutControls},
    {IDD_TARNIKM_DIALOG, "Tarnik S4", 239, 361, "MS Shell Dlg", 8, kPanelControls},
};

} // namespace

const SDialogTemplate* FindDialogTemplate(int id)
{
    for (const auto& t : kTemplates)
        if (t.id == id)
            return &t;
    return nullptr;
}
