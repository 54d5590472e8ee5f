#include "qt/panel/AboutDlg.h"

#include "qt/res/Resources.h"
#include "res/Resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CDialogBase({FindDialogTemplate(IDD_ABOUTBOX), LoadResIcon}, parent) {}
