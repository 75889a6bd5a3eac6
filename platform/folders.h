#pragma once
// Where things live on this machine: the platform folder shared with the wallet
// application, this program's data folder, and the executable's own folder.
#include <string>

namespace platform {

// Value of an environment variable; "" when unset.
std::string env(const char* name);

// The platform folder: $LOCALAPPDATA/Orvane when LOCALAPPDATA is set and non-empty,
// else $XDG_DATA_HOME/Orvane, else $HOME/.local/share/Orvane, else ./Orvane.
// Created with its parents on every call (errors ignored).
std::string platform_dir();

// This program's own data folder: platform folder + "/quenvale" (created).
std::string data_dir();

// Full path of the running executable ("" when it cannot be found).
std::string executable_path();
// The executable's folder without a trailing separator; "." when the path has none.
std::string executable_dir();

}  // namespace platform
