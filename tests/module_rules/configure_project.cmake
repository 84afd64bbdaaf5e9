# Configures the rules project in a fresh folder and checks the outcome.
#   table: every case of the table gives its chain, so the configure succeeds;
#   bad:   the configure fails with the broken rule's message.
set(build "${WORK}/${MODE}")
file(REMOVE_RECURSE "${build}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${PROJECT_DIR}" -B "${build}" -G "${GENERATOR}"
          "-DCMAKE_CXX_COMPILER=${CXX}" "-DRULES=${RULES}" "-DMODE=${MODE}"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE "${build}")
# CMake wraps long messages: compare with the line breaks taken out.
string(REGEX REPLACE "[ \n]+" " " flat "${err}")

if(MODE STREQUAL "table")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the table's configure failed:\n${err}")
  endif()
elseif(MODE STREQUAL "bad")
  set(want "Module rule broken: bad_core must not link Qt, but links "
           "bad_core -> bad_helper -> Qt6::Core")
  string(JOIN "" want ${want})
  if(result EQUAL 0)
    message(FATAL_ERROR "a library linking Qt passed the configure")
  endif()
  string(FIND "${flat}" "${want}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the configure failed without the rule's message:\n${err}")
  endif()
endif()
