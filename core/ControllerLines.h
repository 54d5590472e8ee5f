#pragma once
// The controller's lines other than position reports: the handshake reply in the forms firmware
// gives it, "busy" notices, errors and halts. Pure functions on text (bytes, Latin-1), no widget in
// sight.
#include <string_view>

// The text of one receive notification holds the handshake reply: "ok T:" on a line that is not an
// "echo:" line; a line beginning "ok" that carries a heater's temperature ("ok T0:21.30/ 0.00",
// "ok B:30.5 /0.0 T0:58.9 /0.0"); or an "ok" line followed by a whole line of temperatures.
bool IsHandshakeReply(std::string_view text);

// "echo:busy: processing": the controller is alive and working on a command that blocks.
bool IsBusyLine(std::string_view line);

// "Error:...", "error:20" (controllers of another dialect) or "!! ...".
bool IsErrorLine(std::string_view line);

// An error line that says the controller halted, was killed or shut down: it will say nothing more.
bool IsHaltLine(std::string_view line);

// An error line asking for line numbers and checksums, which the panel does not send.
bool AsksForChecksums(std::string_view line);
