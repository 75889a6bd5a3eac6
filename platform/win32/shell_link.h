#pragma once
// Shell links (.lnk): the Windows shortcuts the setup puts on the desktop and in the
// start menu.
#include <string>

namespace platform::win32 {

// Saves a link at link_path to target, started in folder with arguments (may be empty),
// its icon the target's first, its description description. True when it was saved.
bool create_shell_link(const std::string& link_path, const std::string& target, const std::string& folder,
                       const std::string& arguments, const std::string& description);

// The target and arguments a saved link names; false when it cannot be loaded.
bool read_shell_link(const std::string& link_path, std::string& target, std::string& arguments);

}  // namespace platform::win32
