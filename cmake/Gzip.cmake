# Run as: cmake -DIN=<file> -DOUT=<file.gz> -P Gzip.cmake
# Compresses the way Debian keeps manual pages and changelogs: at the highest level, without the
# file's name or time in the header, so that the same input always gives the same bytes.
execute_process(COMMAND gzip -9nc "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "gzip ${IN} failed (${rc})")
endif()
