#pragma once
// The update check over WinHTTP: once per run on its own thread; a newer version is
// posted to the main window (WM_UPDATE_FOUND), which asks once and marks the Settings
// window's status line.
#include <windows.h>

#include "shell/update.h"

namespace win32_shell {

// Starts the check on a detached thread for the profile's update site.
void start_update_check(HWND main_window);
// WM_UPDATE_FOUND: takes the heap check the thread posted.
void on_update_found(shell::UpdateCheck* check);
// Opens the announced page in the browser; nothing before an announcement.
void open_update_page();

}  // namespace win32_shell
