#include "core/ControllerLines.h"

#include <QStringList>

namespace {

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// A heater's temperature field starts at i: a heater name ("T", "T0", "B", "C", "P"), a colon and a
// number. "C: X:0.0000" (a position that begins with "C:") has no number after its colon.
bool TemperatureFieldAt(const QString& s, qsizetype i)
{
    if (i >= s.size() || !QStringLiteral("TBCP").contains(s[i]))
        return false;
    qsizetype j = i + 1;
    while (j < s.size() && IsDigit(s[j]))
        ++j;
    if (j >= s.size() || s[j] != QLatin1Char(':'))
        return false;
    ++j;
    while (j < s.size() && s[j] == QLatin1Char(' '))
        ++j;
    if (j < s.size() && (s[j] == QLatin1Char('-') || s[j] == QLatin1Char('+')))
        ++j;
    return j < s.size() && IsDigit(s[j]);
}

bool HasTemperatureField(const QString& line, qsizetype from)
{
    for (qsizetype i = from; i < line.size(); ++i)
        if (line[i - 1] == QLatin1Char(' ') && TemperatureFieldAt(line, i))
            return true;
    return false;
}

bool StartsWithNoCase(const QString& line, const char* prefix)
{
    return line.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

} // namespace

bool IsHandshakeReply(const QString& text)
{
    // What follows the last line feed is no line yet, but "ok T:" counts wherever it stands.
    const QStringList segments = text.split(QLatin1Char('\n'));
    bool okLineSeen = false;
    for (qsizetype k = 0; k < segments.size(); ++k) {
        const QString& segment = segments[k];
        if (segment.startsWith(QLatin1String("echo:")))
            continue;
        if (segment.contains(QLatin1String("ok T:")))
            return true;
        if (segment.startsWith(QLatin1String("ok ")) && HasTemperatureField(segment, 3))
            return true;
        const bool wholeLine = k + 1 < segments.size();
        if (okLineSeen && wholeLine && TemperatureFieldAt(segment, 0))
            return true;
        if (segment.trimmed() == QLatin1String("ok"))
            okLineSeen = true;
    }
    return false;
}

bool IsBusyLine(const QString& line) { return line.startsWith(QLatin1String("echo:busy:")); }

bool IsErrorLine(const QString& line) { return StartsWithNoCase(line, "error:") || line.startsWith(QLatin1String("!!")); }

bool IsHaltLine(const QString& line)
{
    if (!IsErrorLine(line))
        return false;
    for (const char* word : {"halted", "kill", "shutdown", "shut down"})
        if (line.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    return false;
}

bool AsksForChecksums(const QString& line)
{
    return line.contains(QLatin1String("checksum"), Qt::CaseInsensitive) ||
           line.contains(QLatin1String("line number"), Qt::CaseInsensitive);
}
