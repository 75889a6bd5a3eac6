#include "setup/places.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include <sstream>
#include <vector>

#include "core/files.h"
#include "platform/folders.h"

namespace setup {

#ifndef _WIN32  // Windows: win32/places.cpp

namespace {

constexpr std::uintmax_t MAX_USER_DIRS_BYTES = 64 * 1024;

std::string home_folder() {
    std::string home = platform::env("HOME");
    if (!home.empty() && home[0] == '/') return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return "";
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback.
std::string xdg_folder(const char* variable, const std::string& fallback) {
    std::string v = platform::env(variable);
    if (!v.empty() && v[0] == '/') return v;
    return fallback;
}

}  // namespace

#endif  // _WIN32

std::string desktop_from_user_dirs(const std::string& text, const std::string& home) {
    std::istringstream in(text);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DESKTOP_DIR=\"";
        if (line.rfind(key, 0) != 0) continue;
        const std::size_t end = line.find('"', key.size());
        if (end == std::string::npos) continue;
        std::string value = line.substr(key.size(), end - key.size());
        if (value.rfind("$HOME/", 0) == 0) {
            found = home + value.substr(5);
        } else if (value == "$HOME") {
            found = home;
        } else if (!value.empty() && value[0] == '/') {
            found = value;
        }
    }
    // A value with "..", a backslash or a control character is not taken as a folder.
    if (found.find("/..") != std::string::npos || found.find('\\') != std::string::npos) return "";
    for (unsigned char c : found) {
        if (c < 0x20) return "";
    }
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    return found;
}

#ifndef _WIN32

Places places() {
    Places p;
    const std::string home = home_folder();
    if (home.empty()) return p;
    const std::string data = xdg_folder("XDG_DATA_HOME", home + "/.local/share");
    const std::string config = xdg_folder("XDG_CONFIG_HOME", home + "/.config");
    p.install_folder = data + "/Quenvale";
    p.applications = data + "/applications";
    p.icons = data + "/icons/hicolor/128x128/apps";
    p.record = config + "/" + RECORD_FILE;
    std::string user_dirs;
    if (core::read_file(config + "/user-dirs.dirs", user_dirs, MAX_USER_DIRS_BYTES)) {
        p.desktop = desktop_from_user_dirs(user_dirs, home);
    }
    if (p.desktop.empty()) p.desktop = home + "/Desktop";
    return p;
}

#endif  // _WIN32

}  // namespace setup
