# Cross-built for Windows against a static Qt: every program is one .exe that needs nothing
# beside it, and `nimbrel_portable` lays out the folder a player downloads (and its zip):
# nimbrel.exe, its licence, the third-party notices and a short read-me.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The notices of what the static exe carries, with the full GPL and LGPL texts the LGPL asks for.
set(notices ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
add_custom_command(OUTPUT ${notices}
  COMMAND ${CMAKE_COMMAND} -DOUT=${notices} -DHEAD=${PROJECT_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/Notices.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt ${PROJECT_SOURCE_DIR}/cmake/Notices.cmake
  VERBATIM)

set(NIMBREL_PORTABLE_NAME Nimbrel-${PROJECT_VERSION}-windows-x86_64)
set(portable ${CMAKE_BINARY_DIR}/${NIMBREL_PORTABLE_NAME})
add_custom_target(nimbrel_portable
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${portable} ${portable}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${portable}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:nimbrel> ${portable}
  COMMAND ${CMAKE_STRIP} ${portable}/nimbrel.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${portable}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${notices} ${portable}/THIRD-PARTY-NOTICES.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${portable}/README.txt
  COMMAND ${CMAKE_COMMAND} -E tar cf ${portable}.zip --format=zip ${NIMBREL_PORTABLE_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS nimbrel ${notices}
  COMMENT "Laying out ${NIMBREL_PORTABLE_NAME} and its zip"
  VERBATIM)

# Tests run under Wine, which passes no variable whose name starts with QT_: each is given
# with WINE in front. The offscreen platform on Windows finds no fonts by itself.
set(NIMBREL_TEST_ENVIRONMENT
  WINEQT_QPA_PLATFORM=offscreen
  WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu
  WINEQT_ASSUME_STDERR_HAS_CONSOLE=1
  WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
  WINEDEBUG=-all)

# A path of this machine as the Windows programs under Wine see it.
function(nimbrel_target_path path out)
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()
