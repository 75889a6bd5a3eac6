#pragma once
// Where an installation puts things for the current user, read afresh from the
// environment (HOME, XDG_DATA_HOME, XDG_CONFIG_HOME) on every call, so tests point them
// at temporary folders.
#include <string>

namespace setup {

struct Places {
    std::string install_folder;  // default: data home + "/Quenvale"
    std::string desktop;         // the user's desktop folder
    std::string applications;    // data home + "/applications"
    std::string icons;           // data home + "/icons/hicolor/128x128/apps"
    std::string record;          // the uninstall record
};

// Empty members when no home folder can be found.
Places places();

// Names of the files the setup writes outside the install folder.
inline constexpr const char* MENU_ENTRY_FILE = "quenvale.desktop";
inline constexpr const char* UNINSTALL_ENTRY_FILE = "quenvale-uninstall.desktop";
inline constexpr const char* RECORD_FILE = "quenvale-uninstall.json";

// The desktop folder named by XDG_DESKTOP_DIR in user-dirs.dirs text ("$HOME/..." or an
// absolute path); "" when the text does not name one.
std::string desktop_from_user_dirs(const std::string& text, const std::string& home);

}  // namespace setup
