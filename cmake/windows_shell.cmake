# Quenvale.exe: the Win32 shell over the portable core, with the web view host of
# cmake/windows_webview.cmake. Included from cmake/windows.cmake.
include(${CMAKE_SOURCE_DIR}/cmake/png_to_ico.cmake)

# The update check's WinHTTP GET is also tested on its own in unit_tests
# (tests/win/winhttp_get_test.cpp).
target_sources(unit_tests PRIVATE shell/win32/winhttp_get.cpp)
target_link_libraries(unit_tests PRIVATE winhttp)

if(NOT TARGET quenvale_webview_host)
  message(STATUS "No quenvale_webview_host target: Quenvale.exe is not built")
  return()
endif()

set(QUENVALE_ICON_FILE ${CMAKE_BINARY_DIR}/resources/quenvale.ico)
quenvale_png_to_ico(quenvale_icon ${QUENVALE_ICON_FILE} ${CMAKE_SOURCE_DIR}/resources/logo.png)

file(GLOB WIN_SHELL_SOURCES CONFIGURE_DEPENDS shell/win32/*.cpp)
# The web view host's files are the quenvale_webview_host library's.
list(FILTER WIN_SHELL_SOURCES EXCLUDE REGEX "/shell/win32/(web_host|webview2[^/]*)\\.cpp$")
add_executable(quenvale_win WIN32 ${WIN_SHELL_SOURCES} shell/win32/quenvale.rc)
set_target_properties(quenvale_win PROPERTIES OUTPUT_NAME Quenvale RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_link_options(quenvale_win PRIVATE -municode)
target_link_libraries(quenvale_win PRIVATE quenvale_webview_host quenvale_core gdiplus dwmapi winhttp ole32 shell32
  user32 gdi32)
add_dependencies(quenvale_win quenvale_icon win_dlls)
# windres finds the pictures and the manifest in resources/, the icon in the build's.
set_property(SOURCE shell/win32/quenvale.rc APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/resources
  ${CMAKE_BINARY_DIR}/resources)
set_property(SOURCE shell/win32/quenvale.rc APPEND PROPERTY OBJECT_DEPENDS ${QUENVALE_ICON_FILE}
  ${CMAKE_SOURCE_DIR}/resources/banner.png ${CMAKE_SOURCE_DIR}/resources/logo.png
  ${CMAKE_SOURCE_DIR}/resources/settings.png ${CMAKE_SOURCE_DIR}/resources/bell.png
  ${CMAKE_SOURCE_DIR}/resources/quenvale.manifest)
list(APPEND QUENVALE_WIN_CHECKED_TARGETS quenvale_win)

# The GUI tests' helper: finds our windows, reads their text and pixels, closes them.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/win/helpers/win_probe.cpp)
  add_executable(win_probe tests/win/helpers/win_probe.cpp)
  set_target_properties(win_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  target_link_options(win_probe PRIVATE -municode)
  target_link_libraries(win_probe PRIVATE user32 gdi32)
  list(APPEND QUENVALE_WIN_CHECKED_TARGETS win_probe)
endif()
