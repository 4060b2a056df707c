# Installation, Windows resources and packages for the program.
# Included at the end of the top-level CMakeLists.txt, once app/ has defined
# the `quimbel` target and resources/ the icon.
include(GNUInstallDirs)

set(quimbel_resources_dir "${PROJECT_SOURCE_DIR}/resources")
get_target_property(quimbel_icon_dir quimbel_icons QUIMBEL_ICON_DIR)
get_target_property(quimbel_icon_sizes quimbel_icons QUIMBEL_ICON_SIZES)

install(TARGETS quimbel
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  BUNDLE DESTINATION .)

if(WIN32)
  # A window program: no console beside it, and the icon, version
  # information and manifest of resources/quimbel.rc.in.
  set_target_properties(quimbel PROPERTIES WIN32_EXECUTABLE ON)
  target_link_libraries(quimbel PRIVATE quimbel_windows_resources)

  # Qt's DLLs and plugins beside the program, so the installed folder runs
  # on a machine without Qt.
  if(COMMAND qt_generate_deploy_app_script)
    # Qt 6.5 renamed the argument that receives the script's path.
    if(Qt6_VERSION VERSION_GREATER_EQUAL 6.5)
      set(quimbel_deploy_arg OUTPUT_SCRIPT)
    else()
      set(quimbel_deploy_arg FILENAME_VARIABLE)
    endif()
    qt_generate_deploy_app_script(TARGET quimbel
      ${quimbel_deploy_arg} quimbel_deploy_script
      NO_UNSUPPORTED_PLATFORM_ERROR)
    install(SCRIPT "${quimbel_deploy_script}")
  else()
    message(STATUS "Qt ${Qt6_VERSION} has no qt_generate_deploy_app_script: run windeployqt on the installed program")
  endif()
elseif(UNIX AND NOT APPLE)
  # Desktop menu entry and the icon it names, in the freedesktop icon theme,
  # and what software centres show of the program (resources/ configures it).
  install(FILES "${quimbel_resources_dir}/org.quimbel.Quimbel.desktop"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${QUIMBEL_METAINFO_FILE}"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
  foreach(size IN LISTS quimbel_icon_sizes)
    install(FILES "${quimbel_icon_dir}/quimbel-${size}.png"
      DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
      RENAME org.quimbel.Quimbel.png)
  endforeach()
endif()

# Packages: a .deb on Linux, a .zip of the deployed folder on Windows.
set(CPACK_PACKAGE_NAME quimbel)
set(CPACK_PACKAGE_VENDOR "Quimbel developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Display screen size converter, inches and centimetres")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Quimbel converts display screen sizes. Type a size in inches and it gives\n"
  "the diagonal, the long side and the short side in centimetres, or type a\n"
  "diagonal in centimetres and it gives inches.\n"
  "Its interface is in Simplified Chinese.")
set(CPACK_PACKAGE_CONTACT "Quimbel developers <quimbel@example.org>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Quimbel")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
elseif(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Qt and C++ runtime libraries, with versions, from what the binary links.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Not linked libraries, so shlibdeps cannot see them: the interface needs a
  # font with Simplified Chinese glyphs, and Qt's own texts (the fields'
  # context menus) in Simplified Chinese.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n")
  # Qt's Wayland plugin: with it the windows are native on a Wayland desktop
  # and carry their app_id; without it Qt falls back to X11 (XWayland).
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
endif()

include(CPack)
