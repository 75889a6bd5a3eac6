#pragma once
// The setup window on Windows (class OVQuenvaleSetupWnd): picture, folder box with
// BROWSE, the three options, progress bar, status line and the action button, driving
// the engine on its own thread.
#include "setup/command_line.h"

namespace setup_win32 {

inline constexpr const wchar_t* WINDOW_CLASS = L"OVQuenvaleSetupWnd";
inline constexpr int ID_FOLDER = 301;
inline constexpr int ID_BROWSE = 302;
inline constexpr int ID_ACTION = 303;
inline constexpr int ID_STATUS = 304;
inline constexpr int RESOURCE_ICON = 101;
inline constexpr int RESOURCE_PICTURE = 102;

// Runs the window until it is closed; 0, or 1 when it could not be created.
int run_window(const setup::CommandLine& command_line, int show);

}  // namespace setup_win32
