#pragma once
// Installing and removing Quenvale for the current user: the files of the install table
// from the payload of the setup executable, the setup copy beside them, the menu entries,
// the desktop shortcut, the icon and the uninstall record. Reports through progress();
// never throws.
#include <cstdint>
#include <functional>
#include <string>

namespace setup {

inline constexpr const char* TEXT_INCOMPLETE = "This setup is incomplete. Download it again.";
inline constexpr const char* TEXT_NOT_WRITABLE = "This folder cannot be written.";
inline constexpr const char* TEXT_IN_USE = "Quenvale is currently open, close it first";
inline constexpr const char* TEXT_DISK_FULL = "Not enough disk space.";
inline constexpr const char* TEXT_CHOOSE_FOLDER = "Choose an install folder.";
inline constexpr const char* TEXT_CANNOT_CREATE = "Could not create that folder.";
inline constexpr const char* TEXT_NO_FOLDER = "No install folder found.";
inline constexpr const char* TEXT_READY = "Quenvale is ready.";
inline constexpr const char* TEXT_REMOVED = "Quenvale was removed.";

// What runs the engine: with a window, refresh() repaints it and handles pending events
// after every status change, and a finished install may start the program.
struct Driver {
    std::function<void()> refresh;
    bool has_window = false;
    // The setup executable whose payload is installed; "" is the running one.
    std::string image;
};

// Sets the status text and percent, then lets the driver refresh.
void set_status(const Driver& driver, const std::string& text, int percent);

// The message for a failed write of a table file. code is the system's error (errno on
// POSIX, GetLastError() on Windows).
std::string write_error_text(const std::string& target, const std::string& name, int code,
                             bool incomplete);

// Writes table entry id (named name) as image carries it (the appended payload, or an
// RCDATA resource on Windows: carried.h) to target, replacing it in
// place (a running program's file cannot be replaced: ETXTBSY, or a sharing violation on
// Windows). "" on success, else the
// error text. A target whose mode denies all writing is left alone as read-only, for
// every user alike.
std::string write_resource_file(const std::string& image, std::uint32_t id, const std::string& name,
                                const std::string& target, bool executable);

// The folder without trailing "/" ("" stays ""; a relative folder is made absolute).
std::string clean_folder(const std::string& folder);

bool install_to(const std::string& folder, const Driver& driver);
// folder "" reads the record's install location.
bool uninstall_from(const std::string& folder, const Driver& driver);

// The uninstall record: one JSON object in places().record on Linux, the per-user
// uninstall key on Windows.
bool write_uninstall_entry(const std::string& folder);
std::string read_install_location();
void delete_uninstall_entry();
// KiB for an installation of total bytes: (total + 1023) / 1024.
std::uint64_t estimated_size_kib(std::uint64_t total_bytes);

// The setup copy removes itself while it runs. On Linux a running executable can be
// unlinked, so no helper process has to wait for it to end; on Windows a hidden command
// shell waits about two seconds, then deletes it. Then the folder goes when it is empty.
void remove_self_later(const std::string& setup_copy, const std::string& folder);

}  // namespace setup
