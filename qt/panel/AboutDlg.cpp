#include "qt/panel/AboutDlg.h"

#include "res/Resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CDialogBase(IDD_ABOUTBOX, parent) {}
