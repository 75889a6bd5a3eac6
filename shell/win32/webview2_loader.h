#pragma once
// Creating the WebView2 environment: through WebView2Loader.dll beside the program when
// it is there, else by finding the installed (Evergreen) runtime from its registration
// and calling the runtime's own entry point. The pure parts (version and path rules)
// are separate functions so that tests can pin them.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "shell/win32/webview2.h"

namespace win32_shell {

// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): no usable runtime.
inline constexpr HRESULT WEBVIEW2_NOT_FOUND = static_cast<HRESULT>(0x80070002);

using RuntimeVersion = std::array<std::uint32_t, 4>;
// The oldest runtime the installed-runtime search accepts.
inline constexpr RuntimeVersion WEBVIEW2_MIN_VERSION = {86, 0, 616, 0};

// "131.0.2903.146" → its four numbers; false unless exactly four dot-separated decimal
// numbers of at most nine digits each.
bool parse_runtime_version(const std::wstring& text, RuntimeVersion& out);
// The last component of a folder path, ignoring trailing separators ("" when none).
std::wstring last_path_component(const std::wstring& folder);
// The runtime DLL inside a registered version folder, for this process's architecture:
// <folder>\EBWebView\<x64|x86|arm64>\EmbeddedBrowserWebView.dll. "" when the registered
// text is not an absolute local or UNC path, has a ".." component, or its last component
// is not a version at least WEBVIEW2_MIN_VERSION.
std::wstring runtime_dll_for_folder(const std::wstring& registered_folder);

// The runtime DLL of the installed runtime: the stable channel's EBWebView value under
// HKLM (32-bit view) then HKCU; the first whose DLL exists. "" when none.
std::wstring find_installed_runtime();

// Starts creating an environment with `user_data_folder`; the result arrives at
// `handler` on this thread (an STA that pumps messages). Returns the call's own result:
// WEBVIEW2_NOT_FOUND when no loader and no runtime was found.
HRESULT create_webview_environment(const std::wstring& user_data_folder,
                                   ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

}  // namespace win32_shell
