#pragma once
// The update check over WinHTTP: once per run on its own thread; a newer version is
// posted to the main window (WM_UPDATE_FOUND), which asks once and marks the Settings
// window's status line.
#include <windows.h>

#include <cstddef>
#include <string>

#include "shell/update.h"

namespace win32_shell {

// The GET the check runs: http or https by the address, the body cut after max_body
// bytes have been passed; status 0 when the exchange failed.
shell::HttpReply winhttp_get(const std::string& url, const std::string& user_agent, std::size_t max_body);

// Starts the check on a detached thread for the profile's update site.
void start_update_check(HWND main_window);
// WM_UPDATE_FOUND: takes the heap check the thread posted.
void on_update_found(shell::UpdateCheck* check);
// Opens the announced page in the browser; nothing before an announcement.
void open_update_page();

}  // namespace win32_shell
