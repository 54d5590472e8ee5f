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


// The precision of a directive at p ("%.2f", "%.*f"), -1 when none is given; p moves past it.
int ReadPrecision(const char*& p, va_list* args)
{
    if (*p != '.')
        return -1;
    ++p;
    if (*p == '*') {
        ++p;
        return va_arg(*args, int);
    }
    int precision = 0;
    for (; IsDigit(*p); ++p)
        precision = precision < 100000 ? precision * 10 + (*p - '0') : precision;
    return precision;
}

// One conversion (d i u s f, with an l before d i u); false for any other, which is not taken.
bool AppendConversion(std::string& out, char conversion, bool isLong, int precision, va_list* args)
{
    if ((conversion == 'd' || conversion == 'i') && precision < 0) {
        if (isLong)
            AppendInteger(out, va_arg(*args, long));
        else
            AppendInteger(out, va_arg(*args, int));
    } else if (conversion == 'u' && precision < 0) {
        if (isLong)
            AppendInteger(out, va_arg(*args, unsigned long));
        else
            AppendInteger(out, va_arg(*args, unsigned int));
    } else if (conversion == 's' && !isLong && precision < 0) {
        const char* s = va_arg(*args, const char*);
        out.append(s ? s : "(null)");
    } else if (conversion == 'f' && !isLong) {
        AppendFixed(out, va_arg(*args, double), precision);
    } else {
        return false;
    }
    return true;
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
        const int precision = ReadPrecision(p, &args);
        const bool isLong = *p == 'l';
        if (isLong)
            ++p;
        // An unknown directive is copied as text with the rest of the format; no argument is read.
        if (!AppendConversion(out, *p, isLong, precision, &args)) {
            out.append(directive);
            break;
        }
    }
    va_end(args);
    return out;
}

namespace {

// Where a decimal number (digits, point, fraction, exponent) that starts at i ends, how many digits
// it has, and where its first significant digit stands as a power of ten, to tell an overflow from
// an underflow.
struct SDecimal {
    size_t end = 0;
    size_t digits = 0;
    long long leadingExponent = 0;
};

SDecimal ScanDecimal(std::string_view text, size_t i)
{
    SDecimal d;
    bool significant = false;
    while (i < text.size() && IsDigit(text[i])) {
        significant = significant || text[i] != '0';
        d.leadingExponent += significant ? 1 : 0;
        ++i, ++d.digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (!significant && text[i] != '0')
                significant = true;
            else if (!significant)
                --d.leadingExponent;
            ++i, ++d.digits;
        }
    }
    if (d.digits > 0 && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            negativeExponent = text[j++] == '-';
        if (j < text.size() && IsDigit(text[j])) {
            long long exponent = 0;
            for (; j < text.size() && IsDigit(text[j]); ++j)
                exponent = exponent < 1000000000 ? exponent * 10 + (text[j] - '0') : exponent;
            d.leadingExponent += negativeExponent ? -exponent : exponent;
            i = j;
        }
    }
    d.end = i;
    return d;
}

} // namespace

double ParseLeadingDouble(std::string_view text)
{
    // Only a decimal number is taken: no "inf", "nan" or hexadecimal forms.
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const SDecimal d = ScanDecimal(text, i);   // std::from_chars takes no sign
    if (d.digits == 0)
        return 0.0;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + d.end, value, std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = d.leadingExponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
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
