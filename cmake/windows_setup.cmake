# QuenvaleSetup.exe (target quenvale_setup_win): the setup window and its silent mode,
# carrying every file of the Windows install table as an RCDATA resource under the id the
# table names (setup/table.cpp), plus its icon (101), its picture (102) and its manifest
# (per-monitor DPI v2, common controls 6). Included from cmake/windows.cmake.
#
# The .rc is written at configure time from the table, so the ids live in one place; the
# files it names are the build's own: bin/Quenvale.exe (quenvale_win), the three DLLs
# (win_dlls) and bin/QuenvaleWeb from the room build (web/tools/build.mjs).

if(NOT TARGET quenvale_win)
  message(STATUS "QuenvaleSetup.exe needs the quenvale_win target; not built")
  return()
endif()

enable_language(RC)
include(${CMAKE_SOURCE_DIR}/cmake/png_to_ico.cmake)

# The room page's files, written by its own build into this tree (skipped when complete
# and newer than their sources).
file(READ ${CMAKE_SOURCE_DIR}/setup/table.cpp setup_table)
string(REGEX MATCH "#ifdef _WIN32(.*)#else" setup_table "${setup_table}")
string(REGEX MATCHALL "\\{\"[^\"]+\", \"[^\"]+\", (true|false), [0-9]+\\}" setup_rows "${CMAKE_MATCH_1}")
list(LENGTH setup_rows setup_count)
if(setup_count LESS 20)
  message(FATAL_ERROR "cmake/windows_setup.cmake: read only ${setup_count} rows of the Windows install table")
endif()

set(setup_rc "${CMAKE_BINARY_DIR}/setup/quenvale_setup.rc")
set(setup_ico "${CMAKE_BINARY_DIR}/setup/quenvale.ico")
set(setup_rc_text "// Written by cmake/windows_setup.cmake from setup/table.cpp.\n")
string(APPEND setup_rc_text "1 24 \"${CMAKE_SOURCE_DIR}/setup/win32/window/setup.manifest\"\n")
string(APPEND setup_rc_text "101 ICON \"${setup_ico}\"\n")
string(APPEND setup_rc_text "102 RCDATA \"${CMAKE_SOURCE_DIR}/resources/logo.png\"\n")
set(setup_carried)
set(setup_web)
foreach(row ${setup_rows})
  string(REGEX MATCH "\\{\"([^\"]+)\", \"([^\"]+)\", (true|false), ([0-9]+)\\}" _ "${row}")
  set(source "${CMAKE_BINARY_DIR}/${CMAKE_MATCH_2}")
  string(APPEND setup_rc_text "${CMAKE_MATCH_4} RCDATA \"${source}\"\n")
  list(APPEND setup_carried "${source}")
  if(CMAKE_MATCH_2 MATCHES "^bin/QuenvaleWeb/")
    list(APPEND setup_web "${source}")
  endif()
endforeach()
file(CONFIGURE OUTPUT "${setup_rc}" CONTENT "${setup_rc_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/setup/table.cpp)

add_custom_target(win_web
  COMMAND ${CMAKE_COMMAND} -E env QUENVALE_WEB_OUT=${CMAKE_BINARY_DIR}/bin/QuenvaleWeb
    node ${CMAKE_SOURCE_DIR}/web/tools/build.mjs --if-needed
  BYPRODUCTS ${setup_web}
  COMMENT "Room page files"
  VERBATIM)

quenvale_png_to_ico(quenvale_setup_icon "${setup_ico}" "${CMAKE_SOURCE_DIR}/resources/logo.png")

# The setup travels alone, without the DLLs it installs. The engine's file helpers pull
# in core/crypto.cpp (core::cleanse), which imports libcrypto; the setup never calls it,
# so libcrypto is delay-loaded: the DLL is needed only if one of its functions is called.
# The delay-load library is made from the DLL's export table.
set(setup_crypto_dll "${QUENVALE_WIN_DEPS}/bin/libcrypto-3-x64.dll")
set(setup_crypto_def "${CMAKE_BINARY_DIR}/setup/libcrypto-delay.def")
set(setup_crypto_delay "${CMAKE_BINARY_DIR}/setup/libcrypto-delay.a")
if(NOT EXISTS "${setup_crypto_delay}" OR "${setup_crypto_dll}" IS_NEWER_THAN "${setup_crypto_delay}")
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${setup_crypto_dll}" OUTPUT_VARIABLE exports RESULT_VARIABLE rc)
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(.*)" exports "${exports}")
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z0-9_]+" names "${CMAKE_MATCH_1}")
  list(LENGTH names name_count)
  if(NOT rc EQUAL 0 OR name_count LESS 100)
    message(FATAL_ERROR "cannot read the exports of ${setup_crypto_dll}")
  endif()
  set(def "LIBRARY libcrypto-3-x64.dll\nEXPORTS\n")
  foreach(n ${names})
    string(REGEX REPLACE "\\[ *[0-9]+\\] " "" n "${n}")
    string(APPEND def "${n}\n")
  endforeach()
  file(WRITE "${setup_crypto_def}" "${def}")
  string(REPLACE "objdump" "dlltool" setup_dlltool "${CMAKE_OBJDUMP}")
  execute_process(COMMAND ${setup_dlltool} --input-def "${setup_crypto_def}" --dllname libcrypto-3-x64.dll
      --output-delaylib "${setup_crypto_delay}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${setup_crypto_delay}")
  endif()
endif()

file(GLOB SETUP_WINDOW_SOURCES CONFIGURE_DEPENDS setup/win32/window/*.cpp)
add_executable(quenvale_setup_win WIN32 ${SETUP_WINDOW_SOURCES} "${setup_rc}")
set_target_properties(quenvale_setup_win PROPERTIES OUTPUT_NAME QuenvaleSetup)
# The delay-load library after quenvale_core, before the import library that comes with it.
target_link_libraries(quenvale_setup_win PRIVATE quenvale_setup_engine quenvale_core "${setup_crypto_delay}"
  gdiplus comctl32 dwmapi shlwapi gdi32)
# windres does not see what the .rc names: every carried file is a dependency of it.
set_source_files_properties("${setup_rc}" PROPERTIES OBJECT_DEPENDS
  "${setup_carried};${setup_ico};${CMAKE_SOURCE_DIR}/resources/logo.png;${CMAKE_SOURCE_DIR}/setup/win32/window/setup.manifest")
add_dependencies(quenvale_setup_win quenvale_win win_dlls win_web quenvale_setup_icon)
list(APPEND QUENVALE_WIN_CHECKED_TARGETS quenvale_setup_win)

# Starts the setup with an exact command line and reads and drives its window from
# outside (scripts/win/setup-test.sh).
add_executable(setup_probe tests/win/helpers/setup_probe.cpp)
target_compile_options(setup_probe PRIVATE -municode)
target_link_options(setup_probe PRIVATE -municode)
target_link_libraries(setup_probe PRIVATE gdi32 user32)
list(APPEND QUENVALE_WIN_CHECKED_TARGETS setup_probe)
