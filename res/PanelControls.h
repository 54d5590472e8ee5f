#pragma once
// The panel's controls as the session knows them, shared by both front ends: which control a
// session's EControl is, which controls a connection switches, and what each jog button moves.
#include "core/MotionFormat.h"   // AXIS_X, AXIS_Y, AXIS_Z
#include "core/SessionEffects.h"
#include "res/Resource.h"

// Enabled only while connected, in the order they are switched.
inline constexpr int kConnectedOnly[] = {
    IDC_COMBO_XYDIST, IDC_COMBO_XYSPEED, IDC_COMBO_ZDIST, IDC_BTN_HOME,  IDC_BTN_PARK,    IDC_BTN_XMINUS,
    IDC_BTN_YMINUS,   IDC_BTN_ZMINUS,    IDC_BTN_XPLUS,   IDC_BTN_YPLUS, IDC_BTN_ZPLUS,   IDC_SCROLL_X,
    IDC_SCROLL_Y,     IDC_SCROLL_Z,      IDC_BTN_SETPARK, IDC_BTN_START, IDC_BTN_END,     IDC_BTN_RESET,
};
inline constexpr int kDisconnectedOnly[] = {IDC_COMBO_PORT, IDC_COMBO_BAUD, IDC_BTN_REFRESH};

inline constexpr struct {
    EControl control;
    int id;
} kControls[] = {
    {EControl::ConnectButton, IDC_BTN_CONNECT}, {EControl::ConnectionText, IDC_STATIC_CONN},
    {EControl::StatusButton, IDC_BTN_STATUS},   {EControl::Readout, IDC_STATIC_CURPOS},
    {EControl::StartPoint, IDC_STATIC_STARTPOINT}, {EControl::EndPoint, IDC_STATIC_ENDPOINT},
    {EControl::Depth, IDC_STATIC_DEPTH},        {EControl::XYDistance, IDC_COMBO_XYDIST},
    {EControl::ZDistance, IDC_COMBO_ZDIST},     {EControl::XYSpeed, IDC_COMBO_XYSPEED},
    {EControl::ZSpeed, IDC_COMBO_ZSPEED},       {EControl::RetainCheck, IDC_CHECK_RETAIN},
    {EControl::OnTopCheck, IDC_CHECK_ONTOP},
};

// The control a session's EControl names; 0 for none.
constexpr int ControlId(EControl control)
{
    for (const auto& c : kControls)
        if (c.control == control)
            return c.id;
    return 0;
}

// The jog buttons: an axis and a direction each.
inline constexpr struct {
    int button;
    int axis;
    bool negative;
} kJogs[] = {
    {IDC_BTN_XPLUS, AXIS_X, false}, {IDC_BTN_XMINUS, AXIS_X, true}, {IDC_BTN_YPLUS, AXIS_Y, false},
    {IDC_BTN_YMINUS, AXIS_Y, true}, {IDC_BTN_ZPLUS, AXIS_Z, false}, {IDC_BTN_ZMINUS, AXIS_Z, true},
};
