#pragma once
// The file calls the setup engine makes that differ between systems: reading the setup
// image by offset, writing installed files in place, comparing files, and the system's
// error codes (errno on POSIX, GetLastError values on Windows) sorted into what a failed
// write means to the user.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file; closes itself. handle is a descriptor on POSIX, a HANDLE on Windows.
struct File {
    std::intptr_t handle = -1;
    File() = default;
    explicit File(std::intptr_t h) : handle(h) {}
    File(File&& other) noexcept : handle(other.handle) { other.handle = -1; }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();
    bool open() const { return handle != -1; }
};

// Opens an existing regular file for reading; code is the system's error on failure.
File open_for_reading(const std::string& path, int& code);
// The size of an open regular file.
bool file_size(const File& file, std::uint64_t& size);
// Reads up to n bytes at offset; got 0 at the end of the file.
bool read_at(const File& file, std::uint64_t offset, void* buf, std::size_t n, std::size_t& got, int& code);

// Creates path for writing, replacing an existing file in place and never writing through
// a link at path. exclusive: fails when path exists. On POSIX executable gives mode 0755,
// else 0644; Windows has no modes. Windows opens it unshared, so a running program's file
// is refused (error 32).
File create_for_writing(const std::string& path, bool executable, bool exclusive, int& code);
bool write_all(const File& file, const void* buf, std::size_t n, int& code);
// Sets the mode once more (a replaced file keeps its old one) and closes; the close's
// error counts, it may be the first report of a full disk.
bool finish_file(File& file, bool executable, int& code);

// Both paths name the same existing file (hard links and different spellings alike).
bool same_file(const std::string& a, const std::string& b);
// The running program's image, as the engine opens it for its payload.
std::string running_image();
// An existing regular file marked so that nobody writes it (POSIX: no write bit at all; Windows:
// the read-only attribute).
bool is_read_only(const std::string& path);
// Clears a read-only mark the installer is allowed to remove before deleting (Windows:
// attributes to normal; POSIX: nothing, a file's mode does not stop its removal).
void clear_attributes(const std::string& path);

// What a failed write means to the user.
enum class WriteFailure { access_denied, not_writable, in_use, disk_full, other };
WriteFailure classify_write_error(int code);
// The code for "the write ended short with no error" (EIO; Windows: 29, write fault).
int write_fault_code();
// The last system error (errno / GetLastError()).
int last_error();

// folder made absolute against the current folder, separators left as given; "" when
// that fails.
std::string absolute_folder(const std::string& folder);
// True for an absolute path on this system ("/x"; "C:\x", "C:/x" or "\\server\share").
bool is_absolute_path(const std::string& path);
// "/" everywhere; "\\" too on Windows.
bool is_path_separator(char c);
// Removes an empty folder (not through a link).
bool remove_empty_folder(const std::string& path);

}  // namespace platform
