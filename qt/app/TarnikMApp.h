#pragma once
// The application object: prepares the trace log, then runs the control panel as a modal dialog.
// When the panel's loop ends, the application ends.
#include "platform/WinTypes.h"

class CTarnikMApp {
public:
    CTarnikMApp() = default;
    // Always FALSE: there is no message loop of the application's own after the panel.
    BOOL InitInstance();
};

extern CTarnikMApp theApp;
