# Installing the program like any desktop program (cmake --install, or the .deb that CPack
# builds): the program in bin, its modules in lib/quil, its help and manual in
# share/quil (the program looks there when no quil.hlp lies beside it), a menu entry and an
# icon set.
include(GNUInstallDirs)

set(quil_manual_images
    ${PROJECT_SOURCE_DIR}/docs/main-driving.png ${PROJECT_SOURCE_DIR}/docs/main-refuelling.png
    ${PROJECT_SOURCE_DIR}/docs/main-maintenance.png ${PROJECT_SOURCE_DIR}/docs/main-expense.png
    ${PROJECT_SOURCE_DIR}/docs/entry-driving.png ${PROJECT_SOURCE_DIR}/docs/entry-refuelling.png
    ${PROJECT_SOURCE_DIR}/docs/entry-maintenance.png ${PROJECT_SOURCE_DIR}/docs/entry-expense.png
    ${PROJECT_SOURCE_DIR}/docs/itemform.png ${PROJECT_SOURCE_DIR}/docs/carform.png
    ${PROJECT_SOURCE_DIR}/docs/viewitem.png ${PROJECT_SOURCE_DIR}/docs/viewtime.png
    ${PROJECT_SOURCE_DIR}/docs/priansform.png ${PROJECT_SOURCE_DIR}/docs/print-preview.png
    ${PROJECT_SOURCE_DIR}/docs/dirset.png ${PROJECT_SOURCE_DIR}/docs/calform.png)

# A portable copy (the build folder) carries the manual beside quil.hlp as well.
configure_file(${PROJECT_SOURCE_DIR}/docs/manual/index.html
               ${CMAKE_BINARY_DIR}/manual/index.html COPYONLY)
foreach(image ${quil_manual_images})
  get_filename_component(name ${image} NAME)
  configure_file(${image} ${CMAKE_BINARY_DIR}/manual/img/${name} COPYONLY)
endforeach()

set(quil_share ${CMAKE_INSTALL_DATADIR}/quil)
install(TARGETS quil quil-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program's modules (the graph window's chart; the print, summary and tool windows), where
# the program looks for them: <prefix>/lib/quil.
install(TARGETS quil_charts quil_tools LIBRARY DESTINATION lib/quil)
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/main/quil.hlp DESTINATION ${quil_share})
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual/index.html DESTINATION ${quil_share}/manual)
install(FILES ${quil_manual_images} DESTINATION ${quil_share}/manual/img)
install(FILES ${PROJECT_SOURCE_DIR}/data/quil.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quil.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quil-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quil.png)
endforeach()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quil)
set(CPACK_PACKAGE_VENDOR "Quil Daicho developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vehicle register for small companies (クイル台帳)")
set(CPACK_PACKAGE_DESCRIPTION
    "Keeps the driving, refuelling, maintenance and expense records of a company's\n vehicles, per vehicle and per driver, with master lists, filters, printing,\n backup and restore. Japanese user interface.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quil Daicho developers <quil@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Shared libraries found by dpkg-shlibdeps; the rest the program needs at run time:
# Qt's platform plugins (a window on the desktop), Qt SQL's SQLite driver (QuilExt.db, a
# plugin), a Japanese font; Qt's own Japanese texts are recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6sql6-sqlite, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
include(CPack)
