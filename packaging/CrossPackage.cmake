# Read by cpack in a cross build's tree: dpkg-shlibdeps, which cpack runs, then takes the target's
# architecture and finds which arm64 package owns each library in the sysroot's dpkg database.
set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
set(ENV{DPKG_ADMINDIR} ${CPACK_VX_DPKG_ADMINDIR})
