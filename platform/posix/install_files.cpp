#include "platform/install_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int fd_of(const File& f) { return static_cast<int>(f.handle); }
mode_t mode_for(bool executable) { return executable ? 0755 : 0644; }

}  // namespace

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle != -1) ::close(static_cast<int>(handle));
        handle = other.handle;
        other.handle = -1;
    }
    return *this;
}

File::~File() {
    if (handle != -1) ::close(static_cast<int>(handle));
}

File open_for_reading(const std::string& path, int& code) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) code = errno;
    return File(fd);
}

bool file_size(const File& file, std::uint64_t& size) {
    struct stat st {};
    if (::fstat(fd_of(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool read_at(const File& file, std::uint64_t offset, void* buf, std::size_t n, std::size_t& got, int& code) {
    while (true) {
        const ssize_t r = ::pread(fd_of(file), buf, n, static_cast<off_t>(offset));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            code = errno;
            return false;
        }
        got = static_cast<std::size_t>(r);
        return true;
    }
}

File create_for_writing(const std::string& path, bool executable, bool exclusive, int& code) {
    // O_NOFOLLOW: a link planted at the name is not written through.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC | O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags, mode_for(executable));
    if (fd < 0) code = errno;
    return File(fd);
}

bool write_all(const File& file, const void* buf, std::size_t n, int& code) {
    const auto* p = static_cast<const unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put = ::write(fd_of(file), p + done, n - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            code = errno;
            return false;
        }
        if (put == 0) {
            code = EIO;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool finish_file(File& file, bool executable, int& code) {
    if (::fchmod(fd_of(file), mode_for(executable)) != 0) {
        code = errno;
        return false;
    }
    const int fd = fd_of(file);
    file.handle = -1;
    if (::close(fd) != 0) {
        code = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string running_image() { return "/proc/self/exe"; }

bool is_read_only(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

void clear_attributes(const std::string&) {}

WriteFailure classify_write_error(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
            return WriteFailure::access_denied;
        case EROFS:
            return WriteFailure::not_writable;
        case ETXTBSY:
            return WriteFailure::in_use;
        case ENOSPC:
        case EDQUOT:
            return WriteFailure::disk_full;
        default:
            return WriteFailure::other;
    }
}

int write_fault_code() { return EIO; }
int last_error() { return errno; }

std::string absolute_folder(const std::string& folder) {
    if (is_absolute_path(folder)) return folder;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return "";
    std::string base = cwd;
    if (base != "/") base += "/";
    return base + folder;
}

bool is_absolute_path(const std::string& path) { return !path.empty() && path[0] == '/'; }

bool is_path_separator(char c) { return c == '/'; }

bool remove_empty_folder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

}  // namespace platform
