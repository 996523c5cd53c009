# The Debian package: `cpack -G DEB` in a build tree (scripts/check-deb builds and checks it).
# It holds vx3340ctl and, when the window is built, vx3340 with its desktop entry and icon, and
# then depends on the Qt runtime.

# Both programs install themselves (src/app). The window's desktop entry and icon come with the
# window, when it is built.
if(TARGET vx3340)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vx3340.desktop DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/src/forms/vx3340.png
          DESTINATION share/icons/hicolor/32x32/apps)
endif()
# The services, installed disabled: the single unit for a bench PC's port, and the template with
# one instance for each adapter. Both take their restarts, limits and sandbox from one file.
if(UNIX)
  file(READ ${CMAKE_CURRENT_LIST_DIR}/vx3340-panel-service.conf VX_PANEL_SERVICE)
  string(REGEX REPLACE "^(#[^\n]*\n)+" "" VX_PANEL_SERVICE "${VX_PANEL_SERVICE}")
  string(STRIP "${VX_PANEL_SERVICE}" VX_PANEL_SERVICE)
  foreach(unit vx3340-panel.service vx3340-panel@.service)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${unit}.in ${CMAKE_BINARY_DIR}/packaging/${unit} @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${unit} DESTINATION lib/systemd/system)
  endforeach()
  # The USB bridge's adapters, open to the plugdev group; and the rule that starts an adapter's
  # instance when it appears, off until linked into /etc/udev/rules.d.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/60-vx3340-ft232h.rules DESTINATION lib/udev/rules.d)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/61-vx3340-panel.rules DESTINATION share/vx3340)
endif()

# The PyMeasure class, for Debian's python3.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/vx3340 DESTINATION lib/python3/dist-packages
        PATTERN __pycache__ EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/python/examples/range_sweep.py
        DESTINATION share/doc/vx3340/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vx3340)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control program for the VX3340 evaluation board")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sets up the VX3340 evaluation board on a parallel port and reads its flags back.\n\
vx3340 is the window program; vx3340ctl drives the board from the command line.\n\
On Linux the board is reached through the kernel's ppdev driver (/dev/parportN), or\n\
through an FTDI FT232H USB adapter (--port ft232h) with libftdi1. Sessions that\n\
listen beyond loopback are announced through avahi-daemon; the python3 module\n\
vx3340 is a PyMeasure instrument class for the board.")
set(CPACK_PACKAGE_CONTACT "VX3340 team <vx3340@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the programs link (libqt6widgets6, libqt6core6, ...) come from dpkg-shlibdeps,
# under the names the distribution gives them. The window needs Qt's GUI library and the
# platform plugins that Qt loads at run time even where no library scan sees them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The USB bridge's library, named as well, for the reader of the control file.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libftdi1-2, libavahi-client3")
if(TARGET vx3340)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libftdi1-2, libavahi-client3, libqt6gui6, qt6-qpa-plugins")
endif()
# The announcements need the responder running, VXI-11 the portmapper it registers with
# (libtirpc3 comes from the library scan); the Python class needs PyMeasure and PyVISA-py.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, rpcbind, python3-pymeasure, python3-pyvisa-py")
# A cross build (the arm64 toolchain) packs for the target's architecture: dpkg-shlibdeps reads the
# sysroot's libraries and its small dpkg database (scripts/make-sysroot), as the target's.
if(VX_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VX_DEB_ARCH})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_SYSROOT}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
  set(CPACK_VX_DPKG_ADMINDIR ${CMAKE_SYSROOT}-dpkg)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CrossPackage.cmake)
endif()
include(CPack)
