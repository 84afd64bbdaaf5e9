# Builds the zip as a release would (cpack -G ZIP), checks its file list, and
cmake_minimum_required(VERSION 3.25)
# runs the program it holds (stripped) through the emulator.
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CPACK} -G ZIP -B ${OUT} --config ${BUILD_DIR}/CPackConfig.cmake
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}\n${err}")
endif()
set(zip ${OUT}/quenvar-cli-${VERSION}-win64.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "no ${zip}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${OUT}/unpacked)
file(GLOB_RECURSE files RELATIVE ${OUT}/unpacked ${OUT}/unpacked/*)
list(SORT files)
set(want quenvar-cli-${VERSION}-win64/LICENSE quenvar-cli-${VERSION}-win64/README.md
         quenvar-cli-${VERSION}-win64/quenvar-cli.exe)
if(NOT files STREQUAL want)
  message(FATAL_ERROR "the zip holds\n  ${files}\nnot\n  ${want}")
endif()

execute_process(COMMAND ${EMULATOR} ${OUT}/unpacked/quenvar-cli-${VERSION}-win64/quenvar-cli.exe
                        --version
                RESULT_VARIABLE result OUTPUT_VARIABLE version)
if(NOT result EQUAL 0 OR NOT version STREQUAL "quenvar-cli ${VERSION}\n")
  message(FATAL_ERROR "the zip's program said '${version}' (status ${result})")
endif()
