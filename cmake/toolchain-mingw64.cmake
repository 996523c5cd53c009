# Cross build for x86-64 Windows with mingw-w64. It exists only to test the same source under
# 64-bit wine on machines that run no 32-bit programs; the programs that ship are 32-bit.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
