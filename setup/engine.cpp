#include "setup/engine.h"

#include <vector>

#include "core/files.h"
#include "platform/install_files.h"
#include "platform/process.h"
#include "platform/replace.h"
#include "setup/carried.h"
#include "setup/payload.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/shortcuts.h"
#include "setup/table.h"
#include "setup/tree.h"

namespace setup {

namespace {

std::string image_of(const Driver& driver) { return driver.image.empty() ? platform::running_image() : driver.image; }

// Copies the whole image (the running setup, payload included) to target.
void copy_setup(const std::string& image, const std::string& target) {
    if (platform::same_file(image, target)) return;
    int code = 0;
    const platform::File in = platform::open_for_reading(image, code);
    std::uint64_t size = 0;
    if (!in.open() || !platform::file_size(in, size)) return;
    // A temporary renamed over the old copy: that copy may be running.
    const std::string tmp = target + ".tmp";
    core::remove_file(tmp);
    platform::File out = platform::create_for_writing(tmp, true, true, code);
    if (!out.open()) return;
    const bool copied = copy_range(in, 0, size, out, code);
    const bool closed = platform::finish_file(out, true, code);
    if (!copied || !closed || !platform::move_into_place(tmp, target, true)) {
        out = platform::File();
        core::remove_file(tmp);
    }
}

}  // namespace

void set_status(const Driver& driver, const std::string& text, int percent) {
    Progress& p = progress();
    p.status = text;
    p.percent = percent;
    if (driver.refresh) driver.refresh();
}

std::string write_error_text(const std::string& target, const std::string& name, int code,
                             bool incomplete) {
    if (incomplete) return TEXT_INCOMPLETE;
    switch (platform::classify_write_error(code)) {
        case platform::WriteFailure::access_denied:
            if (platform::is_read_only(target)) return name + " is read-only.";
            return TEXT_NOT_WRITABLE;
        case platform::WriteFailure::not_writable:
            return TEXT_NOT_WRITABLE;
        case platform::WriteFailure::in_use:
            return TEXT_IN_USE;
        case platform::WriteFailure::disk_full:
            return TEXT_DISK_FULL;
        case platform::WriteFailure::other:
            break;
    }
    return "Failed to write " + name + ".";
}

std::string write_resource_file(const std::string& image, std::uint32_t id, const std::string& name,
                                const std::string& target, bool executable) {
    int code = 0;
    Carried carried;
    if (!open_carried(image, id, carried)) return write_error_text(target, name, 0, true);

    // A file marked read-only stays as it is, whoever runs the setup (root included).
    if (platform::is_read_only(target)) return name + " is read-only.";
    platform::File out = platform::create_for_writing(target, executable, false, code);
    if (!out.open()) return write_error_text(target, name, code, false);
    if (!copy_carried(carried, out, code)) return write_error_text(target, name, code, false);
    if (!platform::finish_file(out, executable, code)) return write_error_text(target, name, code, false);
    return "";
}

std::string clean_folder(const std::string& folder) {
    std::string f = folder;
    while (!f.empty() && platform::is_path_separator(f.back())) f.pop_back();
    if (f.empty()) return "";
    return platform::absolute_folder(f);
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
            set_status(driver, write_error_text(parent, f.name, platform::last_error(), false), p.percent);
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
    const bool running_copy = platform::same_file(platform::running_image(), copy);
    if (!running_copy) remove_below(folder, SETUP_COPY_FILE);
    platform::remove_empty_folder(folder);
    delete_uninstall_entry();

    Progress& p = progress();
    p.finished = true;
    set_status(driver, TEXT_REMOVED, 100);
    if (running_copy) remove_self_later(copy, folder);
    return true;
}

std::uint64_t installed_bytes(const std::string& folder) {
    std::uint64_t total = 0;
    auto add = [&](const std::string& path) {
        int code = 0;
        const platform::File f = platform::open_for_reading(path, code);
        std::uint64_t size = 0;
        if (f.open() && platform::file_size(f, size)) total += size;
    };
    for (const InstallFile& f : install_files()) add(folder + "/" + f.name);
    add(folder + "/" + SETUP_COPY_FILE);
    return total;
}

std::uint64_t estimated_size_kib(std::uint64_t total_bytes) { return (total_bytes + 1023) / 1024; }

}  // namespace setup
