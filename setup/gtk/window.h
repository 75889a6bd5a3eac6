#pragma once
// The setup window: picture, description, install folder with BROWSE, the three options,
// progress bar, status line and the action button (INSTALL, CLOSE or UNINSTALL).
#include "setup/command_line.h"

namespace setup_gtk {

// Runs the window until it closes; the exit code (1 when no display can be opened).
int run_window(const setup::CommandLine& command_line, int& argc, char**& argv);

}  // namespace setup_gtk
