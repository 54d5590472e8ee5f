#include "core/ReplyGrammar.h"

#include "core/Numbers.h"

std::vector<std::string> SplitReplyLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos)
            break;
        lines.emplace_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

bool HasBootLine(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (line == "start" || line == "start\r")
            return true;
    return false;
}

bool IsPositionReport(std::string_view line)
{
    return line.find("X:") != std::string_view::npos && line.find("Y:") != std::string_view::npos &&
           line.find("Z:") != std::string_view::npos;
}

std::string MidClamped(std::string_view s, int start, int count)
{
    const long long len = static_cast<long long>(s.size());
    long long first = start < 0 ? 0 : start;
    long long n = count < 0 ? 0 : count;
    if (first > len)
        return {};
    if (first + n > len)
        n = len - first;
    return std::string(s.substr(static_cast<size_t>(first), static_cast<size_t>(n)));
}

float ParseValueText(std::string_view text)
{
    if (text.empty())
        return 0.0f;
    return static_cast<float>(ParseLeadingDouble(text));
}

namespace {

// Where what first stands in line, or -1.
int IndexOf(std::string_view line, std::string_view what)
{
    const size_t i = line.find(what);
    return i == std::string_view::npos ? -1 : static_cast<int>(i);
}

// Where a report's X field may start: at the start of the line, or after "ok " and "C: ".
int FieldsStart(std::string_view line)
{
    int i = line.starts_with("ok ") ? 3 : 0;
    if (line.substr(static_cast<size_t>(i)).starts_with("C: "))
        i += 3;
    return i;
}

// The letter at index i starts a field ("X:").
bool IsField(std::string_view line, int i, char letter)
{
    return i >= 0 && i + 1 < static_cast<int>(line.size()) && line[static_cast<size_t>(i)] == letter &&
           line[static_cast<size_t>(i) + 1] == ':';
}

} // namespace

SPositionReport ParsePositionLine(std::string_view line)
{
    const int iX = IndexOf(line, "X");
    const int iY = IndexOf(line, "Y");
    const int iE = IndexOf(line, "E");
    const int iZ = IndexOf(line, "Z");
    const int iCount = IndexOf(line, " Count");
    const int size = static_cast<int>(line.size());
    const int iEnd = iCount < 0 ? size : iCount;
    SPositionReport r;
    r.fields = iX == FieldsStart(line) && IsField(line, iX, 'X') && iY > iX && IsField(line, iY, 'Y') && iZ > iY &&
               IsField(line, iZ, 'Z') && iZ < iEnd;
    if (!r.fields)
        return r;
    r.xText = MidClamped(line, iX + 2, iY - iX - 2);
    r.yText = MidClamped(line, iY + 2, iZ - iY - 2);
    int iZEnd = iE;
    if (iE < 0 || iE > iEnd) {
        iZEnd = size;
        for (int i = iZ + 2; i < size; ++i) {
            const char c = line[static_cast<size_t>(i)];
            if ((c >= 'A' && c <= 'Z') || c == '\r') {
                iZEnd = i;
                break;
            }
        }
    }
    r.zText = MidClamped(line, iZ + 2, iZEnd - iZ - 2);
    // Another field between X and Y or between Y and Z: these are not a report's first fields.
    if (r.xText.find(':') != std::string::npos || r.yText.find(':') != std::string::npos)
        return SPositionReport{};
    r.x = ParseValueText(r.xText);
    r.y = ParseValueText(r.yText);
    r.z = ParseValueText(r.zText);
    r.complete = !r.xText.empty() && !r.yText.empty() && !r.zText.empty();
    return r;
}

std::string FormatPositionReadout(const SPositionReport& report)
{
    return "current: (" + report.xText + ", " + report.yText + ", " + report.zText + ")";
}
