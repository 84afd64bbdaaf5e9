# GoogleTest for a cross build: Debian ships it as source (package googletest,
# /usr/src/googletest), built here with the target's compiler. It gives the
# same GTest::gtest, GTest::gmock and GTest::gtest_main targets as the host's
# installed package.
set(QUENVAR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${QUENVAR_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources at ${QUENVAR_GTEST_SOURCE_DIR}: "
                      "install Debian's googletest package (scripts/install-deps.sh).")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# Not our code: build it without this project's warning flags (and -Werror).
get_directory_property(quenvar_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${QUENVAR_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${quenvar_saved_options}")
