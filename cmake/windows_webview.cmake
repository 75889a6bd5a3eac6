# The WebView2 host of the Windows program (included from cmake/windows.cmake), and the
# stand-in runtime its tests point the program at.

add_library(quenvale_webview_host STATIC
  shell/win32/web_host.cpp
  shell/win32/webview2_loader.cpp)
target_link_libraries(quenvale_webview_host PUBLIC quenvale_core ole32 user32 advapi32)

# The stand-in runtime: a DLL with the installed runtime's file name and entry point,
# placed where a registered runtime folder keeps it, so that a test registers
# bin/webview2-runtime/Application/131.0.0.0 and the program finds it the ordinary way.
# Built for tests only; never shipped.
set(QUENVALE_FAKE_WEBVIEW_DIR ${CMAKE_BINARY_DIR}/bin/webview2-runtime/Application/131.0.0.0/EBWebView/x64)
add_library(webview2_fake SHARED tests/win/webview2_fake/fake_runtime.cpp)
target_include_directories(webview2_fake PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(webview2_fake PRIVATE ole32 user32)
set_target_properties(webview2_fake PROPERTIES
  OUTPUT_NAME EmbeddedBrowserWebView PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${QUENVALE_FAKE_WEBVIEW_DIR}
  LIBRARY_OUTPUT_DIRECTORY ${QUENVALE_FAKE_WEBVIEW_DIR})
list(APPEND QUENVALE_WIN_CHECKED_TARGETS webview2_fake)

target_link_libraries(unit_tests PRIVATE quenvale_webview_host)
add_dependencies(unit_tests webview2_fake)
