# The Windows build, after core: cross-built with cmake/mingw-w64-x86_64.cmake and tested under Wine
# (scripts/test-windows). So far it is core, the serial line and their tests; the file locations and
# the win32/ front end add their libraries and executables here, beside the Linux ones in the top
# CMakeLists.txt.

# GoogleTest from Debian's sources, built by the cross compiler: there is no Windows build of it to
# install. Only gtest and gtest_main; nothing of it is installed with the panel.
set(TARNIK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian googletest)")
set(BUILD_GMOCK OFF)
set(INSTALL_GTEST OFF)
add_subdirectory(${TARNIK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The serial classes on the comm API itself; COM names from the registry's SERIALCOMM map, friendly
# names from SetupAPI.
add_library(tarnik_serial_win32 STATIC
  serial/SerialEx.cpp serial/win32/ComPorts.cpp serial/win32/PortNames.h serial/win32/Serial.cpp
  serial/win32/SerialEvent.cpp serial/win32/SerialPortPrivate.h serial/win32/SerialSettings.cpp)
target_include_directories(tarnik_serial_win32 PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tarnik_serial_win32 PUBLIC Threads::Threads setupapi)

enable_testing()
add_subdirectory(tests)

# The panel, TarnikS.exe (win32/): after the libraries above, since it takes the serial one when
# the build has it.
add_subdirectory(win32)
