# Run by CTest as `cmake -DBUILD_DIR=... -DPREFIX=... -DSIZES=16;32;... -P`:
# installs the build into a scratch prefix, as the .deb does under /usr, and
# checks that a desktop finds the program, its icon and its software-centre
# metadata there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(desktop "${PREFIX}/share/applications/org.quimbel.Quimbel.desktop")
if(NOT EXISTS "${desktop}")
  message(FATAL_ERROR "no desktop entry at ${desktop}")
endif()
file(STRINGS "${desktop}" exec_line REGEX "^Exec=")
file(STRINGS "${desktop}" icon_line REGEX "^Icon=")
string(REGEX REPLACE "^Exec=([^ ]*).*" "\\1" program "${exec_line}")
string(REGEX REPLACE "^Icon=" "" icon "${icon_line}")
if(NOT EXISTS "${PREFIX}/bin/${program}" OR IS_DIRECTORY "${PREFIX}/bin/${program}")
  message(FATAL_ERROR "the desktop entry starts '${program}', which is not installed in bin/")
endif()

# Each theme size directory must hold the icon the entry names, at that size:
# a desktop scales or skips an icon filed under the wrong size.
foreach(size IN LISTS SIZES)
  set(png "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${icon}.png")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "icon '${icon}' missing at ${size}x${size}: ${png}")
  endif()
  file(READ "${png}" ihdr OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${ihdr}" 0 8 width_hex)
  string(SUBSTRING "${ihdr}" 8 8 height_hex)
  math(EXPR width "0x${width_hex}")
  math(EXPR height "0x${height_hex}")
  if(NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "${png} is ${width}x${height}, filed as ${size}x${size}")
  endif()
endforeach()

# Software centres list the program from its metadata, filed under its
# component id, and start it through the desktop entry it names.
set(metainfo "${PREFIX}/share/metainfo/org.quimbel.Quimbel.metainfo.xml")
if(NOT EXISTS "${metainfo}")
  message(FATAL_ERROR "no software-centre metadata at ${metainfo}")
endif()
file(READ "${metainfo}" metainfo_text)
if(NOT metainfo_text MATCHES "<id>org\\.quimbel\\.Quimbel</id>")
  message(FATAL_ERROR "${metainfo} is not filed under its component id")
endif()
if(NOT metainfo_text MATCHES "<launchable type=\"desktop-id\">([^<]+)</launchable>")
  message(FATAL_ERROR "${metainfo} names no desktop entry to start")
endif()
if(NOT EXISTS "${PREFIX}/share/applications/${CMAKE_MATCH_1}")
  message(FATAL_ERROR "the metadata starts '${CMAKE_MATCH_1}', which is not in share/applications")
endif()
message(STATUS "installed layout is complete")
