#include "qt/platform/TraceLog.h"

#include <QLocale>
#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

QString g_strAppName;
QString g_strTraceFile;
BOOL g_bTraceEnabled = FALSE;
BOOL g_bTraceTimeStamp = TRUE;

namespace {

// Converts UTF-16 text to code page 936, stopping at the first character it cannot represent:
// what came before it is kept, the rest of the entry is lost.
std::string ToCodePage936(const QString& text)
{
    std::string out;
    const QByteArray utf8 = text.toUtf8();
    // Opened once: every entry would otherwise load the converter again. Only the window thread
    // writes the log.
    static const iconv_t cd = ::iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text.toLatin1().toStdString();
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);   // a fresh start for each entry
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = ::iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, sizeof buf - oLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG)
            break;
    }
    return out;
}

void WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

QString UsTimeStamp(const QDateTime& when)
{
    const QString date = QStringLiteral("%1/%2/%3").arg(when.date().month()).arg(when.date().day()).arg(when.date().year());
    const QTime t = when.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return date;
    const int h12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    return QStringLiteral("%1 %2:%3:%4 %5")
        .arg(date)
        .arg(h12)
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

// Opens the log for writing, or gives -1. A log the operator made read-only is left alone, also
// when we run as root and could write it anyway.
int OpenLog(int flags)
{
    const int fd = ::open(g_strTraceFile.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (st.st_mode & 0222) == 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

QString FormatTraceTimeStamp(const QDateTime& when)
{
    if (!when.isValid())
        return QStringLiteral("Invalid DateTime");
    const QLocale locale;
    if (locale.language() == QLocale::C ||
        (locale.language() == QLocale::English && locale.territory() == QLocale::UnitedStates))
        return UsTimeStamp(when);
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime t = when.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return date;
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s')))
        timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return date + QLatin1Char(' ') + locale.toString(t, timeFormat);
}

void ClearTraceLog()
{
    if (g_strTraceFile.isEmpty())
        return;
    const int fd = OpenLog(0);
    if (fd < 0)
        return;
    if (::ftruncate(fd, 0) != 0) {
        // nothing to report: the log is best effort
    }
    ::close(fd);
}

void WriteTraceLog(const QString& message)
{
    if (!g_bTraceEnabled || g_strTraceFile.isEmpty())
        return;
    const int fd = OpenLog(O_APPEND);
    if (fd < 0)
        return;
    // The message is inserted as it stands: a "%" in it is just a character.
    QString entry = g_bTraceTimeStamp
                        ? FormatTraceTimeStamp(QDateTime::currentDateTime().addMSecs(-QTime::currentTime().msec())) +
                              QLatin1Char('\t') + message + QLatin1Char('\n')
                        : message + QLatin1Char('\n');
    entry.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    WriteAll(fd, ToCodePage936(entry));
    ::close(fd);
}

void WriteTraceBanner()
{
    WriteTraceLog(QStringLiteral("\n\n******************************************\n\n"));
    const QString stamp = FormatTraceTimeStamp(QDateTime::currentDateTime());
    WriteTraceLog(QStringLiteral("%1 Log Trace %2\n\n").arg(g_strAppName, stamp));
}
