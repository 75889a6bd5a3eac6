// Linux: desktop entries, the menu icon and the JSON uninstall record.
#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/json.h"
#include "setup/desktop_entry.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/shortcuts.h"
#include "setup/table.h"

namespace setup {

namespace {

constexpr std::uintmax_t MAX_RECORD_BYTES = 64 * 1024;
constexpr std::uintmax_t MAX_TEMPLATE_BYTES = 64 * 1024;
constexpr std::uintmax_t MAX_ICON_BYTES = 8 * 1024 * 1024;

// Writes text to path through a temporary beside it, then gives it mode.
bool write_with_mode(const std::string& path, const std::string& text, mode_t mode) {
    if (!core::write_file_atomic(path, text)) return false;
    return ::chmod(path.c_str(), mode) == 0;
}

}  // namespace

void write_shortcuts(const std::string& folder, const Driver& driver) {
    const Places p = places();
    const std::string program = folder + "/" + PROGRAM_FILE;
    const std::string icon = folder + "/" + ICON_FILE;
    std::string templ;
    if (!core::read_file(folder + "/" + ENTRY_TEMPLATE_FILE, templ, MAX_TEMPLATE_BYTES)) return;
    const std::string entry = program_entry(templ, program, icon, folder);
    if (entry.empty()) return;
    if (options().desktop_shortcut && !p.desktop.empty()) {
        set_status(driver, "Desktop shortcut…", 90);
        // Only into a desktop folder that exists: the setup does not invent one.
        if (core::is_directory(p.desktop)) write_with_mode(p.desktop + "/" + MENU_ENTRY_FILE, entry, 0755);
    }
    if (options().start_menu && !p.applications.empty()) {
        set_status(driver, "Start menu…", 90);
        if (core::make_dirs(p.applications)) {
            write_with_mode(p.applications + "/" + MENU_ENTRY_FILE, entry, 0644);
            const std::string remove = uninstall_entry(folder + "/" + SETUP_COPY_FILE, icon);
            if (!remove.empty()) write_with_mode(p.applications + "/" + UNINSTALL_ENTRY_FILE, remove, 0644);
        }
        std::string png;
        if (core::make_dirs(p.icons) && core::read_file(icon, png, MAX_ICON_BYTES)) {
            write_with_mode(p.icons + "/" + "quenvale.png", png, 0644);
        }
    }
}

void remove_shortcuts() {
    const Places p = places();
    if (!p.desktop.empty()) core::remove_file(p.desktop + "/" + MENU_ENTRY_FILE);
    if (!p.applications.empty()) {
        core::remove_file(p.applications + "/" + MENU_ENTRY_FILE);
        core::remove_file(p.applications + "/" + UNINSTALL_ENTRY_FILE);
    }
    if (!p.icons.empty()) {
        core::remove_file(p.icons + "/quenvale.png");
        // The icon folders the install may have made, only when nothing else is in them.
        std::string dir = p.icons;
        for (int i = 0; i < 3; ++i) {
            if (::rmdir(dir.c_str()) != 0) break;
            dir = core::parent_path(dir);
        }
    }
}

void remove_self_later(const std::string& setup_copy, const std::string& folder) {
    ::unlink(setup_copy.c_str());
    ::rmdir(folder.c_str());
}

bool write_uninstall_entry(const std::string& folder) {
    const Places p = places();
    if (p.record.empty()) return false;
    const std::uint64_t total = installed_bytes(folder);
    const std::string copy = folder + "/" + SETUP_COPY_FILE;
    core::Json record = {
        {"DisplayName", PRODUCT},
        {"UninstallString", "\"" + copy + "\" /uninstall"},
        {"InstallLocation", folder},
        {"DisplayIcon", folder + "/" + PROGRAM_FILE},
        {"Publisher", PUBLISHER},
        {"DisplayVersion", VERSION},
        {"URLInfoAbout", PROGRAM_PAGE},
        {"HelpLink", PROGRAM_PAGE},
        {"NoModify", 1},
        {"NoRepair", 1},
        {"EstimatedSize", estimated_size_kib(total)},
    };
    // The record is the setup's alone; a damaged one is replaced so the next removal
    // finds the folder again.
    if (!core::make_dirs(core::parent_path(p.record))) return false;
    return write_with_mode(p.record, core::dump_pretty(record) + "\n", 0644);
}

std::string read_install_location() {
    const Places p = places();
    std::string text;
    core::Json record;
    if (p.record.empty() || !core::read_file(p.record, text, MAX_RECORD_BYTES) ||
        !core::parse_json(text, record)) {
        return "";
    }
    std::string folder = core::json_string(record, "InstallLocation");
    if (folder.empty() || folder[0] != '/') return "";
    return clean_folder(folder);
}

void delete_uninstall_entry() {
    const Places p = places();
    if (!p.record.empty()) core::remove_file(p.record);
}

}  // namespace setup

#endif  // _WIN32
