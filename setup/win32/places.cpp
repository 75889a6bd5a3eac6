// Windows: the local application data folder and the shell's known folders.

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/folders.h"
#include "platform/win32/wide.h"
#include "setup/places.h"

namespace setup {

namespace {

std::string known_folder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) out = platform::win32::narrow(path);
    ::CoTaskMemFree(path);
    return out;
}

}  // namespace

Places places() {
    Places p;
    // LOCALAPPDATA first, as the platform folder does (a redirected profile, a test's own
    // root); the known folder when it is unset; the drive's root as the last resort.
    std::string local = platform::env("LOCALAPPDATA");
    if (local.empty()) local = known_folder(FOLDERID_LocalAppData);
    p.install_folder = local.empty() ? std::string("C:\\Quenvale") : local + "\\Quenvale";
    p.desktop = known_folder(FOLDERID_Desktop);
    const std::string programs = known_folder(FOLDERID_Programs);
    if (!programs.empty()) p.start_menu = programs + "\\Quenvale";
    return p;
}

}  // namespace setup

