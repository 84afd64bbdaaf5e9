# Installs the build into a staging folder and checks what a package gets:
# the program, its desktop entry and icon, and the udev rule where udev reads it.
#   cmake -DBUILD_DIR=<build> -DSTAGE=<folder> -P check_install.cmake
file(REMOVE_RECURSE ${STAGE})
set(ENV{DESTDIR} ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed: ${result}")
endif()

foreach(f usr/bin/quenvar usr/share/applications/quenvar.desktop
          usr/share/icons/hicolor/scalable/apps/quenvar.svg usr/lib/udev/rules.d/70-quenvar.rules)
  if(NOT EXISTS ${STAGE}/${f})
    message(FATAL_ERROR "missing ${f}")
  endif()
endforeach()

file(STRINGS ${STAGE}/usr/share/applications/quenvar.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Quenvar" "Exec=quenvar" "Icon=quenvar")
  list(FIND entry "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()

file(READ ${STAGE}/usr/lib/udev/rules.d/70-quenvar.rules rule)
string(FIND "${rule}" "ATTRS{idVendor}==\"0451\", ATTRS{idProduct}==\"3210\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "udev rule does not name the programmer")
endif()
