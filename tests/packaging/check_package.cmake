# Builds the Debian package from the build tree and checks what it holds: its file list
# (dpkg -c), its version and dependencies, the programs' own versions, the desktop entry and the
# udev rule.
#   cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DOUT=<folder> -DVERSION=<project version>
#         -DAPPSTREAM_ID=<id> -P check_package.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${CPACK} -G DEB -B ${OUT} --config ${BUILD_DIR}/CPackConfig.cmake
  RESULT_VARIABLE result OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB debs ${OUT}/*.deb)
list(LENGTH debs count)
if(NOT result EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack failed (${result}), packages: ${debs}\n${log}")
endif()

function(deb_query out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE text
    ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed: ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

deb_query(listing dpkg -c ${debs})
foreach(f usr/bin/quenvar usr/bin/quenvar-cli
          usr/share/man/man1/quenvar.1.gz usr/share/man/man1/quenvar-cli.1.gz
          usr/share/bash-completion/completions/quenvar-cli
          usr/share/metainfo/${APPSTREAM_ID}.metainfo.xml
          usr/share/applications/quenvar.desktop
          usr/share/icons/hicolor/scalable/apps/quenvar.svg
          usr/share/doc/quenvar/copyright
          usr/lib/udev/rules.d/70-quenvar.rules)
  string(FIND "${listing}" " ./${f}\n" at)
  if(at EQUAL -1)
    string(FIND "${listing}" " ./${f}" at)  # the last line has no newline
  endif()
  if(at EQUAL -1)
    message(FATAL_ERROR "the package lacks ${f}:\n${listing}")
  endif()
endforeach()

deb_query(version dpkg-deb -f ${debs} Version)
deb_query(depends dpkg-deb -f ${debs} Depends)
if(NOT version STREQUAL VERSION)
  message(FATAL_ERROR "package version '${version}', project version '${VERSION}'")
endif()
if(NOT depends MATCHES "(^|, )fonts-dejavu-core(,|$)")
  message(FATAL_ERROR "the package does not depend on the hex view's font: ${depends}")
endif()

# The programs as packaged say the package's version.
set(root ${OUT}/root)
deb_query(ignored dpkg-deb -x ${debs} ${root})
foreach(program quenvar quenvar-cli)
  deb_query(said ${root}/usr/bin/${program} --version)
  if(NOT said STREQUAL "${program} ${VERSION}")
    message(FATAL_ERROR "${program} --version says '${said}', the package is ${VERSION}")
  endif()
endforeach()

file(STRINGS ${root}/usr/share/applications/quenvar.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Quenvar" "Exec=quenvar" "Icon=quenvar")
  list(FIND entry "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()

file(READ ${root}/usr/lib/udev/rules.d/70-quenvar.rules rule)
string(FIND "${rule}" "ATTRS{idVendor}==\"0451\", ATTRS{idProduct}==\"3210\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "udev rule does not name the programmer")
endif()
