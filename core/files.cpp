#include "core/files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace core {

namespace fs = std::filesystem;

namespace {
fs::path to_path(const std::string& p) { return fs::path(std::u8string(p.begin(), p.end())); }

std::string unique_suffix() {
    static std::atomic<unsigned> counter{0};
#if defined(__unix__) || defined(__APPLE__)
    long pid = static_cast<long>(getpid());
#else
    long pid = 0;
#endif
    return ".tmp-" + std::to_string(pid) + "-" + std::to_string(counter.fetch_add(1));
}

}  // namespace

bool write_file_synced(const std::string& path, std::string_view data) {
#if defined(__unix__) || defined(__APPLE__)
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    bool ok = ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok;
#else
    return write_file(path, data);
#endif
}

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
    std::string tmp = path + unique_suffix();
    if (!write_file_synced(tmp, data)) {
        std::error_code ec;
        fs::remove(to_path(tmp), ec);
        return false;
    }
    std::error_code ec;
    fs::rename(to_path(tmp), to_path(path), ec);
    if (ec) {
        fs::remove(to_path(tmp), ec);
        return false;
    }
    return true;
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(to_path(path), ec);
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
    std::error_code ec;
    fs::copy_file(to_path(from), to_path(to), fs::copy_options::overwrite_existing, ec);
    return !ec;
}

std::vector<std::string> list_files(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(to_path(dir), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        auto u8 = it->path().filename().u8string();
        names.emplace_back(u8.begin(), u8.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string parent_path(const std::string& path) {
    auto pos = path.find_last_of("/\\");
    if (pos == std::string::npos) return "";
    return path.substr(0, pos);
}

}  // namespace core
