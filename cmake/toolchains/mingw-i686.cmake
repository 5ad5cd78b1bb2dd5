# Cross build of ZQE.dll for 32-bit Windows with MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# What the cross build takes from the build machine, outside the MinGW root
# (see cmake/ZqeDependencies.cmake and cmake/ZqeTesting.cmake): the
# header-only libraries' package files under this prefix, and the
# GoogleTest sources it compiles for Windows.
set(ZQE_HOST_PACKAGE_PREFIX /usr CACHE PATH "Prefix of the build machine's header-only CMake packages")
set(ZQE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, compiled for Windows")

# Every 32-bit Windows the library runs on has SSE2 (Windows 8 and later
# require it), so the page step's vector paths are built in. Windows and
# its callers keep the stack only 4-byte aligned: the realigning prologue
# keeps vectors spilled to the stack safe in functions they call.
set(CMAKE_C_FLAGS_INIT "-msse2 -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mstackrealign")
