# Third-party libraries, all from Debian's packages.

# Boost.Asio and Boost.Beast (the web panel's HTTP), header-only: with std::string_view, and
# without C++20 coroutines, which this code does not use and whose header in Boost 1.74 does not
# compile with GCC 12.
set(VX_ASIO_DEFINITIONS BOOST_BEAST_USE_STD_STRING_VIEW BOOST_ASIO_DISABLE_CO_AWAIT)
if(CMAKE_CROSSCOMPILING AND WIN32)
  # The Windows cross build uses the same header-only libraries. The host's package configs
  # don't apply to the target, so the targets are made here from a staged include directory
  # that holds only these libraries (never the whole host include directory).
  set(VX_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/staged-include)
  file(MAKE_DIRECTORY ${VX_STAGED_INCLUDE})
  foreach(dir fmt CLI nlohmann boost)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${VX_STAGED_INCLUDE}/${dir} SYMBOLIC)
  endforeach()
  add_library(fmt::fmt-header-only INTERFACE IMPORTED)
  set_target_properties(fmt::fmt-header-only PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${VX_STAGED_INCLUDE}
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  # Without std::filesystem, which would import file-system calls that old Windows lacks.
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VX_STAGED_INCLUDE}
    INTERFACE_COMPILE_DEFINITIONS CLI11_HAS_FILESYSTEM=0)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${VX_STAGED_INCLUDE})
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VX_STAGED_INCLUDE})
  # Boost.Asio on Winsock, for Windows XP and later.
  add_library(vx_asio INTERFACE)
  target_link_libraries(vx_asio INTERFACE Boost::headers ws2_32 mswsock)
  target_compile_definitions(vx_asio INTERFACE _WIN32_WINNT=0x0501 ${VX_ASIO_DEFINITIONS})
  if(VX_TESTS)
    # GoogleTest and GoogleMock built for the target from Debian's source package (googletest).
    set(VX_GTEST_SOURCE /usr/src/googletest)
    if(NOT EXISTS ${VX_GTEST_SOURCE}/CMakeLists.txt)
      message(FATAL_ERROR "${VX_GTEST_SOURCE} is missing: run scripts/install-deps")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # GoogleTest needs std::mutex, which only the posix thread model has (see the toolchain).
    if(NOT VX_MINGW_THREADS STREQUAL "posix")
      message(FATAL_ERROR "The Windows tests need -DVX_MINGW_THREADS=posix")
    endif()
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    # Its own CMake files define the GTest::gtest, GTest::gmock, ... names used everywhere.
    add_subdirectory(${VX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
  return()
endif()

find_package(fmt REQUIRED)
find_package(CLI11 REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(Threads REQUIRED)
add_library(vx_asio INTERFACE)
target_link_libraries(vx_asio INTERFACE Boost::headers Threads::Threads)
target_compile_definitions(vx_asio INTERFACE ${VX_ASIO_DEFINITIONS})
if(VX_TESTS)
  find_package(GTest REQUIRED)
endif()
if(VX_BENCH)
  find_package(benchmark REQUIRED)
endif()
if(VX_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  if(VX_TESTS)
    find_package(Qt6 REQUIRED COMPONENTS Test)
  endif()
endif()
