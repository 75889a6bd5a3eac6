#include "setup/engine.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "core/files.h"
#include "core/json.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "setup/desktop_entry.h"
#include "setup/payload.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/table.h"
#include "setup/tree.h"

namespace setup {

namespace {

constexpr std::uintmax_t MAX_RECORD_BYTES = 64 * 1024;
constexpr std::uintmax_t MAX_TEMPLATE_BYTES = 64 * 1024;
constexpr std::uintmax_t MAX_ICON_BYTES = 8 * 1024 * 1024;
constexpr const char* SELF_IMAGE = "/proc/self/exe";

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

void set_status(const Driver& driver, const std::string& text, int percent) {
    Progress& p = progress();
    p.status = text;
    p.percent = percent;
    if (driver.refresh) driver.refresh();
}

std::string image_of(const Driver& driver) { return driver.image.empty() ? SELF_IMAGE : driver.image; }

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Writes text to path through a temporary beside it, then gives it mode.
bool write_with_mode(const std::string& path, const std::string& text, mode_t mode) {
    if (!core::write_file_atomic(path, text)) return false;
    return ::chmod(path.c_str(), mode) == 0;
}

// Copies the whole image (the running setup, payload included) to target.
void copy_setup(const std::string& image, const std::string& target) {
    if (same_file(image, target)) return;
    Fd in{::open(image.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat st {};
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0) return;
    // A temporary renamed over the old copy: that copy may be running.
    const std::string tmp = target + ".tmp";
    ::unlink(tmp.c_str());
    Fd out{::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755)};
    if (out.fd < 0) return;
    int code = 0;
    const bool copied = copy_range(in.fd, 0, static_cast<std::uint64_t>(st.st_size), out.fd, code) &&
                        ::fchmod(out.fd, 0755) == 0;
    const bool closed = ::close(out.fd) == 0;
    out.fd = -1;
    if (!copied || !closed || ::rename(tmp.c_str(), target.c_str()) != 0) ::unlink(tmp.c_str());
}

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

}  // namespace

std::string write_error_text(const std::string& target, const std::string& name, int code,
                             bool incomplete) {
    if (incomplete) return TEXT_INCOMPLETE;
    switch (code) {
        case EACCES:
        case EPERM: {
            struct stat st {};
            if (::lstat(target.c_str(), &st) == 0 && (st.st_mode & 0222) == 0) return name + " is read-only.";
            return TEXT_NOT_WRITABLE;
        }
        case EROFS:
            return TEXT_NOT_WRITABLE;
        case ETXTBSY:
            return TEXT_IN_USE;
        case ENOSPC:
        case EDQUOT:
            return TEXT_DISK_FULL;
        default:
            return "Failed to write " + name + ".";
    }
}

std::string write_resource_file(const std::string& image, std::uint32_t id, const std::string& name,
                                const std::string& target, bool executable) {
    Fd in{::open(image.c_str(), O_RDONLY | O_CLOEXEC)};
    PayloadIndex index;
    if (in.fd < 0 || !read_payload_index(in.fd, index)) return write_error_text(target, name, 0, true);
    const PayloadEntry* entry = find_entry(index, id);
    if (!entry || entry->size == 0 || entry->name != name) return write_error_text(target, name, 0, true);

    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) {
        return write_error_text(target, name, EACCES, false);
    }
    const mode_t mode = executable ? 0755 : 0644;
    // O_NOFOLLOW: a link planted at a table name is not written through.
    Fd out{::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode)};
    if (out.fd < 0) return write_error_text(target, name, errno, false);
    int code = 0;
    if (!copy_range(in.fd, entry->offset, entry->size, out.fd, code)) {
        return write_error_text(target, name, code, false);
    }
    if (::fchmod(out.fd, mode) != 0) return write_error_text(target, name, errno, false);
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (closed != 0) return write_error_text(target, name, errno != 0 ? errno : EIO, false);
    return "";
}

std::string clean_folder(const std::string& folder) {
    std::string f = folder;
    while (!f.empty() && f.back() == '/') f.pop_back();
    if (f.empty()) return "";
    if (f[0] != '/') {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd)) return "";
        std::string base = cwd;
        if (base != "/") base += "/";
        f = base + f;
    }
    return f;
}

bool install_to(const std::string& given, const Driver& driver) {
    Progress& p = progress();
    p.finished = false;
    const std::string folder = clean_folder(given);
    if (folder.empty()) {
        set_status(driver, TEXT_CHOOSE_FOLDER, 0);
        return false;
    }
    if (!core::make_dirs(folder)) {
        set_status(driver, TEXT_CANNOT_CREATE, 0);
        return false;
    }
    const std::string image = image_of(driver);
    const auto files = install_files();
    const auto count = static_cast<int>(files.size());
    for (int i = 0; i < count; ++i) {
        const InstallFile& f = files[static_cast<std::size_t>(i)];
        set_status(driver, std::string("Copying ") + f.name + "…", i * 80 / count);
        const std::string target = folder + "/" + f.name;
        const std::string parent = core::parent_path(target);
        if (std::string(f.name).find('/') != std::string::npos && !core::make_dirs(parent)) {
            set_status(driver, write_error_text(parent, f.name, errno, false), p.percent);
            return false;
        }
        const std::string error =
            write_resource_file(image, static_cast<std::uint32_t>(i), f.name, target, f.executable);
        if (!error.empty()) {
            set_status(driver, error, p.percent);
            return false;
        }
    }
    set_status(driver, "Writing setup…", 80);
    copy_setup(image, folder + "/" + SETUP_COPY_FILE);

    set_status(driver, p.status, 90);
    write_shortcuts(folder, driver);

    set_status(driver, p.status, 96);
    write_uninstall_entry(folder);

    p.finished = true;
    set_status(driver, TEXT_READY, 100);
    if (driver.has_window && options().open_when_finished) {
        platform::start_program(folder + "/" + PROGRAM_FILE, {}, folder);
    }
    return true;
}

bool uninstall_from(const std::string& given, const Driver& driver) {
    std::string folder = clean_folder(given);
    if (folder.empty()) folder = read_install_location();
    if (folder.empty()) {
        set_status(driver, TEXT_NO_FOLDER, 0);
        return false;
    }
    remove_shortcuts();
    // Only the table's own files and the folders the install made: a record naming some
    // other folder never empties it.
    std::vector<std::string> folders;
    for (const InstallFile& f : install_files()) {
        remove_below(folder, f.name);
        std::string parent = core::parent_path(f.name);
        if (!parent.empty()) folders.push_back(parent);
    }
    // The web folder goes whole: it also holds the pictures the program cached.
    delete_tree(folder + "/" + WEB_FOLDER);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) remove_empty_folder_below(folder, *it);

    const std::string copy = folder + "/" + SETUP_COPY_FILE;
    const bool running_copy = same_file(SELF_IMAGE, copy);
    if (!running_copy) remove_below(folder, SETUP_COPY_FILE);
    ::rmdir(folder.c_str());
    delete_uninstall_entry();

    Progress& p = progress();
    p.finished = true;
    set_status(driver, TEXT_REMOVED, 100);
    if (running_copy) remove_self_later(copy, folder);
    return true;
}

void remove_self_later(const std::string& setup_copy, const std::string& folder) {
    ::unlink(setup_copy.c_str());
    ::rmdir(folder.c_str());
}

std::uint64_t estimated_size_kib(std::uint64_t total_bytes) { return (total_bytes + 1023) / 1024; }

bool write_uninstall_entry(const std::string& folder) {
    const Places p = places();
    if (p.record.empty()) return false;
    std::uint64_t total = 0;
    auto add = [&](const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) total += static_cast<std::uint64_t>(st.st_size);
    };
    for (const InstallFile& f : install_files()) add(folder + "/" + f.name);
    const std::string copy = folder + "/" + SETUP_COPY_FILE;
    add(copy);
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
