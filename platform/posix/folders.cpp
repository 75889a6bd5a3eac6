#include "platform/folders.h"

#include <cstdlib>
#include <climits>
#include <unistd.h>

#include "core/files.h"

namespace platform {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string platform_dir() {
    std::string dir;
    if (auto local = env("LOCALAPPDATA"); !local.empty()) {
        dir = local + "/Orvane";
    } else if (auto xdg = env("XDG_DATA_HOME"); !xdg.empty()) {
        dir = xdg + "/Orvane";
    } else if (auto home = env("HOME"); !home.empty()) {
        dir = home + "/.local/share/Orvane";
    } else {
        dir = "./Orvane";
    }
    core::make_dirs(dir);
    return dir;
}

std::string data_dir() {
    std::string dir = platform_dir() + "/quenvale";
    core::make_dirs(dir);
    return dir;
}

std::string executable_path() {
    char buf[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return "";
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string executable_dir() {
    std::string path = executable_path();
    auto pos = path.find_last_of('/');
    if (pos == std::string::npos) return ".";
    return path.substr(0, pos);
}

}  // namespace platform
