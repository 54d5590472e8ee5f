#pragma once
// The about box: the application's name, version and one line on what it does.
#include "qt/platform/DialogBase.h"

class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
