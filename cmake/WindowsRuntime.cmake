# Cross-built for Windows against a static Qt: every program is one .exe that needs nothing
# beside it, and `nimbrel_portable` lays out the folder a player downloads (and its zip):
# nimbrel.exe and its console twin nimbrel.com, its licence, the third-party notices, a short
# read-me, the zip of its source and qt-source\ (what relinking with another Qt needs).
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# What ships beside the exe, made by packaging/windows/release.py: the notices of everything
# linked into it, from the attributions of the static Qt and the MinGW-w64 runtime's copyright
# files (so nothing is missed by hand-picking), and the texts with Windows line ends.
set(NIMBREL_QT_ATTRIBUTIONS ${PROJECT_SOURCE_DIR}/packaging/windows/qt-6.4.2-attributions
    CACHE PATH "The licence attributions of the static Qt linked (attributions.json, licenses/)")
if(NOT EXISTS ${NIMBREL_QT_ATTRIBUTIONS}/attributions.json)
  message(FATAL_ERROR "No attributions of the static Qt in ${NIMBREL_QT_ATTRIBUTIONS}: the exe's notices are made "
                      "from them. A Qt that bundles other libraries needs its own, named in NIMBREL_QT_ATTRIBUTIONS.")
endif()
# qt-source\SOURCES.txt names the archive of the static Qt this build links, as it is.
set(NIMBREL_QT_ARCHIVE "" CACHE FILEPATH "The archive of the static Qt this build was made from")
if(NOT EXISTS "${NIMBREL_QT_ARCHIVE}")
  message(FATAL_ERROR "Name the archive of the static Qt (qt-6.4.2-mingw64-static.tar.xz) in NIMBREL_QT_ARCHIVE: "
                      "the release says which Qt it links. scripts/build-windows does.")
endif()
get_filename_component(NIMBREL_QT_ARCHIVE_NAME "${NIMBREL_QT_ARCHIVE}" NAME)
file(SIZE "${NIMBREL_QT_ARCHIVE}" NIMBREL_QT_ARCHIVE_SIZE)
file(SHA256 "${NIMBREL_QT_ARCHIVE}" NIMBREL_QT_ARCHIVE_SHA256)
# The Corresponding Source of that Qt travels beside the zip, named with its sha256 in the texts.
set(NIMBREL_QT_SOURCE_ARCHIVE "" CACHE FILEPATH "The archive of the linked Qt's source (Nimbrel-<version>-qt-source.tar)")
if(NOT EXISTS "${NIMBREL_QT_SOURCE_ARCHIVE}")
  message(FATAL_ERROR "Name the archive of the linked Qt's source in NIMBREL_QT_SOURCE_ARCHIVE: the release "
                      "carries it beside the zip. scripts/build-windows makes it.")
endif()
get_filename_component(NIMBREL_QT_SOURCE_FOLDER "${NIMBREL_QT_SOURCE_ARCHIVE}" NAME_WLE)
file(SIZE "${NIMBREL_QT_SOURCE_ARCHIVE}" size)
file(SHA256 "${NIMBREL_QT_SOURCE_ARCHIVE}" sha256)
set(NIMBREL_QT_SOURCE "${NIMBREL_QT_SOURCE_FOLDER}.tar (${size} bytes, sha256 ${sha256})")
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/SOURCES.txt.in SOURCES.txt @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt README.txt @ONLY)
# The source zip (the Corresponding Application Code) goes into the zip a player downloads, so
# that it travels wherever the zip is copied; scripts/build-windows makes it.
set(NIMBREL_SOURCE_ZIP "" CACHE FILEPATH "The zip of this build's source, carried in the Windows zip")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(release_py ${PROJECT_SOURCE_DIR}/packaging/windows/release.py)
set(notices ${CMAKE_BINARY_DIR}/texts/THIRD-PARTY-NOTICES.txt)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/notices-head.txt notices-head.txt @ONLY)
add_custom_command(OUTPUT ${notices} texts/LICENSE.txt texts/README.txt texts/SOURCES.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory texts
  COMMAND Python3::Interpreter ${release_py} notices notices-head.txt ${NIMBREL_QT_ATTRIBUTIONS} ${notices}
  COMMAND Python3::Interpreter ${release_py} text ${PROJECT_SOURCE_DIR}/LICENSE texts/LICENSE.txt
  COMMAND Python3::Interpreter ${release_py} text ${CMAKE_BINARY_DIR}/README.txt texts/README.txt
  COMMAND Python3::Interpreter ${release_py} text ${CMAKE_BINARY_DIR}/SOURCES.txt texts/SOURCES.txt
  DEPENDS ${release_py} ${CMAKE_BINARY_DIR}/notices-head.txt ${NIMBREL_QT_ATTRIBUTIONS}/attributions.json
          ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/SOURCES.txt
  VERBATIM)
add_custom_target(nimbrel_texts DEPENDS ${notices})

set(NIMBREL_PORTABLE_NAME Nimbrel-${PROJECT_VERSION}-windows-x86_64)
get_filename_component(NIMBREL_QT_ATTRIBUTIONS_NAME ${NIMBREL_QT_ATTRIBUTIONS} NAME)
set(portable ${CMAKE_BINARY_DIR}/${NIMBREL_PORTABLE_NAME})
if(NIMBREL_SOURCE_ZIP)
  set(copy_source_zip COMMAND ${CMAKE_COMMAND} -E copy ${NIMBREL_SOURCE_ZIP} ${portable})
else()
  set(copy_source_zip COMMAND ${CMAKE_COMMAND} -E echo "No NIMBREL_SOURCE_ZIP: the zip must carry its source."
                      COMMAND ${CMAKE_COMMAND} -E false)
endif()
add_custom_target(nimbrel_portable
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${portable} ${portable}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${portable}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:nimbrel> $<TARGET_FILE:nimbrel_console> ${portable}
  COMMAND ${CMAKE_STRIP} ${portable}/nimbrel.exe ${portable}/nimbrel.com
  COMMAND ${CMAKE_COMMAND} -E copy texts/LICENSE.txt texts/README.txt ${notices} ${portable}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${portable}/qt-source
  COMMAND ${CMAKE_COMMAND} -E copy texts/SOURCES.txt ${PROJECT_SOURCE_DIR}/packaging/windows/build-qt-mingw-static.sh
          ${portable}/qt-source
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${NIMBREL_QT_ATTRIBUTIONS}
          ${portable}/qt-source/${NIMBREL_QT_ATTRIBUTIONS_NAME}
  COMMAND Python3::Interpreter ${release_py} patches ${PROJECT_SOURCE_DIR}/packaging/windows/build-qt-mingw-static.sh
          ${portable}/qt-source/patches
  ${copy_source_zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${portable}.zip --format=zip ${NIMBREL_PORTABLE_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS nimbrel nimbrel_console ${notices} ${NIMBREL_SOURCE_ZIP}
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
