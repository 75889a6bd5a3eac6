# The Windows build (cross-built with cmake/mingw64-posix.cmake): the portable core and
# its unit tests. Included from the top CMakeLists.txt, which returns after it.
#
# Not part of this build, each for its reason:
# - GTK/WebKit programs and the GTK chrome (quenvale, wendrel's window, the setup window):
#   their Windows counterparts are shell/win32 and setup/win32; wendrel is built with its
#   commands only.
# - quenvale-cli and setup_pack (the pack step runs on the build machine); the setup
#   engine itself is built (its system parts are platform/win32 and setup/win32).
# - shell/web_resource.cpp: it resolves page files with realpath(3) for WebKit's URI
#   scheme; the WebView2 host maps a virtual host to the folder instead.
# - integration tests and benchmarks: they start the Node devnet and POSIX processes.
# - unit tests that fork or kill processes, or run the build's Linux programs (listed
#   in QUENVALE_WIN_EXCLUDED_TESTS below with their reasons).

if(NOT QUENVALE_WIN_DEPS OR NOT EXISTS "${QUENVALE_WIN_DEPS}/.complete")
  message(FATAL_ERROR "QUENVALE_WIN_DEPS must name a finished prefix of scripts/win/deps.sh")
endif()

find_package(OpenSSL 3 REQUIRED)
find_package(CURL REQUIRED)
find_package(Threads REQUIRED)

# nlohmann/json is header-only: copied from the build machine's Debian package into the
# build tree, so that /usr/include (Linux headers) never reaches the Windows compiler.
# cpp-httplib comes from the dependency prefix (Debian's installed header needs its
# Linux library).
foreach(header_dir nlohmann)
  file(COPY /usr/include/${header_dir} DESTINATION ${CMAKE_BINARY_DIR}/host-headers)
endforeach()
add_library(quenvale_host_headers INTERFACE)
target_include_directories(quenvale_host_headers SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/host-headers)

# Windows 10 API level; Unicode entry points everywhere.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
# One self-contained program: the C++ runtime and winpthread linked in, so only system
# DLLs and the three shipped ones are imported.
add_link_options(-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread
  -Wl,--no-whole-archive,-Bdynamic)

file(GLOB WIN_CORE_SOURCES CONFIGURE_DEPENDS
  core/*.cpp platform/*.cpp platform/win32/*.cpp wallet/*.cpp chain/*.cpp
  ordinals/*.cpp ledger/*.cpp bridge/*.cpp shell/*.cpp)
list(REMOVE_ITEM WIN_CORE_SOURCES ${CMAKE_SOURCE_DIR}/shell/web_resource.cpp)
add_library(quenvale_core STATIC ${WIN_CORE_SOURCES} ${WORDLIST_CPP} ${PROFILE_CPP})
target_include_directories(quenvale_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quenvale_core PUBLIC OpenSSL::Crypto CURL::libcurl quenvale_host_headers Threads::Threads
  ole32 uuid shell32 user32 ws2_32)

# The setup engine: shell links need ole32 and the interface ids of uuid (a static
# library), the uninstall key advapi32.
file(GLOB WIN_SETUP_SOURCES CONFIGURE_DEPENDS setup/*.cpp setup/win32/*.cpp)
add_library(quenvale_setup_engine STATIC ${WIN_SETUP_SOURCES})
target_link_libraries(quenvale_setup_engine PUBLIC quenvale_core ole32 uuid advapi32 shell32)

file(GLOB TOOLS_COMMON_SOURCES CONFIGURE_DEPENDS tools/common/*.cpp)
add_library(quenvale_tools STATIC ${TOOLS_COMMON_SOURCES})
target_link_libraries(quenvale_tools PUBLIC quenvale_core)

# GoogleTest from Debian's source package (libgtest-dev ships the sources).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB_RECURSE UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*_test.cpp)
set(QUENVALE_WIN_EXCLUDED_TESTS
  # forks children and checks POSIX sessions and zombies; tests/win covers start_program
  tests/unit/platform/process_test.cpp
  # the realpath-based resource lookup is not in this build
  tests/unit/shell/web_resource_test.cpp
  # fork() writers racing on the registry
  tests/unit/wallet/registry_test.cpp
  # kill -9 of a writer process (survival_writer) mid-write
  tests/unit/wallet/survival_test.cpp
  # SIGKILL of a writer process at random moments (poll, waitpid)
  tests/unit/wallet/killed_writer_test.cpp
  # two writer processes started with posix_spawn
  tests/unit/wallet/two_processes_test.cpp
  # fork() writers, flock(2) and file modes; tests/win covers the Windows file seams
  tests/unit/core/files_test.cpp
  # raw sockets and rlimits for the HTTP client's failure cases
  tests/unit/chain/http_test.cpp
  tests/unit/chain/coin_refresh_test.cpp
  # the Linux side of the setup: desktop entries (desktop-file-validate), file modes,
  # symbolic links made with POSIX calls, ETXTBSY of a running program, the JSON record;
  # tests/win/setup_win32_test.cpp covers the Windows side (links, registry, sharing)
  tests/unit/setup/install_test.cpp
  tests/unit/setup/uninstall_test.cpp
  # the payload appended to the Linux setup; QuenvaleSetup.exe carries RCDATA resources
  tests/unit/setup/payload_test.cpp
  # POSIX file modes of written pictures
  tests/unit/bridge/pictures_test.cpp
  # run the build's Linux programs (wendrel, quenvale-cli)
  tests/unit/tools/cli_test.cpp
  tests/unit/tools/wendrel_test.cpp
  # a scan of the source tree, the same on every build
  tests/unit/chain/client_boundary_test.cpp)
foreach(t ${QUENVALE_WIN_EXCLUDED_TESTS})
  list(REMOVE_ITEM UNIT_TEST_SOURCES ${CMAKE_SOURCE_DIR}/${t})
endforeach()
file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS tests/win/*_test.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES} ${WIN_TEST_SOURCES}
  tests/support/temp_platform.cpp tests/support/hd_wallet.cpp)
target_link_libraries(unit_tests PRIVATE quenvale_core quenvale_setup_engine quenvale_tools gtest gtest_main)
target_compile_definitions(unit_tests PRIVATE
  QUENVALE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  QUENVALE_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
# A child program for the process tests in tests/win.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/win/helpers/win_child.cpp)
  add_executable(win_child tests/win/helpers/win_child.cpp)
  target_link_libraries(win_child PRIVATE quenvale_core)
  add_dependencies(unit_tests win_child)
endif()

# The stand-in wallet application: every command; its window is GTK (Linux only), so with
# no command it says where to turn instead.
add_executable(wendrel tools/wendrel/main.cpp tools/wendrel/mint.cpp tools/wendrel/payments.cpp
  tools/wendrel/requests.cpp tools/wendrel/wallets.cpp tools/wendrel/win32/no_window.cpp)
set_target_properties(wendrel PROPERTIES OUTPUT_NAME Wendrel)
target_link_libraries(wendrel PRIVATE quenvale_tools)
add_dependencies(unit_tests wendrel)

# The three DLLs beside the programs, under the names the programs import.
set(QUENVALE_WIN_DLLS z.dll libcrypto-3-x64.dll libcurl.dll)
foreach(dll ${QUENVALE_WIN_DLLS})
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bin/${dll}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUENVALE_WIN_DEPS}/bin/${dll} ${CMAKE_BINARY_DIR}/bin/${dll}
    DEPENDS ${QUENVALE_WIN_DEPS}/bin/${dll})
  list(APPEND QUENVALE_WIN_DLL_FILES ${CMAKE_BINARY_DIR}/bin/${dll})
endforeach()
add_custom_target(win_dlls ALL DEPENDS ${QUENVALE_WIN_DLL_FILES})

# The programs and their tests, each in its own file; each appends the executables and
# DLLs it builds to QUENVALE_WIN_CHECKED_TARGETS for the import check below.
set(QUENVALE_WIN_CHECKED_TARGETS unit_tests wendrel)
if(TARGET win_child)
  list(APPEND QUENVALE_WIN_CHECKED_TARGETS win_child)
endif()
include(${CMAKE_SOURCE_DIR}/cmake/windows_webview.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/cmake/windows_shell.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/cmake/windows_setup.cmake OPTIONAL)

# Every executable and shipped DLL may import only system DLLs and the shipped ones:
# under Wine a missing DLL shows only as exit code 53, on Windows as a dialog.
set(QUENVALE_WIN_SYSTEM_DLLS kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll ws2_32.dll
  bcrypt.dll crypt32.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll gdiplus.dll dwmapi.dll
  comctl32.dll comdlg32.dll winhttp.dll version.dll uxtheme.dll shcore.dll)
set(QUENVALE_WIN_CHECKED)
foreach(t ${QUENVALE_WIN_CHECKED_TARGETS})
  list(APPEND QUENVALE_WIN_CHECKED $<TARGET_FILE:${t}>)
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/imports.ok
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} "-DFILES=${QUENVALE_WIN_CHECKED};${QUENVALE_WIN_DLL_FILES}"
    "-DALLOWED=${QUENVALE_WIN_SYSTEM_DLLS};${QUENVALE_WIN_DLLS}" -DSTAMP=${CMAKE_BINARY_DIR}/imports.ok
    -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake
  DEPENDS ${QUENVALE_WIN_CHECKED_TARGETS} win_dlls ${QUENVALE_WIN_DLL_FILES} ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake
  COMMENT "Checking the DLLs the programs import"
  VERBATIM)
add_custom_target(win_imports ALL DEPENDS ${CMAKE_BINARY_DIR}/imports.ok)
