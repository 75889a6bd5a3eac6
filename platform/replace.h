#pragma once
// Putting a finished temporary file in place in one step.
#include <string>

namespace platform {

// Renames from over to in one step: readers see the old or the new file, never neither.
// With replace false it fails when to already exists (the existing file is kept). The
// rename reaches the disk before this returns true.
bool move_into_place(const std::string& from, const std::string& to, bool replace);

}  // namespace platform
