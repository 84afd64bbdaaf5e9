# One library target per module folder. Sources are collected from the folder's
# src/ so that adding a file needs no edit of a shared list.
#   quenvar_module(NAME <target> DIR <src dir> [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
function(quenvar_module)
  cmake_parse_arguments(M "" "NAME;DIR" "PUBLIC_DEPS;PRIVATE_DEPS;INCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${M_DIR}/*.cpp ${M_DIR}/*.h)
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
# EXCLUDE leaves out subfolders that are suites of their own.
# QT marks a test that draws with Qt: it gets the label "qt" and sees only the tests' own font
# set, so that its results do not depend on the fonts a machine happens to have.
function(quenvar_test)
  cmake_parse_arguments(T "QT" "NAME;DIR" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${T_DIR}/*.cpp ${T_DIR}/*.h)
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
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE QUENVAR_GOLDEN_DIR="${PROJECT_SOURCE_DIR}/tests/golden")
  set(props TIMEOUT 300)
  if(T_QT)
    list(APPEND props LABELS qt ENVIRONMENT FONTCONFIG_FILE=${PROJECT_SOURCE_DIR}/tests/fonts/fonts.conf)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
