#pragma once
// The controller's replies as the panel reads them: the handshake reply, lines, position reports and
// their value texts. Pure functions on text (bytes, Latin-1 as the line carries them), no widget in
// sight.
#include <string>
#include <string_view>
#include <vector>

// The lines of a text: what stands before each line feed ("\r" stays part of the line); what
// follows the last line feed is not a line.
std::vector<std::string> SplitReplyLines(std::string_view text);

// One of the lines is "start": what a controller board prints once it has rebooted and listens.
bool HasBootLine(const std::vector<std::string>& lines);

// A line that holds "X:", "Y:" and "Z:" anywhere: it is read as a position report, complete or not.
bool IsPositionReport(std::string_view line);

struct SPositionReport {
    std::string xText, yText, zText;   // the value texts exactly as cut from the line
    float x = 0, y = 0, z = 0;
    bool fields = false;           // X, Y and Z are the line's first fields, in that order
    bool complete = false;         // those fields, and all three value texts are non-empty
};

// A report's X, Y and Z are its first fields, in that order, before " Count" (the motor step counts
// that follow them hold "X:", "Y:" and "Z:" too); "ok " and "C: " may stand before them, as in
// "ok C: X:0.0000 Y:0.0000 Z:0.0000". A line that ends up with the step counts' fields first (the
// second piece of a report cut apart by a read) is no report: it gives no value texts.
// Cuts the value texts: X from two characters after the first "X" up to the first "Y", Y up to
// the first "Z", Z up to the first "E". A report without an "E" before " Count" (firmware built
// without an extruder) ends Z at the next field (the next capital letter), at a carriage return or
// at the end of the line.
SPositionReport ParsePositionLine(std::string_view line);

// "current: (<x>, <y>, <z>)" from the value texts as they stand.
std::string FormatPositionReadout(const SPositionReport& report);

// Substring with the clamping rules of the value cut: a negative start or count counts as 0, a
// count running past the end is cut at the end, a start past the end gives "".
std::string MidClamped(std::string_view s, int start, int count);

// The leading decimal number of a value text (0 for an empty text or one without a number).
float ParseValueText(std::string_view text);
