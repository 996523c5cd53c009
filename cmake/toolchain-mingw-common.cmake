# What the two mingw-w64 toolchain files share; each sets VX_MINGW_TRIPLE and the processor
# first.
#
# The thread model: win32 (the default) for the programs that ship, because the posix model's
# runtime (winpthreads) imports functions that only Windows Vista and later have; posix
# (-DVX_MINGW_THREADS=posix) for the test build, because GoogleTest needs std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VX_MINGW_THREADS)
  set(VX_MINGW_THREADS win32)
endif()

set(CMAKE_C_COMPILER ${VX_MINGW_TRIPLE}-gcc-${VX_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VX_MINGW_TRIPLE}-g++-${VX_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VX_MINGW_TRIPLE}-gcc-ar-${VX_MINGW_THREADS} CACHE FILEPATH "")
set(CMAKE_RANLIB ${VX_MINGW_TRIPLE}-gcc-ranlib-${VX_MINGW_THREADS} CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the compiler's runtime (libgcc, libstdc++, winpthread) statically, so that the programs
# and their DLLs run without shipping any runtime DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
