# Installation and the Debian package: the program, its desktop entry and
# icon, and the udev rule that lets a normal user open the programmer.
# Included from app/CMakeLists.txt once the executable target exists.
include(GNUInstallDirs)

set(QUENVAR_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
# udev reads rules from here only, whatever the install prefix; change it for
# an unprivileged test install.
set(QUENVAR_UDEV_RULES_DIR /usr/lib/udev/rules.d CACHE PATH "Where the udev rule is installed")

if(TARGET quenvar)
  install(TARGETS quenvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${QUENVAR_PACKAGING_DIR}/quenvar.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUENVAR_PACKAGING_DIR}/quenvar.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/hid/70-quenvar.rules
  DESTINATION ${QUENVAR_UDEV_RULES_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenvar)
set(CPACK_PACKAGE_VENDOR "Quenvar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Programmer front end for AVR microcontrollers and 24xx serial EEPROMs")
set(CPACK_PACKAGE_CONTACT "Quenvar developers <quenvar@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins, libudev1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUENVAR_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
