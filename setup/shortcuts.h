#pragma once
// What an installation leaves outside its folder, which differs by system: on Linux the
// desktop entries, the menu icon and a JSON uninstall record (shortcuts_xdg.cpp); on
// Windows shell links and the per-user uninstall key in the registry
// (win32/shortcuts.cpp). The record functions are declared in engine.h.
#include <string>

#include "setup/engine.h"

namespace setup {

// The desktop shortcut and the start menu entries the options ask for; failures ignored.
void write_shortcuts(const std::string& folder, const Driver& driver);
// Removes whatever write_shortcuts may have made; errors ignored.
void remove_shortcuts();

// Bytes of the table's files and the setup copy in folder that exist.
std::uint64_t installed_bytes(const std::string& folder);

}  // namespace setup
