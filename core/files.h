#pragma once
// Whole-file reads and writes. Paths are UTF-8 text with "/" separators.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Files we read are small JSON documents or pictures; anything larger is refused.
constexpr std::uintmax_t MAX_READ_BYTES = 64u * 1024u * 1024u;
// A temporary of another file that no writer holds and nobody touched for this long is
// debris of a writer that died.
constexpr std::int64_t STALE_TEMPORARY_SECONDS = 600;

bool read_file(const std::string& path, std::string& out, std::uintmax_t max_bytes = MAX_READ_BYTES);
// Truncates and writes in place.
bool write_file(const std::string& path, std::string_view data);
// Writes path + ".tmp" in the same folder and renames it over path, so readers see the
// old or the new content, never a half-written file. The temporary is created
// exclusively with owner-only permissions (0600: wallet documents hold secrets), flushed
// to disk and locked while it is written; one left by a writer that died is removed
// first, so at most one temporary per file ever exists. The first write into a folder
// also removes the folder's stale temporaries (older ".tmp-<pid>-<n>" ones included).
// Writers of one path inside the process take turns.
bool write_file_atomic(const std::string& path, std::string_view data);
// Like write_file_atomic, but publishes data only when nothing is at path yet.
bool write_file_new(const std::string& path, std::string_view data);
bool file_exists(const std::string& path);
// True when anything is at path, a dangling link included.
bool entry_exists(const std::string& path);
bool is_directory(const std::string& path);
// Creates the folder with all missing parents; true when it exists afterwards.
bool make_dirs(const std::string& path);
bool remove_file(const std::string& path);
// Rename with replace; false when the rename fails (no copy fallback).
bool rename_file(const std::string& from, const std::string& to);
// Copies a whole file (read_file's size limit) with write_file_new: false when the
// target already exists, and never leaves half a copy.
bool copy_file(const std::string& from, const std::string& to);
// Names (not paths) of the regular files directly in a folder, sorted.
std::vector<std::string> list_files(const std::string& dir);
// A regular file in a folder with its size and last-change stamp (an arbitrary epoch:
// only the order of stamps means anything).
struct FileEntry {
    std::string name;
    std::uintmax_t size = 0;
    std::int64_t stamp = 0;
};
// The regular files directly in a folder, at most max_entries of them, unsorted.
std::vector<FileEntry> list_file_entries(const std::string& dir, std::size_t max_entries);
// Now, and a span of seconds, on the stamps' scale.
std::int64_t file_stamp_now();
std::int64_t file_stamp_seconds(std::int64_t seconds);
// Sets a file's last-change stamp to now; false when it cannot.
bool touch_file(const std::string& path);
// Folder part of a path ("" when there is no separator).
std::string parent_path(const std::string& path);

}  // namespace core
