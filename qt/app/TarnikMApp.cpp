#include "qt/app/TarnikMApp.h"

#include "qt/platform/TraceLog.h"
#include "qt/panel/TarnikMDlg.h"
#include "platform/FileLocations.h"

CTarnikMApp theApp;

BOOL CTarnikMApp::InitInstance()
{
    g_strAppName = QStringLiteral("TarnikS");
    // The log lies beside the executable (or in the XDG folder when that one is not writable).
    g_strTraceFile = QString::fromStdString(platform::DataDir()) + QStringLiteral("TarnikS_log.txt");
    g_bTraceEnabled = TRUE;
    g_bTraceTimeStamp = TRUE;

    ClearTraceLog();
    WriteTraceBanner();
    WriteTraceLog(QStringLiteral("TarnikS started"));

    CTarnikMDlg dlg;
    dlg.DoModal();
    return FALSE;
}
