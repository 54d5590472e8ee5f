#pragma once
// Resource numbers and control IDs of the panel and the about box. It includes nothing: both
// front ends share it.

// The IDs every dialog shares. The system's headers or the dialog layer may have given them
// already, with these values.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

// Dialog templates, strings and icons
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_TARNIKM_DIALOG = 102;
constexpr int IDR_MAINFRAME = 129;
constexpr int IDI_DISCONNECTED = 132;
constexpr int IDI_CONNECTED = 133;

// System commands of the context menu: "About", and pinning the selected port to its adapter
constexpr unsigned IDM_ABOUTBOX = 0x0010;
constexpr unsigned IDM_PINPORT = 0x0020;
constexpr unsigned IDM_UNPINPORT = 0x0030;

// Controls of the panel
constexpr int IDC_COMBO_BAUD = 1000;
constexpr int IDC_STATIC_BAUD = 1001;
constexpr int IDC_BTN_CONNECT = 1002;
constexpr int IDC_STATIC_XYDIST = 1003;
constexpr int IDC_COMBO_XYDIST = 1004;
constexpr int IDC_STATIC_UNIT = 1005;
constexpr int IDC_COMBO_ZDIST = 1006;
constexpr int IDC_BTN_REFRESH = 1007;
constexpr int IDC_STATIC_CURPOS = 1008;
constexpr int IDC_COMBO_XYSPEED = 1009;
constexpr int IDC_STATIC_XYSPEED = 1010;
constexpr int IDC_STATIC_MM = 1011;
constexpr int IDC_COMBO_ZSPEED = 1012;
constexpr int IDC_STATIC_ZSPEED = 1013;
constexpr int IDC_STATIC_ZDIST = 1014;
constexpr int IDC_BTN_START = 1018;
constexpr int IDC_BTN_RESET = 1019;
constexpr int IDC_BTN_END = 1020;
constexpr int IDC_STATIC_DEPTHLABEL = 1021;
constexpr int IDC_STATIC_XYZ = 1022;
constexpr int IDC_BTN_MORELESS = 1023;
constexpr int IDC_STATIC_MARKER = 1024;
constexpr int IDC_STATIC_LESSTEXT = 1025;
constexpr int IDC_STATIC_DEPTHTITLE = 1026;
constexpr int IDC_COMBO_PORT = 1027;
constexpr int IDC_STATIC_STARTPOINT = 1028;
constexpr int IDC_STATIC_ENDPOINT = 1029;
constexpr int IDC_STATIC_DEPTH = 1030;
constexpr int IDC_CHECK_ONTOP = 1031;
constexpr int IDC_CHECK_RETAIN = 1032;
constexpr int IDC_SCROLL_X = 1033;
constexpr int IDC_SCROLL_Y = 1034;
constexpr int IDC_SCROLL_Z = 1035;
constexpr int IDC_BTN_STATUS = 1038;
constexpr int IDC_ICON_CONN = 1039;
constexpr int IDC_STATIC_CONN = 1040;
constexpr int IDC_STATIC_VERSION = 1042;
constexpr int IDC_BTN_XPLUS = 1101;
constexpr int IDC_BTN_XMINUS = 1102;
constexpr int IDC_BTN_YPLUS = 1103;
constexpr int IDC_BTN_YMINUS = 1104;
constexpr int IDC_BTN_ZPLUS = 1105;
constexpr int IDC_BTN_ZMINUS = 1106;
constexpr int IDC_BTN_HOME = 1107;
constexpr int IDC_BTN_PARK = 1108;
constexpr int IDC_BTN_SETPARK = 1109;

// Controls of the about box
constexpr int IDC_ABOUT_ICON = 1050;
constexpr int IDC_ABOUT_NAME = 1051;
constexpr int IDC_ABOUT_LINE2 = 1052;
