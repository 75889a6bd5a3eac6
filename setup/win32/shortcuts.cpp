// Windows: shell links on the desktop and in the start menu, and the per-user uninstall
// key that the system's "Apps" list reads.

#include <windows.h>

#include <algorithm>

#include "core/files.h"
#include "platform/install_files.h"
#include "platform/win32/shell_link.h"
#include "platform/win32/wide.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/shortcuts.h"
#include "setup/table.h"
#include "setup/tree.h"

namespace setup {

namespace {

constexpr const wchar_t* UNINSTALL_KEY = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenvale";
constexpr DWORD MAX_LOCATION_CHARS = 32767;

// Windows' own separators in what other programs read (links, registry values).
std::string windows_path(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string desktop_link(const Places& p) { return p.desktop + "\\Quenvale.lnk"; }
std::string menu_link(const Places& p) { return p.start_menu + "\\Quenvale.lnk"; }
std::string uninstall_link(const Places& p) { return p.start_menu + "\\Uninstall Quenvale.lnk"; }

void remove_link(const std::string& path) {
    platform::clear_attributes(path);
    core::remove_file(path);
}

bool set_text(HKEY key, const wchar_t* name, const std::string& value) {
    const std::wstring w = platform::win32::widen(value);
    if (w.empty() && !value.empty()) return false;
    const auto bytes = static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()), bytes) == ERROR_SUCCESS;
}

bool set_number(HKEY key, const wchar_t* name, DWORD value) {
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

}  // namespace

void write_shortcuts(const std::string& given, const Driver& driver) {
    const Places p = places();
    const std::string folder = windows_path(given);
    const std::string program = folder + "\\" + PROGRAM_FILE;
    if (options().desktop_shortcut && !p.desktop.empty()) {
        set_status(driver, "Desktop shortcut…", 90);
        platform::win32::create_shell_link(desktop_link(p), program, folder, "", PRODUCT);
    }
    if (options().start_menu && !p.start_menu.empty()) {
        set_status(driver, "Start menu…", 90);
        if (core::make_dirs(p.start_menu)) {
            platform::win32::create_shell_link(menu_link(p), program, folder, "", PRODUCT);
            platform::win32::create_shell_link(uninstall_link(p), folder + "\\" + SETUP_COPY_FILE, folder,
                                               "/uninstall", PRODUCT);
        }
    }
}

void remove_shortcuts() {
    const Places p = places();
    if (!p.desktop.empty()) remove_link(desktop_link(p));
    if (!p.start_menu.empty()) {
        remove_link(menu_link(p));
        remove_link(uninstall_link(p));
        platform::remove_empty_folder(p.start_menu);
    }
}

void remove_self_later(const std::string& setup_copy, const std::string& given) {
    const std::string copy = windows_path(setup_copy), folder = windows_path(given);
    // cmd expands %NAME% even inside quotes: a path holding '%' (or a quote) could name
    // another file once expanded, so such a copy stays.
    for (const std::string* s : {&copy, &folder}) {
        if (s->find_first_of("%\"") != std::string::npos) return;
    }
    wchar_t sysdir[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(sysdir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring cmd = std::wstring(sysdir) + L"\\cmd.exe";
    // The ping gives this program about two seconds to end before its file is deleted.
    std::wstring line = L"\"" + cmd + L"\" /C ping 127.0.0.1 -n 3 >nul & del /f /q \"" +
                        platform::win32::widen(copy) + L"\" & rmdir \"" + platform::win32::widen(folder) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &si, &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
}

bool write_uninstall_entry(const std::string& given) {
    const std::string folder = windows_path(given);
    const std::string copy = folder + "\\" + SETUP_COPY_FILE;
    const std::uint64_t kib = estimated_size_kib(installed_bytes(given));
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, UNINSTALL_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool ok = set_text(key, L"DisplayName", PRODUCT) &&
                    set_text(key, L"UninstallString", "\"" + copy + "\" /uninstall") &&
                    set_text(key, L"InstallLocation", folder) &&
                    set_text(key, L"DisplayIcon", folder + "\\" + PROGRAM_FILE) &&
                    set_text(key, L"Publisher", PUBLISHER) && set_text(key, L"DisplayVersion", VERSION) &&
                    set_text(key, L"URLInfoAbout", PROGRAM_PAGE) && set_text(key, L"HelpLink", PROGRAM_PAGE) &&
                    set_number(key, L"NoModify", 1) && set_number(key, L"NoRepair", 1) &&
                    set_number(key, L"EstimatedSize", static_cast<DWORD>(std::min<std::uint64_t>(kib, 0xffffffffu)));
    ::RegCloseKey(key);
    return ok;
}

std::string read_install_location() {
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, UNINSTALL_KEY, L"InstallLocation", RRF_RT_REG_SZ, nullptr, nullptr,
                       &bytes) != ERROR_SUCCESS ||
        bytes == 0 || bytes > (MAX_LOCATION_CHARS + 1) * sizeof(wchar_t)) {
        return "";
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CURRENT_USER, UNINSTALL_KEY, L"InstallLocation", RRF_RT_REG_SZ, nullptr, value.data(),
                       &got) != ERROR_SUCCESS) {
        return "";
    }
    value.resize(::wcsnlen(value.c_str(), value.size()));
    const std::string folder = platform::win32::narrow(value);
    // Only an absolute folder is taken from a value anyone can edit.
    if (!platform::is_absolute_path(folder)) return "";
    return clean_folder(folder);
}

void delete_uninstall_entry() { ::RegDeleteKeyW(HKEY_CURRENT_USER, UNINSTALL_KEY); }

}  // namespace setup

