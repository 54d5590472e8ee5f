#include "qt/panel/ConfigFile.h"

#include <sys/stat.h>

#include "qt/platform/TraceLog.h"
#include "platform/FileLocations.h"
#include "core/Numbers.h"
#include "platform/ProfileFile.h"

QString g_strModuleDir;
QString g_strConfigFile;

QString ReadConfigString(const QString& file, const QString& section, const QString& key)
{
    return QString::fromStdString(profile::ReadString(file.toStdString(), section.toStdString(), key.toStdString()));
}

BOOL WriteConfigString(const QString& file, const QString& section, const QString& key, const QString& value)
{
    const auto result = profile::WriteString(file.toStdString(), section.toStdString(), key.toStdString(), value.toStdString());
    // The operator gets no word of a failed write; a file that could not even be read is worth a
    // trace entry, since every setting stored from now on is lost.
    if (result == profile::EWriteResult::Unreadable)
        WriteTraceLog(QStringLiteral("%1 not rewritten: it cannot be read (%2 in [%3] not stored)")
                          .arg(file.section(QLatin1Char('/'), -1), key, section));
    return result == profile::EWriteResult::Stored ? TRUE : FALSE;
}

BOOL WriteConfigInt(const QString& file, const QString& section, const QString& key, int value)
{
    return WriteConfigString(file, section, key, QString::fromStdString(FormatC("%d", value)));
}

BOOL FileExists(const QString& path)
{
    if (path.isEmpty())
        return FALSE;
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? TRUE : FALSE;
}

void InitModuleDir()
{
    g_strModuleDir = QString::fromStdString(platform::DataDir());
}

QString BuildConfigPath()
{
    return g_strModuleDir + QStringLiteral("System.cfg");
}
