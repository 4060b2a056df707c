# GoogleTest for the test programs, as GTest::gtest, GTest::gtest_main,
# GTest::gmock and GTest::gmock_main.
#
# A native build uses the installed one (Debian: libgtest-dev). A cross build
# cannot link that, it is built for the build machine: there, and wherever no
# installed GoogleTest is found, the sources (Debian: googletest, in
# /usr/src/googletest) are built with the project's compiler.
#
# QUIMBEL_GTEST_DISCOVERY_TIMEOUT: seconds gtest_discover_tests may take to
# list a program's tests. Under Wine a program starts in about a second, more
# when both cores are busy, so cross builds allow more than CMake's 5.
set(QUIMBEL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources, built with the project where no installed GoogleTest fits")

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()

if(TARGET GTest::gtest AND TARGET GTest::gtest_main)
  set(QUIMBEL_GTEST_DISCOVERY_TIMEOUT 5)
  return()
endif()

if(NOT EXISTS "${QUIMBEL_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest for this compiler, and no sources in "
                      "QUIMBEL_GOOGLETEST_SOURCE_DIR (${QUIMBEL_GOOGLETEST_SOURCE_DIR}): "
                      "install Debian's googletest, or set it")
endif()

set(INSTALL_GTEST OFF)
set(BUILD_GMOCK ON)
# Someone else's code, with its own warning flags: our options, -Werror
# first, stay off it. The targets are built only when a test links them.
get_directory_property(quimbel_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory("${QUIMBEL_GOOGLETEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/googletest"
                 EXCLUDE_FROM_ALL SYSTEM)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${quimbel_saved_options}")

set(QUIMBEL_GTEST_DISCOVERY_TIMEOUT 60)
