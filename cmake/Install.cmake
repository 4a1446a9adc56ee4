# Installing the program like any desktop program (cmake --install, or the Debian packages
# of debian/, which install this tree): the program in bin, its modules in QUIL_MODULE_DIR (lib/<architecture>/quil), its help and manual in
# share/quil (the program looks there when no quil.hlp lies beside it), a menu entry and an
# icon set.
include(GNUInstallDirs)

# Every picture the manual shows (docs/manual/index.html's img/ names), from docs/.
set(quil_manual_image_names
    about accounts alcohol-detectors alcohol-entry alcohol-list alcohol-missing
    alcohol-printed calform carform csv-export dirset
    entry-driving entry-expense entry-maintenance entry-refuelling insight-chart-cost
    insight-chart-distance insight-fuel-months insight-fuel-vehicles insight-odometer insight-schedule
    itemform main-driving main-expense main-maintenance main-refuelling papers-expiry papers-licence
    papers-vehicle
    priansform print-preview schedule-notice viewitem viewtime web-accounts
    web-login web-home web-check web-refusal web-drive web-records)
set(quil_manual_images)
foreach(name ${quil_manual_image_names})
  list(APPEND quil_manual_images ${PROJECT_SOURCE_DIR}/docs/${name}.png)
endforeach()

# A portable copy (the build folder) carries the manual beside quil.hlp as well.
configure_file(${PROJECT_SOURCE_DIR}/docs/manual/index.html
               ${CMAKE_BINARY_DIR}/manual/index.html COPYONLY)
foreach(image ${quil_manual_images})
  get_filename_component(name ${image} NAME)
  configure_file(${image} ${CMAKE_BINARY_DIR}/manual/img/${name} COPYONLY)
endforeach()

set(quil_share ${CMAKE_INSTALL_DATADIR}/quil)
install(TARGETS quil quil-tool quil-web RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The drivers' web page runs as a system service. Its unit names the program where this
# install puts it (the prefix is known only when installing: `cmake --install --prefix`, and
# the packages' /usr) and goes where systemd reads the units of that prefix: Debian's
# /lib/systemd/system for /usr, <prefix>/lib/systemd/system otherwise (systemd reads
# /usr/local/lib/systemd/system). Its commented settings go to /etc/quil, a conffile of the
# package (an administrator's changes survive an upgrade). The package's postinst makes its
# user; a source install does not (see the README).
install(CODE "
  set(quil_prefix \"\${CMAKE_INSTALL_PREFIX}\")
  if(quil_prefix STREQUAL \"/usr\")
    set(quil_unit_dir /lib/systemd/system)
  else()
    set(quil_unit_dir \"\${quil_prefix}/lib/systemd/system\")
  endif()
  file(READ \"${PROJECT_SOURCE_DIR}/data/quil-web.service.in\" quil_unit)
  string(REPLACE \"@QUIL_WEB_PROGRAM@\" \"\${quil_prefix}/${CMAKE_INSTALL_BINDIR}/quil-web\"
         quil_unit \"\${quil_unit}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/package/unit/quil-web.service\" \"\${quil_unit}\")
  file(INSTALL DESTINATION \"\${quil_unit_dir}\" TYPE FILE
       FILES \"${CMAKE_BINARY_DIR}/package/unit/quil-web.service\")
")
install(FILES ${PROJECT_SOURCE_DIR}/data/quil-web.conf DESTINATION /etc/quil)
# The program's modules (the graph window's chart; the print, summary and tool windows), where
# the program looks for them: <prefix>/QUIL_MODULE_DIR. They are private libraries, loaded by
# path: outside the linker's folders, so the package needs no ldconfig call.
install(TARGETS quil_charts quil_tools LIBRARY DESTINATION ${QUIL_MODULE_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/main/quil.hlp DESTINATION ${quil_share})
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual/index.html DESTINATION ${quil_share}/manual)
install(FILES ${quil_manual_images} DESTINATION ${quil_share}/manual/img)
install(FILES ${PROJECT_SOURCE_DIR}/data/quil.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# What software centres show of it (AppStream), named after its component id.
configure_file(${PROJECT_SOURCE_DIR}/data/quil.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/package/org.example.quil.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/org.example.quil.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quil.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quil-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quil.png)
endforeach()

# The package's documents: copyright, changelog and the two manual pages, compressed as
# Debian keeps them.
set(QUIL_MAINTAINER "Quil Daicho developers <quil-daicho@example.org>"
    CACHE STRING "The package's maintainer (name <address>)")
set(quil_package_docs ${CMAKE_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/data/debian/copyright.in ${quil_package_docs}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${quil_package_docs}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/man/quil.1.in ${quil_package_docs}/quil.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/man/quil-tool.1.in ${quil_package_docs}/quil-tool.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/man/quil-web.8.in ${quil_package_docs}/quil-web.8 @ONLY)
# The same pages in Japanese, under man/ja.
foreach(page quil.1 quil-tool.1 quil-web.8)
  configure_file(${PROJECT_SOURCE_DIR}/data/man/ja/${page}.in ${quil_package_docs}/ja/${page} @ONLY)
endforeach()
set(quil_compressed)
foreach(doc changelog quil.1 quil-tool.1 quil-web.8 ja/quil.1 ja/quil-tool.1 ja/quil-web.8)
  add_custom_command(OUTPUT ${quil_package_docs}/${doc}.gz
                     COMMAND gzip -9nf -k ${quil_package_docs}/${doc}
                     DEPENDS ${quil_package_docs}/${doc}
                     VERBATIM)
  list(APPEND quil_compressed ${quil_package_docs}/${doc}.gz)
endforeach()
add_custom_target(quil_package_docs ALL DEPENDS ${quil_compressed})
install(FILES ${quil_package_docs}/copyright ${quil_package_docs}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quil)
install(FILES ${quil_package_docs}/quil.1.gz ${quil_package_docs}/quil-tool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${quil_package_docs}/quil-web.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${quil_package_docs}/ja/quil.1.gz ${quil_package_docs}/ja/quil-tool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
install(FILES ${quil_package_docs}/ja/quil-web.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man8)
# The administrator's guide (Japanese): the server, its pg_hba.conf, TLS and quil-web's set-up.
install(FILES ${PROJECT_SOURCE_DIR}/docs/admin-guide.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quil-web)
