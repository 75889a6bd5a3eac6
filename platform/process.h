#pragma once
// Starting another program.
#include <string>
#include <vector>

namespace platform {

// Starts program (a full path) with args, detached, in the given working folder.
// True when the program was started.
bool start_program(const std::string& program, const std::vector<std::string>& args,
                   const std::string& working_dir);

// Current process id (for temporary file names and request ids in tests).
long process_id();

}  // namespace platform
