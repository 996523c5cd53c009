# Cross build for 32-bit x86 Windows with mingw-w64: the build that ships.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
# The port-I/O library is a 32-bit DLL, so the programs must be 32-bit too.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
