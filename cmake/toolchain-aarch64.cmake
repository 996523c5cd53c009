# Cross build for 64-bit Arm Linux (Debian arm64, as on a Raspberry Pi) with Debian's
# g++-aarch64-linux-gnu, against a sysroot made from Debian's arm64 packages by
# scripts/make-sysroot; tests run under qemu-user. scripts/build-arm64 uses it:
#   cmake -S . -B DIR -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake -DVX_SYSROOT=DIR/sysroot
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The sysroot, passed on to CMake's own test compilations as well.
if(NOT VX_SYSROOT)
  message(FATAL_ERROR "Give the arm64 sysroot: -DVX_SYSROOT=DIR (scripts/make-sysroot makes it)")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VX_SYSROOT)
set(CMAKE_SYSROOT ${VX_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config (libftdi1, Avahi, libtirpc) reads the sysroot's .pc files and prefixes their paths.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VX_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
    ${VX_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${VX_SYSROOT}/usr/share/pkgconfig)

# CTest (and GoogleTest's discovery) run the arm64 programs through the emulator, which finds
# their loader and libraries in the sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L ${VX_SYSROOT})

# The package's architecture, and the sysroot's libraries for dpkg-shlibdeps (packaging/).
set(VX_DEB_ARCH arm64)
