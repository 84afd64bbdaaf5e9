# Installation and the Debian package: both programs with their man pages, the bash completion
# of quenvar-cli, the desktop entry, icon and AppStream metadata, the copyright file, and the
# udev rule that lets a normal user open the programmer.
# Included from app/CMakeLists.txt once the executable targets exist.
include(GNUInstallDirs)

set(QUENVAR_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
# Seen by the packaging tests too, hence in the cache.
set(QUENVAR_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging CACHE INTERNAL "generated packaging files")
# udev reads rules from here only, whatever the install prefix; change it for
# an unprivileged test install.
set(QUENVAR_UDEV_RULES_DIR /usr/lib/udev/rules.d CACHE PATH "Where the udev rule is installed")
# The day this version was released, for the man pages and the AppStream release entry.
set(QUENVAR_RELEASE_DATE 2026-12-08)
# The reserved example.org domain stands in until the project has a home of its own.
set(QUENVAR_APPSTREAM_ID org.example.quenvar CACHE INTERNAL "AppStream component id")

if(TARGET quenvar)
  install(TARGETS quenvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS quenvar-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages, gzipped as Debian keeps them.
set(quenvar_man_pages)
foreach(page quenvar.1 quenvar-cli.1)
  configure_file(${QUENVAR_PACKAGING_DIR}/man/${page}.in ${QUENVAR_PACKAGING_OUT}/${page} @ONLY)
  add_custom_command(OUTPUT ${QUENVAR_PACKAGING_OUT}/${page}.gz
    COMMAND gzip -9nkf ${QUENVAR_PACKAGING_OUT}/${page}
    DEPENDS ${QUENVAR_PACKAGING_OUT}/${page} VERBATIM)
  list(APPEND quenvar_man_pages ${QUENVAR_PACKAGING_OUT}/${page}.gz)
endforeach()
install(FILES ${quenvar_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The completion takes its name lists from the program's own tables.
add_executable(quenvar-completion-lists ${QUENVAR_PACKAGING_DIR}/completion/completion_lists.cpp)
target_link_libraries(quenvar-completion-lists PRIVATE quenvar_core quenvar_sim)
add_custom_command(OUTPUT ${QUENVAR_PACKAGING_OUT}/quenvar-cli
  COMMAND quenvar-completion-lists ${QUENVAR_PACKAGING_DIR}/completion/quenvar-cli.bash.in
          ${QUENVAR_PACKAGING_OUT}/quenvar-cli
  DEPENDS quenvar-completion-lists ${QUENVAR_PACKAGING_DIR}/completion/quenvar-cli.bash.in
  VERBATIM)
add_custom_target(quenvar_packaging_files ALL
  DEPENDS ${quenvar_man_pages} ${QUENVAR_PACKAGING_OUT}/quenvar-cli)
install(FILES ${QUENVAR_PACKAGING_OUT}/quenvar-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

configure_file(${QUENVAR_PACKAGING_DIR}/quenvar.metainfo.xml.in
  ${QUENVAR_PACKAGING_OUT}/${QUENVAR_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${QUENVAR_PACKAGING_OUT}/${QUENVAR_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUENVAR_PACKAGING_DIR}/quenvar.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUENVAR_PACKAGING_DIR}/quenvar.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${QUENVAR_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quenvar)
install(FILES ${PROJECT_SOURCE_DIR}/hid/70-quenvar.rules
  DESTINATION ${QUENVAR_UDEV_RULES_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenvar)
set(CPACK_PACKAGE_VENDOR "Quenvar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Programmer front end for AVR microcontrollers and 24xx serial EEPROMs")
set(CPACK_PACKAGE_DESCRIPTION
  "Reads, writes, verifies and erases AVR microcontrollers over ISP and 24xx I2C serial EEPROMs through the USB HID programmer 0451:3210, in a window (quenvar) or from scripts (quenvar-cli). A simulated programmer is included.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "Quenvar developers <quenvar@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The hex view needs a font whose digits and letters share one width; DejaVu Sans Mono is the
# one it falls back to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins, libudev1, fonts-dejavu-core")
# Qt's own dialog texts in German and Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUENVAR_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
