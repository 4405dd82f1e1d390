# Cross-built for Windows: every program lands in bin/ beside the DLLs and plugins it needs,
# so that the tests run under Wine as they are, and `nimbrel_portable` lays out a folder (and
# a zip of it) that runs on any Windows machine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

function(nimbrel_dll_of target out)
  get_target_property(dll ${target} IMPORTED_LOCATION_RELEASE)
  if(NOT dll)
    get_target_property(dll ${target} IMPORTED_LOCATION)
  endif()
  set(${out} ${dll} PARENT_SCOPE)
endfunction()

function(nimbrel_compiler_dll name out)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${dll}")
    message(FATAL_ERROR "the compiler has no ${name}")
  endif()
  get_filename_component(dll "${dll}" REALPATH)
  set(${out} ${dll} PARENT_SCOPE)
endfunction()

set(nimbrel_runtime)
foreach(target Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Svg)
  nimbrel_dll_of(${target} dll)
  list(APPEND nimbrel_runtime ${dll})
endforeach()
foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  nimbrel_compiler_dll(${name} dll)
  list(APPEND nimbrel_runtime ${dll})
endforeach()
nimbrel_dll_of(Qt6::QWindowsIntegrationPlugin nimbrel_platform)
nimbrel_dll_of(Qt6::QWindowsVistaStylePlugin nimbrel_style)
nimbrel_dll_of(Qt6::QOffscreenIntegrationPlugin nimbrel_offscreen)
nimbrel_dll_of(Qt6::Test nimbrel_testlib)

# What the build folder needs to run programs and tests in place.
file(COPY ${nimbrel_runtime} ${nimbrel_testlib} DESTINATION ${CMAKE_BINARY_DIR}/bin)
file(COPY ${nimbrel_platform} ${nimbrel_offscreen} DESTINATION ${CMAKE_BINARY_DIR}/bin/platforms)
file(COPY ${nimbrel_style} DESTINATION ${CMAKE_BINARY_DIR}/bin/styles)

# The portable folder: the program and what it needs, nothing of the tests.
set(NIMBREL_PORTABLE_NAME Nimbrel-${PROJECT_VERSION}-windows-x86_64)
set(portable ${CMAKE_BINARY_DIR}/${NIMBREL_PORTABLE_NAME})
add_custom_target(nimbrel_portable
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${portable} ${portable}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${portable}/platforms ${portable}/styles
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:nimbrel> ${nimbrel_runtime} ${portable}
  COMMAND ${CMAKE_COMMAND} -E copy ${nimbrel_platform} ${portable}/platforms
  COMMAND ${CMAKE_COMMAND} -E copy ${nimbrel_style} ${portable}/styles
  COMMAND ${CMAKE_STRIP} ${portable}/nimbrel.exe
  COMMAND ${CMAKE_COMMAND} -E tar cf ${portable}.zip --format=zip ${NIMBREL_PORTABLE_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS nimbrel
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
