#pragma once
// Where an installation puts things for the current user, read afresh on every call: on
// Linux from the environment (HOME, XDG_DATA_HOME, XDG_CONFIG_HOME), so tests point them
// at temporary folders; on Windows from LOCALAPPDATA and the shell's known folders.
#include <string>

namespace setup {

struct Places {
    std::string install_folder;  // default: data home + "/Quenvale" (Windows: local app data + "\\Quenvale")
    std::string desktop;         // the user's desktop folder
    std::string applications;    // Linux: data home + "/applications"
    std::string icons;           // Linux: data home + "/icons/hicolor/128x128/apps"
    std::string record;          // Linux: the uninstall record
    std::string start_menu;      // Windows: the Programs folder + "\\Quenvale"
};

// Empty members when no home folder can be found (Linux).
Places places();

// Names of the files the setup writes outside the install folder.
inline constexpr const char* MENU_ENTRY_FILE = "quenvale.desktop";
inline constexpr const char* UNINSTALL_ENTRY_FILE = "quenvale-uninstall.desktop";
inline constexpr const char* RECORD_FILE = "quenvale-uninstall.json";

// The desktop folder named by XDG_DESKTOP_DIR in user-dirs.dirs text ("$HOME/..." or an
// absolute path); "" when the text does not name one.
std::string desktop_from_user_dirs(const std::string& text, const std::string& home);

}  // namespace setup
