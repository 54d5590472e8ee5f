#pragma once
// Every fixed line the panel sends, in one place. The lines that carry numbers (steps, absolute
// moves, Park) are formatted in core/MotionFormat.h.

inline constexpr const char* LINE_UNITS_MM = "G21\n";         // millimetres
inline constexpr const char* LINE_ABSOLUTE = "G90\n";         // absolute positioning
inline constexpr const char* LINE_RELATIVE = "G91\n";         // relative positioning
inline constexpr const char* LINE_HOME = "G28\n";             // home every axis
inline constexpr const char* LINE_LIFT_Z = "G0 Z55\n";        // after Home, under relative positioning
inline constexpr const char* LINE_HANDSHAKE = "M105\n";       // the temperatures: any answer shows a listener
inline constexpr const char* LINE_QUERY_POSITION = "M114\n";  // the position report
