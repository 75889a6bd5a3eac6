#include "platform/folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "core/files.h"
#include "platform/win32/wide.h"

namespace platform {

std::string env(const char* name) {
    std::wstring wname = win32::widen(name ? name : "");
    if (wname.empty()) return "";
    // The wide environment: the narrow one is in the ANSI code page, not UTF-8.
    DWORD n = ::GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return "";
    std::wstring value(n, L'\0');
    DWORD got = ::GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    if (got == 0 || got >= n) return "";
    value.resize(got);
    return win32::narrow(value);
}

namespace {

std::string local_app_data() {
    // The variable first, as on every system (a redirected profile, a test's own root);
    // it is normally set, and the known folder answers when it is not.
    if (auto local = env("LOCALAPPDATA"); !local.empty()) return local;
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path)) && path)
        out = win32::narrow(path);
    ::CoTaskMemFree(path);
    return out;
}

}  // namespace

std::string platform_dir() {
    std::string local = local_app_data();
    std::string dir = local.empty() ? std::string("./Orvane") : local + "/Orvane";
    core::make_dirs(dir);
    return dir;
}

std::string data_dir() {
    std::string dir = platform_dir() + "/quenvale";
    core::make_dirs(dir);
    return dir;
}

std::string executable_path() {
    // Long paths: grow the buffer until the name fits (bounded).
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::wstring buf(size, L'\0');
        DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), size);
        if (n == 0) return "";
        if (n < size) {
            buf.resize(n);
            return win32::narrow(buf);
        }
    }
    return "";
}

std::string executable_dir() {
    std::string path = executable_path();
    auto pos = path.find_last_of("/\\");
    if (pos == std::string::npos) return ".";
    return path.substr(0, pos);
}

}  // namespace platform
