// The Windows panel's start: the common controls, the trace log, then the panel as a modeless
// dialog whose message loop gives every key to the panel's jog first.
#include <windows.h>
#include <commctrl.h>

#include "platform/win32/Files.h"
#include "win32/PanelDlg.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    files::ClearTraceLog();
    files::WriteTraceBanner();
    files::WriteTraceLog("TarnikS started");

    CPanelDlg panel;
    if (!panel.Create(hInstance))
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (panel.PreTranslateMessage(msg))
            continue;
        if (panel.Hwnd() && IsDialogMessageW(panel.Hwnd(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
