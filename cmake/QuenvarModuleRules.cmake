# Module rules checked when the project is configured: a library that must
# stay free of Qt or of libudev fails the configure as soon as anything it
# links, directly or through other targets, brings one in.
#
#   quenvar_forbid_links(WHAT <label> TARGET_REGEX <re> FILE_REGEX <re> TARGETS <target>...)
#     Fails for the first of TARGETS that reaches a target whose name matches
#     TARGET_REGEX, or a library file or -l flag whose name (without folder and
#     "lib") matches FILE_REGEX. Names in TARGETS that are no target are skipped,
#     so a rule may name modules that only some builds have. Imported targets
#     are followed where this runs sees them: import them GLOBAL.
#
#   quenvar_find_forbidden_link(<out-var> <target> <target-regex> <file-regex>)
#     The link chain from <target> to the first match ("a -> b -> Qt6::Core"),
#     or an empty string.
#
# Both LINK_LIBRARIES and INTERFACE_LINK_LIBRARIES are followed, so a static
# library's private dependencies count too (CMake keeps them as
# $<LINK_ONLY:...>). Inside other generator expressions every name that is a
# target is followed: a dependency taken only in some configurations still
# breaks the rule.

# Names a link item stands for: a target, a file, a flag. Generator
# expressions are opened up into the names they mention.
function(_quenvar_link_item_names out item)
  if(item MATCHES "^::@")  # the directory markers CMake adds to the lists
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  if(NOT item MATCHES "\\$<")
    set(${out} "${item}" PARENT_SCOPE)
    return()
  endif()
  string(REGEX MATCHALL "[A-Za-z0-9_.+/-]+(::[A-Za-z0-9_.+/-]+)*" words "${item}")
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

function(_quenvar_link_items out target)
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(${out} "${aliased}" PARENT_SCOPE)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(imported ${target} IMPORTED)
  set(items "")
  if(NOT imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(direct ${target} LINK_LIBRARIES)
    if(direct)
      list(APPEND items ${direct})
    endif()
  endif()
  get_target_property(usage ${target} INTERFACE_LINK_LIBRARIES)
  if(usage)
    list(APPEND items ${usage})
  endif()
  if(imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
    # An imported library is also the file it stands for.
    get_target_property(configs ${target} IMPORTED_CONFIGURATIONS)
    set(properties IMPORTED_LOCATION)
    foreach(config ${configs})
      list(APPEND properties IMPORTED_LOCATION_${config})
    endforeach()
    foreach(property ${properties})
      get_target_property(location ${target} ${property})
      if(location)
        list(APPEND items "${location}")
      endif()
    endforeach()
  endif()
  set(${out} "${items}" PARENT_SCOPE)
endfunction()

function(_quenvar_file_name out name)
  string(REGEX REPLACE "^-l" "" name "${name}")
  get_filename_component(name "${name}" NAME)
  string(REGEX REPLACE "^lib" "" name "${name}")
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

function(quenvar_find_forbidden_link out target target_regex file_regex)
  # Breadth first, so the chain reported is a shortest one; each target once,
  # so cycles between static libraries end.
  set(queue ${target})
  set(seen ${target})
  string(MAKE_C_IDENTIFIER "${target}" id)
  set(chain_${id} "${target}")
  while(queue)
    list(POP_FRONT queue current)
    string(MAKE_C_IDENTIFIER "${current}" id)
    set(chain "${chain_${id}}")
    _quenvar_link_items(items ${current})
    foreach(item ${items})
      _quenvar_link_item_names(names "${item}")
      foreach(name ${names})
        if(TARGET ${name})
          if(name MATCHES "${target_regex}")
            set(${out} "${chain} -> ${name}" PARENT_SCOPE)
            return()
          endif()
          if(NOT name IN_LIST seen)
            list(APPEND seen ${name})
            list(APPEND queue ${name})
            string(MAKE_C_IDENTIFIER "${name}" next)
            set(chain_${next} "${chain} -> ${name}")
          endif()
        else()
          # An imported target of another folder is no target here; its name
          # still tells what it is.
          _quenvar_file_name(file "${name}")
          if(name MATCHES "${target_regex}" OR file MATCHES "${file_regex}")
            set(${out} "${chain} -> ${name}" PARENT_SCOPE)
            return()
          endif()
        endif()
      endforeach()
    endforeach()
  endwhile()
  set(${out} "" PARENT_SCOPE)
endfunction()

function(quenvar_forbid_links)
  cmake_parse_arguments(R "" "WHAT;TARGET_REGEX;FILE_REGEX" "TARGETS" ${ARGN})
  foreach(target ${R_TARGETS})
    if(NOT TARGET ${target})
      continue()
    endif()
    quenvar_find_forbidden_link(chain ${target} "${R_TARGET_REGEX}" "${R_FILE_REGEX}")
    if(chain)
      message(FATAL_ERROR "Module rule broken: ${target} must not link ${R_WHAT}, but "
                          "links ${chain}")
    endif()
  endforeach()
endfunction()

# What identifies the two libraries the rules keep out.
set(QUENVAR_QT_TARGET_REGEX "^Qt[0-9]*::")
set(QUENVAR_QT_FILE_REGEX "^Qt[0-9]*[A-Z]")
set(QUENVAR_UDEV_TARGET_REGEX "(^|::)([Ll]ib)?[Uu][Dd][Ee][Vv]$")
set(QUENVAR_UDEV_FILE_REGEX "^udev([.]|$)")
