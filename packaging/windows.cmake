# The Windows release: quenvar-cli.exe with the README and the licence in one
# zip, quenvar-cli-<version>-win64.zip (`cpack -G ZIP` in the mingw build).
# The executable needs only the system's own DLLs (see the toolchain file).
install(TARGETS quenvar-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quenvar-cli)
set(CPACK_PACKAGE_VENDOR "Quenvar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME quenvar-cli-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
