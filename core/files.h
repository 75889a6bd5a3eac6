#pragma once
// Whole-file reads and writes. Paths are UTF-8 text with "/" separators.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Files we read are small JSON documents or pictures; anything larger is refused.
constexpr std::uintmax_t MAX_READ_BYTES = 64u * 1024u * 1024u;

bool read_file(const std::string& path, std::string& out, std::uintmax_t max_bytes = MAX_READ_BYTES);
// Truncates and writes in place.
bool write_file(const std::string& path, std::string_view data);
// Truncates, writes and flushes the file to disk before returning.
bool write_file_synced(const std::string& path, std::string_view data);
// Writes path + ".tmp-<pid>-<n>" in the same folder, flushes it to disk and renames it over
// path, so readers see the old or the new content, never a half-written file.
bool write_file_atomic(const std::string& path, std::string_view data);
bool file_exists(const std::string& path);
bool is_directory(const std::string& path);
// Creates the folder with all missing parents; true when it exists afterwards.
bool make_dirs(const std::string& path);
bool remove_file(const std::string& path);
// Rename with replace; false when the rename fails (no copy fallback).
bool rename_file(const std::string& from, const std::string& to);
bool copy_file(const std::string& from, const std::string& to);
// Names (not paths) of the regular files directly in a folder, sorted.
std::vector<std::string> list_files(const std::string& dir);
// Folder part of a path ("" when there is no separator).
std::string parent_path(const std::string& path);

}  // namespace core
