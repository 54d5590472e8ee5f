#include "core/Numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <limits>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
void AppendInteger(std::string& out, T value)
{
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, ec == std::errc() ? end : buf);
}

// Fixed notation rounds the exact binary value, ties to even, as the C library's printf does.
void AppendFixed(std::string& out, double value, int precision)
{
    if (precision < 0)
        precision = 6;   // a negative precision from "%.*f" counts as none given
    // The longest double in fixed notation: sign, 309 digits, point, then the decimals.
    std::string buf(320 + static_cast<size_t>(precision), '\0');
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, precision);
    if (ec == std::errc())
        out.append(buf.data(), end);
}

} // namespace

std::string FormatC(const char* format, ...)
{
    std::string out;
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out.push_back(*p);
            continue;
        }
        const char* const directive = p++;
        if (*p == '%') {
            out.push_back('%');
            continue;
        }
        int precision = -1;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                precision = va_arg(args, int);
                ++p;
            } else {
                precision = 0;
                for (; IsDigit(*p); ++p)
                    precision = precision < 100000 ? precision * 10 + (*p - '0') : precision;
            }
        }
        const bool isLong = *p == 'l';
        if (isLong)
            ++p;
        if ((*p == 'd' || *p == 'i') && precision < 0) {
            if (isLong)
                AppendInteger(out, va_arg(args, long));
            else
                AppendInteger(out, va_arg(args, int));
        } else if (*p == 'u' && precision < 0) {
            if (isLong)
                AppendInteger(out, va_arg(args, unsigned long));
            else
                AppendInteger(out, va_arg(args, unsigned int));
        } else if (*p == 's' && !isLong && precision < 0) {
            const char* s = va_arg(args, const char*);
            out.append(s ? s : "(null)");
        } else if (*p == 'f' && !isLong) {
            AppendFixed(out, va_arg(args, double), precision);
        } else {
            out.append(directive);
            break;
        }
    }
    va_end(args);
    return out;
}

double ParseLeadingDouble(std::string_view text)
{
    // Only a decimal number is taken: no "inf", "nan" or hexadecimal forms.
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const size_t start = i;   // std::from_chars takes no sign
    size_t digits = 0;
    long long leadingExponent = 0;   // where the first significant digit stands, as a power of ten
    bool significant = false;
    while (i < text.size() && IsDigit(text[i])) {
        significant = significant || text[i] != '0';
        leadingExponent += significant ? 1 : 0;
        ++i, ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (!significant && text[i] != '0')
                significant = true;
            else if (!significant)
                --leadingExponent;
            ++i, ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            negativeExponent = text[j++] == '-';
        if (j < text.size() && IsDigit(text[j])) {
            long long exponent = 0;
            for (; j < text.size() && IsDigit(text[j]); ++j)
                exponent = exponent < 1000000000 ? exponent * 10 + (text[j] - '0') : exponent;
            leadingExponent += negativeExponent ? -exponent : exponent;
            i = j;
        }
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + start, text.data() + i, value, std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = leadingExponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (ec != std::errc())
        value = 0.0;
    return negative ? -value : value;
}

int ParseLeadingInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    while (i < text.size() && IsDigit(text[i])) {
        value = value * 10 + (text[i++] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
