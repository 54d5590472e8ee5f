#include "core/ReplyGrammar.h"

#include "core/Numbers.h"

QStringList SplitReplyLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (;;) {
        const qsizetype nl = text.indexOf(QLatin1Char('\n'), start);
        if (nl < 0)
            break;
        lines.append(text.mid(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

bool HasBootLine(const QStringList& lines)
{
    for (const QString& line : lines)
        if (line == QStringLiteral("start") || line == QStringLiteral("start\r"))
            return true;
    return false;
}

bool IsPositionReport(const QString& line)
{
    return line.contains(QStringLiteral("X:")) && line.contains(QStringLiteral("Y:")) &&
           line.contains(QStringLiteral("Z:"));
}

QString MidClamped(const QString& s, int start, int count)
{
    const long long len = s.size();
    long long first = start < 0 ? 0 : start;
    long long n = count < 0 ? 0 : count;
    if (first > len)
        return {};
    if (first + n > len)
        n = len - first;
    return s.mid(static_cast<qsizetype>(first), static_cast<qsizetype>(n));
}

float ParseValueText(const QString& text)
{
    if (text.isEmpty())
        return 0.0f;
    return static_cast<float>(ParseLeadingDouble(text.toLatin1().toStdString()));
}

namespace {

// Where a report's X field may start: at the start of the line, or after "ok " and "C: ".
int FieldsStart(const QString& line)
{
    int i = line.startsWith(QLatin1String("ok ")) ? 3 : 0;
    if (QStringView(line).mid(i).startsWith(QLatin1String("C: ")))
        i += 3;
    return i;
}

// The letter at index i starts a field ("X:").
bool IsField(const QString& line, int i, char letter)
{
    return i >= 0 && i + 1 < line.size() && line[i] == QLatin1Char(letter) && line[i + 1] == QLatin1Char(':');
}

} // namespace

SPositionReport ParsePositionLine(const QString& line)
{
    const int iX = static_cast<int>(line.indexOf(QLatin1Char('X')));
    const int iY = static_cast<int>(line.indexOf(QLatin1Char('Y')));
    const int iE = static_cast<int>(line.indexOf(QLatin1Char('E')));
    const int iZ = static_cast<int>(line.indexOf(QLatin1Char('Z')));
    const int iCount = static_cast<int>(line.indexOf(QLatin1String(" Count")));
    const int iEnd = iCount < 0 ? static_cast<int>(line.size()) : iCount;
    SPositionReport r;
    r.fields = iX == FieldsStart(line) && IsField(line, iX, 'X') && iY > iX && IsField(line, iY, 'Y') && iZ > iY &&
               IsField(line, iZ, 'Z') && iZ < iEnd;
    if (!r.fields)
        return r;
    r.xText = MidClamped(line, iX + 2, iY - iX - 2);
    r.yText = MidClamped(line, iY + 2, iZ - iY - 2);
    int iZEnd = iE;
    if (iE < 0 || iE > iEnd) {
        iZEnd = static_cast<int>(line.size());
        for (int i = iZ + 2; i < static_cast<int>(line.size()); ++i)
            if ((line[i] >= QLatin1Char('A') && line[i] <= QLatin1Char('Z')) || line[i] == QLatin1Char('\r')) {
                iZEnd = i;
                break;
            }
    }
    r.zText = MidClamped(line, iZ + 2, iZEnd - iZ - 2);
    // Another field between X and Y or between Y and Z: these are not a report's first fields.
    if (r.xText.contains(QLatin1Char(':')) || r.yText.contains(QLatin1Char(':')))
        return SPositionReport{};
    r.x = ParseValueText(r.xText);
    r.y = ParseValueText(r.yText);
    r.z = ParseValueText(r.zText);
    r.complete = !r.xText.isEmpty() && !r.yText.isEmpty() && !r.zText.isEmpty();
    return r;
}

QString FormatPositionReadout(const SPositionReport& report)
{
    return QStringLiteral("current: (") + report.xText + QStringLiteral(", ") + report.yText +
           QStringLiteral(", ") + report.zText + QStringLiteral(")");
}
