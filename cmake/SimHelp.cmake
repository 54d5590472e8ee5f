# Run as: cmake -DSIM=<TarnikSim> -DTXT=<out.txt> -DMAN=<out.1> -DVERSION=<x.y.z> -P SimHelp.cmake
# Writes the simulator's --help text as a plain file and as a manual page, so that the packaged
# documentation is always what the installed program itself prints.
execute_process(COMMAND "${SIM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT help MATCHES "^Usage: TarnikSim")
  message(FATAL_ERROR "${SIM} --help failed (${rc}): ${help}")
endif()
file(WRITE "${TXT}" "${help}")

# roff: backslashes are escaped, and lines that begin with a dot or a quote are protected.
string(REPLACE "\\" "\\e" body "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" body "${body}")
string(REGEX REPLACE "^Usage: [^\n]*\n" "" body "${body}")
file(WRITE "${MAN}"
".TH TARNIKSIM 1 \"\" \"TarnikS ${VERSION}\" \"User Commands\"\n"
".SH NAME\n"
"TarnikSim \\- simulated three-axis stage controller for TarnikS\n"
".SH SYNOPSIS\n"
".B TarnikSim\n"
"[\\fIoptions\\fR]\n"
".SH DESCRIPTION\n"
".nf\n"
"${body}"
".fi\n")
