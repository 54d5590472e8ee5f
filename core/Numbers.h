#pragma once
// Numbers to and from text the way the wire and System.cfg need them: always the C locale, whatever
// the operator's locale says (a decimal comma in a G-code line moves the stage to the wrong place).
// Our own formatter and readers over std::to_chars and std::from_chars: one behaviour everywhere.
#include <string>
#include <string_view>

// printf-style formatting with the C locale's output. Takes plain text, %% and the conversions
// %d %i %u %ld %li %lu %s %f %.Nf and %.*f (no flags, no width). An unsupported conversion and
// everything after it is copied as it stands, and no further argument is read.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The leading decimal number of a text: leading white space skipped, optional sign, digits, point,
// fraction and exponent; 0.0 when the text does not begin with a number. Too large a number is an
// infinity, too small a one zero, both with its sign.
double ParseLeadingDouble(std::string_view text);

// The leading integer of a text: leading white space, optional sign, digits; 0 when there is none.
// Values beyond the int range saturate.
int ParseLeadingInt(std::string_view text);
