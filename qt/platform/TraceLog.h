#pragma once
// The trace log: a short history of the current run in TarnikS_log.txt (code page 936, CR LF line
// ends). Every entry opens the file, appends and closes it, so the file is complete on disk after
// each one; every failure is swallowed.
#include <QDateTime>
#include <QString>

#include "platform/WinTypes.h"

extern QString g_strAppName;
extern QString g_strTraceFile;
extern BOOL g_bTraceEnabled;
extern BOOL g_bTraceTimeStamp;

// Empties the log (even while writing is disabled); does nothing without a file name.
void ClearTraceLog();
// Appends one entry: "<stamp>\t<message>\n" (or "<message>\n" without time stamps).
void WriteTraceLog(const QString& message);
// The banner: a line of 42 asterisks between blank lines, then "<app> Log Trace <stamp>".
void WriteTraceBanner();

// The stamp text for a moment: the locale's short date, a space and the time with seconds; a time of
// exactly midnight gives the date alone. In the C or US English locale: "12/6/2026 8:05:09 PM".
QString FormatTraceTimeStamp(const QDateTime& when);
