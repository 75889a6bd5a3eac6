#pragma once
// The room in a WebView2 control below the header bar. The runtime is found through
// WebView2Loader.dll beside the program when it is there, else through the installed
// runtime's registration; the web folder is mapped to a fixed virtual host and the page
// loaded from it. Everything here runs on the user-interface thread, which must be an
// apartment-threaded COM thread that pumps messages.
#include <windows.h>

#include <functional>
#include <string>

namespace win32_shell {

// The status line when no web view could be made.
inline constexpr const wchar_t* WEBVIEW2_MISSING_TEXT =
    L"WebView2 runtime is missing. Install it, then open Quenvale again.";

struct WebHostHooks {
    // The runtime, environment or controller could not be made (WEBVIEW2_MISSING_TEXT).
    std::function<void(const std::wstring& status)> failed;
    // The controller exists: the shell runs its layout, which calls set_room_bounds.
    std::function<void()> ready;
    // One message the page posted, as its JSON text (UTF-8), for the bridge's dispatcher.
    std::function<void(const std::string& json)> page_message;
};

// Starts the environment → controller → navigation chain; returns at once, the rest
// happens in completion callbacks. Once per process. user_data_folder is created if
// missing.
void start_room(HWND main_window, const std::wstring& web_folder,
                const std::wstring& user_data_folder, WebHostHooks hooks);
// Sets the controller's bounds unless they already are `bounds`; false before the
// controller exists.
bool set_room_bounds(const RECT& bounds);
// Hands one reply (UTF-8 JSON) to the page; dropped before the web view exists.
void post_to_page(const std::string& json);
// Releases the web view, then the controller (the main window's WM_DESTROY). Callbacks
// of the released start are ignored from then on; a later start_room begins afresh.
void release_room();

}  // namespace win32_shell
