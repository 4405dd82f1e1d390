# An install notes the folders it made, beside its install_manifest.txt, so that
# scripts/uninstall removes those and never a folder that was there before (/usr/local/bin, or a
# share/man that /usr/local/man links to).
#
#   nimbrel_install(<install() arguments>)   installs and notes the DESTINATION
#
# The first install rule (declared here, before every other) notes which of those folders and
# their parents exist; the last (nimbrel_install_record(), declared after every other) writes
# the ones that exist now but did not before, with those a previous install made that are
# still there.

set_property(GLOBAL PROPERTY NIMBREL_INSTALL_DESTINATIONS "")
set(NIMBREL_INSTALL_FOLDERS_SCRIPT ${CMAKE_BINARY_DIR}/install-folders.cmake)
install(CODE "cmake_policy(SET CMP0057 NEW)\ninclude(\"${NIMBREL_INSTALL_FOLDERS_SCRIPT}\")")

macro(nimbrel_install)
  cmake_parse_arguments(_nimbrel_install "" "DESTINATION" "" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY NIMBREL_INSTALL_DESTINATIONS "${_nimbrel_install_DESTINATION}")
  install(${ARGN})
endmacro()

function(nimbrel_install_record)
  get_property(destinations GLOBAL PROPERTY NIMBREL_INSTALL_DESTINATIONS)
  list(REMOVE_DUPLICATES destinations)
  file(WRITE ${NIMBREL_INSTALL_FOLDERS_SCRIPT} "set(nimbrel_destinations \"${destinations}\")\n" [[
set(nimbrel_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/+$" "" nimbrel_root "${nimbrel_root}")
set(nimbrel_folders_seen "")
set(nimbrel_folders_before "")
foreach(destination IN LISTS nimbrel_destinations)
  if(IS_ABSOLUTE "${destination}")
    set(folder "$ENV{DESTDIR}${destination}")
  else()
    set(folder "${nimbrel_root}/${destination}")
  endif()
  string(LENGTH "${nimbrel_root}" root_length)
  string(LENGTH "${folder}" length)
  while(length GREATER root_length)
    list(APPEND nimbrel_folders_seen "${folder}")
    if(EXISTS "${folder}" OR IS_SYMLINK "${folder}")
      list(APPEND nimbrel_folders_before "${folder}")
    endif()
    get_filename_component(folder "${folder}" DIRECTORY)
    string(LENGTH "${folder}" length)
  endwhile()
endforeach()
]])
  install(CODE "set(nimbrel_record \"${CMAKE_BINARY_DIR}/install_folders.txt\")")
  install(CODE [[
    cmake_policy(SET CMP0057 NEW) # if(IN_LIST)
    # Only an install in place is recorded: a package's staging folder is not the user's.
    if("$ENV{DESTDIR}" STREQUAL "" AND NOT CMAKE_INSTALL_PREFIX MATCHES "/_CPack_Packages/")
      set(made "")
      foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
        get_filename_component(folder "${file}" DIRECTORY)
        if(NOT folder IN_LIST nimbrel_folders_seen AND NOT folder STREQUAL nimbrel_root)
          message(FATAL_ERROR "${file} went into a folder not installed through nimbrel_install()")
        endif()
      endforeach()
      foreach(folder IN LISTS nimbrel_folders_seen)
        if(NOT folder IN_LIST nimbrel_folders_before AND IS_DIRECTORY "${folder}")
          list(APPEND made "${folder}")
        endif()
      endforeach()
      # A second install over the first: what the first made is still the install's own.
      if(EXISTS "${nimbrel_record}")
        file(STRINGS "${nimbrel_record}" earlier)
        foreach(folder IN LISTS earlier)
          if(folder IN_LIST nimbrel_folders_seen AND IS_DIRECTORY "${folder}")
            list(APPEND made "${folder}")
          endif()
        endforeach()
      endif()
      list(REMOVE_DUPLICATES made)
      list(SORT made)
      file(WRITE "${nimbrel_record}" "")
      foreach(folder IN LISTS made)
        file(APPEND "${nimbrel_record}" "${folder}\n")
      endforeach()
    endif()
  ]])
endfunction()
