#pragma once
// A run without a window: install or remove, reporting only through the exit code.
#include "setup/command_line.h"

namespace setup {

// 0 when the engine finished, 1 otherwise. Never starts the installed program.
int run_silent(const CommandLine& command_line);

}  // namespace setup
