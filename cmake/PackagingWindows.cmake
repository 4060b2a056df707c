# Installing the Windows program, its installer and its .zip.
#
#   cmake --build BUILD-DIR --target package
#
# makes, in BUILD-DIR:
#   quimbel-<version>-win64.exe  an installer (NSIS; Debian's nsis package has
#                                makensis): quimbel.exe in Program Files\Quimbel,
#                                a Start-menu shortcut and an entry in the list
#                                of installed programs; /S installs silently
#   quimbel-<version>-win64.zip  quimbel.exe alone, to run without installing
#
# The installer's script is resources/windows/NSIS.template.in. Included from
# the top-level CMakeLists.txt; does nothing unless the program is built on
# the win32 back end.
if(NOT (QUIMBEL_BUILD_APP AND QUIMBEL_WINDOW_BACKEND STREQUAL "win32"))
  return()
endif()

# One file, at the top of the install folder: the program needs nothing
# beside it (static runtime, resources linked in). Only this component is
# packaged, so nothing installed by other rules can slip into the packages.
install(TARGETS quimbel RUNTIME DESTINATION . COMPONENT program)

# Who publishes it, as the English block of resources/quimbel.rc.in and the
# Linux package say.
set(CPACK_PACKAGE_NAME quimbel)
set(CPACK_PACKAGE_VENDOR "Quimbel developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Display screen size converter, inches and centimetres")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Quimbel")
# Unversioned, so a newer installer replaces the entry instead of adding one.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Quimbel")
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/")
# The build has debug information; the packages do not need it. Stripping
# rewrites the program's time stamp, by default with the time it runs, once
# for each package: SOURCE_DATE_EPOCH (as set when CMake ran, or as given to
# cpack) makes it one, so both packages hold the same quimbel.exe.
set(CPACK_STRIP_FILES ON)
string(TIMESTAMP CPACK_QUIMBEL_SOURCE_DATE_EPOCH "%s" UTC)
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/CPackWindowsOptions.cmake")
file(CONFIGURE OUTPUT "${CPACK_PROJECT_CONFIG_FILE}" CONTENT [[
# Read by cpack before each package (cmake/PackagingWindows.cmake).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_QUIMBEL_SOURCE_DATE_EPOCH}")
endif()
]])
set(CPACK_GENERATOR NSIS ZIP)

# The installer. Its script is ours (resources/windows/NSIS.template.in): two
# languages, no PATH or component pages, a 64-bit installer.
list(PREPEND CMAKE_MODULE_PATH "${PROJECT_SOURCE_DIR}/resources/windows")
set(CPACK_NSIS_EXECUTABLE makensis)
set(CPACK_NSIS_DISPLAY_NAME "${QUIMBEL_PRODUCT_TITLE}")
set(CPACK_NSIS_PACKAGE_NAME "${QUIMBEL_PRODUCT_TITLE}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME "quimbel.exe")
get_target_property(quimbel_icon_dir quimbel_icons QUIMBEL_ICON_DIR)
set(CPACK_NSIS_MUI_ICON "${quimbel_icon_dir}/quimbel.ico")
set(CPACK_NSIS_MUI_UNIICON "${quimbel_icon_dir}/quimbel.ico")
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# For the template alone: the installer's own version block.
set(CPACK_QUIMBEL_VERSION_QUAD "${QUIMBEL_VERSION_QUAD}")

# The .zip: the program at its top, with no folder around it. (The installer
# takes its files from CPack's staging folder either way.)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

include(CPack)
