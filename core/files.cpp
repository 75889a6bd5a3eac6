#include "core/files.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#define QUENVALE_POSIX_FILES 1
#endif

#include "core/crypto.h"
#include "platform/replace.h"

namespace core {

namespace fs = std::filesystem;

namespace {

fs::path to_path(const std::string& p) { return fs::path(std::u8string(p.begin(), p.end())); }

std::string from_path(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

const char* const TEMP_SUFFIX = ".tmp";
// Folders hold a few hundred entries at most; a scan stops here regardless.
constexpr std::size_t MAX_SCANNED_ENTRIES = 10000;
constexpr std::size_t MAX_REMEMBERED_FOLDERS = 4096;
// Rounds of "create the temporary, find it stale, remove it" before giving up.
constexpr int MAX_TEMPORARY_ATTEMPTS = 8;

// Writers of the same path inside the process take turns; paths are spread over a
// fixed set of mutexes, so the table never grows.
std::mutex& path_mutex(const std::string& path) {
    static std::array<std::mutex, 64> stripes;
    return stripes[std::hash<std::string>{}(path) % stripes.size()];
}

#ifdef QUENVALE_POSIX_FILES

bool ends_with(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The pid of an older temporary name "<file>.tmp-<pid>-<n>", or -1 for other names.
long long old_temporary_pid(const std::string& name) {
    auto dash = name.rfind('-');
    if (dash == std::string::npos || dash + 1 == name.size()) return -1;
    for (std::size_t i = dash + 1; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return -1;
    auto marker = name.rfind(".tmp-", dash);
    if (marker == std::string::npos || marker == 0) return -1;
    std::size_t start = marker + 5;
    if (start >= dash || dash - start > 10) return -1;
    long long pid = 0;
    for (std::size_t i = start; i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

bool same_file(int fd, const std::string& path) {
    struct stat a {}, b {};
    if (::fstat(fd, &a) != 0 || ::lstat(path.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool lock_whole(int fd, bool wait) {
    int rc;
    do {
        rc = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// Removes a temporary that no writer holds any more. A live writer keeps its temporary
// locked from creation to rename, so taking the lock means the writer is gone (or has
// renamed the file into place, which the identity check sees). With wait, a live
// writer is waited for; without, a held temporary is left alone.
bool remove_stale_temporary(const std::string& tmp, bool wait) {
    struct stat st {};
    if (::lstat(tmp.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISLNK(st.st_mode)) return ::unlink(tmp.c_str()) == 0 || errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;  // a folder there is not ours to remove
    int fd = ::open(tmp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT;
    bool ok = lock_whole(fd, wait);
    if (ok && same_file(fd, tmp)) ok = ::unlink(tmp.c_str()) == 0 || errno == ENOENT;
    ::close(fd);
    return ok;
}

// Creates tmp exclusively and locks it; -1 when that cannot be done.
int open_temporary(const std::string& tmp) {
    for (int attempt = 0; attempt < MAX_TEMPORARY_ATTEMPTS; ++attempt) {
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            // Someone may have taken it for stale between the create and the lock.
            if (lock_whole(fd, false) && same_file(fd, tmp)) return fd;
            ::close(fd);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EEXIST) return -1;
        if (!remove_stale_temporary(tmp, true)) return -1;
    }
    return -1;
}

bool write_all(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

void sync_folder(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool process_alive(long long pid) {
    if (pid <= 0 || pid > 0x7fffffff) return false;
    if (pid == static_cast<long long>(::getpid())) return false;  // we no longer write that form
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool old_enough(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    return ::time(nullptr) - st.st_mtime >= STALE_TEMPORARY_SECONDS;
}

#endif

// Once per folder and process: temporaries left by writers that died. Our own
// temporaries are found again on the next write of their file; this catches the rest.
void clear_stale_temporaries(const std::string& dir) {
    static std::mutex mutex;
    static std::set<std::string> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (done.size() >= MAX_REMEMBERED_FOLDERS) done.clear();
        if (!done.insert(dir).second) return;
    }
#ifdef QUENVALE_POSIX_FILES
    std::vector<std::string> stale;
    std::error_code ec;
    std::size_t seen = 0;
    for (fs::directory_iterator it(to_path(dir), ec), end; !ec && it != end && seen < MAX_SCANNED_ENTRIES;
         it.increment(ec), ++seen) {
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        std::string name = from_path(it->path().filename());
        std::string full = from_path(it->path());
        long long pid = old_temporary_pid(name);
        if (pid >= 0) {
            if (!process_alive(pid)) ::unlink(full.c_str());
        } else if (ends_with(name, TEMP_SUFFIX) && name.size() > 4 && old_enough(full)) {
            stale.push_back(full);
        }
    }
    for (const auto& path : stale) remove_stale_temporary(path, false);
#endif
}

// Writes data to path's temporary and hands it to publish (rename or link).
bool write_through_temporary(const std::string& path, std::string_view data, bool replace) {
    std::lock_guard<std::mutex> turn(path_mutex(path));
    std::string parent = parent_path(path);
    const std::string dir = parent.empty() ? std::string(".") : parent;
    clear_stale_temporaries(dir);
    std::string tmp = path + TEMP_SUFFIX;
#ifdef QUENVALE_POSIX_FILES
    int fd = open_temporary(tmp);
    if (fd < 0) return false;
    bool ok = write_all(fd, data) && same_file(fd, tmp);
    if (ok) ok = platform::move_into_place(tmp, path, replace);
    if (!ok && same_file(fd, tmp)) ::unlink(tmp.c_str());
    ::close(fd);
    if (ok) sync_folder(dir);
    return ok;
#else
    std::error_code ec;
    fs::remove(to_path(tmp), ec);
    if (!replace && fs::exists(to_path(path), ec)) return false;
    bool ok = write_file(tmp, data) && platform::move_into_place(tmp, path, replace);
    if (!ok) fs::remove(to_path(tmp), ec);
    return ok;
#endif
}

}  // namespace

bool read_file(const std::string& path, std::string& out, std::uintmax_t max_bytes) {
    out.clear();
    std::error_code ec;
    auto p = to_path(path);
    if (!fs::is_regular_file(p, ec)) return false;
    auto size = fs::file_size(p, ec);
    if (ec || size > max_bytes) return false;
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    std::string data;
    data.resize(static_cast<std::size_t>(size));
    in.read(data.data(), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) return false;
    out.swap(data);
    return true;
}

bool write_file(const std::string& path, std::string_view data) {
    std::ofstream out(to_path(path), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.flush();
    bool ok = static_cast<bool>(out);
    out.close();
    return ok && !out.fail();
}

bool write_file_atomic(const std::string& path, std::string_view data) {
    return write_through_temporary(path, data, true);
}

bool write_file_new(const std::string& path, std::string_view data) {
    return write_through_temporary(path, data, false);
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(to_path(path), ec);
}

bool entry_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(to_path(path), ec));
}

bool is_directory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(to_path(path), ec);
}

bool make_dirs(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    fs::create_directories(to_path(path), ec);
    return fs::is_directory(to_path(path), ec);
}

bool remove_file(const std::string& path) {
    std::error_code ec;
    return fs::remove(to_path(path), ec);
}

bool rename_file(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(to_path(from), to_path(to), ec);
    return !ec;
}

bool copy_file(const std::string& from, const std::string& to) {
    std::string data;
    if (!read_file(from, data)) return false;
    bool ok = write_file_new(to, data);
    cleanse(data);  // the copied file may hold a key
    return ok;
}

std::vector<std::string> list_files(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(to_path(dir), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        names.push_back(from_path(it->path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<FileEntry> list_file_entries(const std::string& dir, std::size_t max_entries) {
    std::vector<FileEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(to_path(dir), ec), end; !ec && it != end && entries.size() < max_entries;
         it.increment(ec)) {
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        FileEntry e;
        e.name = from_path(it->path().filename());
        e.size = it->file_size(ec2);
        if (ec2) continue;
        const auto t = it->last_write_time(ec2);
        if (ec2) continue;
        e.stamp = static_cast<std::int64_t>(t.time_since_epoch().count());
        entries.push_back(std::move(e));
    }
    return entries;
}

std::int64_t file_stamp_now() {
    return static_cast<std::int64_t>(fs::file_time_type::clock::now().time_since_epoch().count());
}

std::int64_t file_stamp_seconds(std::int64_t seconds) {
    return static_cast<std::int64_t>(
        std::chrono::duration_cast<fs::file_time_type::duration>(std::chrono::seconds(seconds)).count());
}

bool touch_file(const std::string& path) {
    std::error_code ec;
    fs::last_write_time(to_path(path), fs::file_time_type::clock::now(), ec);
    return !ec;
}

std::string parent_path(const std::string& path) {
    auto pos = path.find_last_of("/\\");
    if (pos == std::string::npos) return "";
    return path.substr(0, pos);
}

}  // namespace core
