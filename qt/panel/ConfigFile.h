#pragma once
// System.cfg access, key by key at the moment a setting is needed: nothing is cached, nothing is
// held open. A failed write changes nothing on disk and is not reported to the operator; a write
// skipped because the file cannot be read leaves a line in the trace log.
#include <QString>

#include "platform/WinTypes.h"

extern QString g_strModuleDir;    // the folder System.cfg lives in, ending in '/'
extern QString g_strConfigFile;   // g_strModuleDir + "System.cfg"

QString ReadConfigString(const QString& file, const QString& section, const QString& key);
BOOL WriteConfigString(const QString& file, const QString& section, const QString& key, const QString& value);
BOOL WriteConfigInt(const QString& file, const QString& section, const QString& key, int value);
BOOL FileExists(const QString& path);
void InitModuleDir();
QString BuildConfigPath();
