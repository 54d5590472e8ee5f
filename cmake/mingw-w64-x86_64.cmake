# The Windows build, cross-built on Linux with mingw-w64 (Debian g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-win -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
# scripts/test-windows does that, builds and runs the tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix compilers: the default (win32) thread model has neither std::thread nor std::mutex.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Headers and libraries come from the mingw-w64 tree only; programs (windres, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# An executable imports system DLLs only: libgcc, libstdc++ and winpthreads are linked into it, so
# nothing has to be shipped beside it. (A GUI program adds -municode -mwindows to its own target.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test executables under Wine. Debian's wine64 package keeps its loader out of PATH;
# the wine package, when installed, puts a wine64 there too.
find_program(TARNIK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TARNIK_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNIK_WINE64})
endif()
