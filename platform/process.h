#pragma once
// Starting another program.
#include <string>
#include <vector>

namespace platform {

// Starts program (a full path, not searched in PATH) with args, detached (its own
// session, standard streams on /dev/null) in the given working folder. Its exit status
// is collected in the background, so it never stays a zombie. True when the program
// was started: false when it cannot be executed or the folder cannot be entered.
bool start_program(const std::string& program, const std::vector<std::string>& args,
                   const std::string& working_dir);

// Current process id (for temporary file names and request ids in tests).
long process_id();

}  // namespace platform
