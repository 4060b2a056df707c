# Cross-built for Windows on Linux, the tests (and test discovery) run under
# Wine through tools/wine-run.sh, in a Wine prefix inside the build tree:
# QUIMBEL_WINE_PREFIX, created by the target quimbel_wine_prefix during the
# build. A CMAKE_CROSSCOMPILING_EMULATOR given on the command line wins.
#
# Programs with windows need an X server: run ctest under xvfb-run, or with
# DISPLAY set. Set this up before any target is made: executables take their
# CROSSCOMPILING_EMULATOR from the variable when they are created.
if(NOT (CMAKE_CROSSCOMPILING AND WIN32 AND CMAKE_HOST_UNIX) OR CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()

set(QUIMBEL_WINE_PREFIX "${PROJECT_BINARY_DIR}/wine-prefix")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/tools/wine-run.sh" --prefix "${QUIMBEL_WINE_PREFIX}"
    --again-if-wine-fails)

find_program(QUIMBEL_WINE NAMES wine64 wine PATHS /usr/lib/wine
             DOC "Wine loader for the cross-built tests (tools/wine-run.sh finds its own unless QUIMBEL_WINE is set in its environment)")
if(NOT QUIMBEL_WINE)
  message(WARNING "No Wine found: the Windows tests build but cannot run "
                  "(Debian: apt-get install wine wine64)")
  return()
endif()

# Made once, while the build runs, rather than inside the first test's
# time limit; wine-run.sh also makes it on first use.
add_custom_command(
  OUTPUT "${QUIMBEL_WINE_PREFIX}/.quimbel-prefix-ready"
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --init
  COMMENT "Creating the Wine prefix for the tests"
  VERBATIM)
add_custom_target(quimbel_wine_prefix ALL
  DEPENDS "${QUIMBEL_WINE_PREFIX}/.quimbel-prefix-ready")
