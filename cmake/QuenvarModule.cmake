# One library target per module folder. Sources are collected from the folder's
# src/ so that adding a file needs no edit of a shared list.
#   quenvar_module(NAME <target> DIR <src dir> [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
# Files under a posix/ folder are built everywhere but on Windows, those under
# win32/ only there: one platform's half of a seam.
function(quenvar_platform_sources out dir)
  set(kept)
  foreach(src ${ARGN})
    file(RELATIVE_PATH rel ${dir} ${src})
    if(WIN32 AND rel MATCHES "(^|/)posix/")
      continue()
    elseif(NOT WIN32 AND rel MATCHES "(^|/)win32/")
      continue()
    endif()
    list(APPEND kept ${src})
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

function(quenvar_module)
  cmake_parse_arguments(M "" "NAME;DIR" "PUBLIC_DEPS;PRIVATE_DEPS;INCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${M_DIR}/*.cpp ${M_DIR}/*.h)
  quenvar_platform_sources(srcs ${M_DIR} ${srcs})
  add_library(${M_NAME} STATIC ${srcs})
  if(M_INCLUDE)
    target_include_directories(${M_NAME} PUBLIC ${M_INCLUDE})
  else()
    target_include_directories(${M_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  target_link_libraries(${M_NAME} PUBLIC ${M_PUBLIC_DEPS} PRIVATE ${M_PRIVATE_DEPS})
endfunction()

# A GoogleTest executable from all .cpp files of a tests folder.
#   quenvar_test(NAME <target> DIR <dir> DEPS ... [EXCLUDE <subdir>...] [QT])
# EXCLUDE leaves out subfolders that are suites of their own; posix/ and win32/
# subfolders hold cases for one platform (see quenvar_platform_sources).
# QT marks a test that draws with Qt: it gets the label "qt" and sees only the tests' own font
# set, so that its results do not depend on the fonts a machine happens to have.
function(quenvar_test)
  cmake_parse_arguments(T "QT" "NAME;DIR" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${T_DIR}/*.cpp ${T_DIR}/*.h)
  quenvar_platform_sources(srcs ${T_DIR} ${srcs})
  foreach(excluded ${T_EXCLUDE})
    foreach(src ${srcs})
      string(FIND "${src}" "${excluded}/" at)
      if(at EQUAL 0)
        list(REMOVE_ITEM srcs "${src}")
      endif()
    endforeach()
  endforeach()
  add_executable(${T_NAME} ${srcs})
  target_link_libraries(${T_NAME} PRIVATE ${T_DEPS} quenvar_test_support GTest::gtest GTest::gmock
                        GTest::gtest_main)
  # The suite's own folder too, for the headers its platform subfolders share.
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${T_DIR})
  target_compile_definitions(${T_NAME} PRIVATE QUENVAR_GOLDEN_DIR="${PROJECT_SOURCE_DIR}/tests/golden")
  set(props TIMEOUT 300)
  if(T_QT)
    list(APPEND props LABELS qt ENVIRONMENT FONTCONFIG_FILE=${PROJECT_SOURCE_DIR}/tests/fonts/fonts.conf)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Each test program starts once under the emulator (Wine), not once per case.
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES ${props})
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  endif()
endfunction()
