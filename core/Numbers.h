#pragma once
// Numbers to and from text the way the wire and System.cfg need them: always the C locale, whatever
// the operator's locale says (a decimal comma in a G-code line moves the stage to the wrong place).
#include <string>
#include <string_view>

// printf-style formatting in the C locale.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The leading decimal number of a text: leading white space skipped, optional sign, digits, point,
// fraction and exponent; 0.0 when the text does not begin with a number.
double ParseLeadingDouble(std::string_view text);

// The leading integer of a text: leading white space, optional sign, digits; 0 when there is none.
// Values beyond the int range saturate.
int ParseLeadingInt(std::string_view text);
