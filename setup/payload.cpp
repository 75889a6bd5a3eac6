#include "setup/payload.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <set>

namespace setup {

namespace {

constexpr char MAGIC[8] = {'Q', 'V', 'P', 'A', 'Y', 'L', 'D', '1'};
constexpr std::uint32_t FORMAT_VERSION = 1;
constexpr std::size_t ENTRY_FIXED = 4 + 8 + 8 + 2;
constexpr std::uint64_t MAX_INDEX_BYTES = MAX_PAYLOAD_ENTRIES * (ENTRY_FIXED + MAX_ENTRY_NAME);

std::uint64_t get_le(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void put_le(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

bool read_exact(int fd, std::uint64_t offset, void* buf, std::size_t n) {
    auto* p = static_cast<unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        ssize_t got = ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool write_all(int fd, const void* buf, std::size_t n, int& error_code) {
    const auto* p = static_cast<const unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        ssize_t put = ::write(fd, p + done, n - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            error_code = errno;
            return false;
        }
        if (put == 0) {
            error_code = EIO;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool read_payload_index(int fd, PayloadIndex& out) {
    out = PayloadIndex{};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const auto file_size = static_cast<std::uint64_t>(st.st_size);
    if (file_size < TRAILER_SIZE) return false;
    std::array<unsigned char, TRAILER_SIZE> trailer{};
    if (!read_exact(fd, file_size - TRAILER_SIZE, trailer.data(), trailer.size())) return false;
    if (std::memcmp(trailer.data() + 24, MAGIC, sizeof MAGIC) != 0) return false;
    const std::uint64_t start = get_le(trailer.data(), 8);
    const std::uint64_t index_offset = get_le(trailer.data() + 8, 8);
    const auto count = static_cast<std::uint32_t>(get_le(trailer.data() + 16, 4));
    const auto version = static_cast<std::uint32_t>(get_le(trailer.data() + 20, 4));
    const std::uint64_t index_end = file_size - TRAILER_SIZE;
    if (version != FORMAT_VERSION || count > MAX_PAYLOAD_ENTRIES) return false;
    if (index_offset > index_end || start > index_offset) return false;
    const std::uint64_t index_bytes = index_end - index_offset;
    if (index_bytes > MAX_INDEX_BYTES) return false;
    std::string index(static_cast<std::size_t>(index_bytes), '\0');
    if (!index.empty() && !read_exact(fd, index_offset, index.data(), index.size())) return false;

    const auto* p = reinterpret_cast<const unsigned char*>(index.data());
    std::size_t pos = 0;
    std::set<std::uint32_t> seen;
    PayloadIndex result;
    result.start = start;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (index.size() - pos < ENTRY_FIXED) return false;
        PayloadEntry e;
        e.id = static_cast<std::uint32_t>(get_le(p + pos, 4));
        e.offset = get_le(p + pos + 4, 8);
        e.size = get_le(p + pos + 12, 8);
        const auto name_len = static_cast<std::size_t>(get_le(p + pos + 20, 2));
        pos += ENTRY_FIXED;
        if (name_len > MAX_ENTRY_NAME || index.size() - pos < name_len) return false;
        e.name.assign(index.data() + pos, name_len);
        pos += name_len;
        // The bytes lie between the executable and the index (no overflow: both sides
        // are checked against values already inside the file).
        if (e.offset < start || e.offset > index_offset || e.size > index_offset - e.offset) {
            return false;
        }
        if (!seen.insert(e.id).second) return false;
        result.entries.push_back(std::move(e));
    }
    if (pos != index.size()) return false;
    out = std::move(result);
    return true;
}

bool read_payload_index(const std::string& image, PayloadIndex& out) {
    Fd f{::open(image.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) {
        out = PayloadIndex{};
        return false;
    }
    return read_payload_index(f.fd, out);
}

const PayloadEntry* find_entry(const PayloadIndex& index, std::uint32_t id) {
    for (const auto& e : index.entries) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

bool copy_range(int in_fd, std::uint64_t offset, std::uint64_t size, int out_fd, int& error_code) {
    std::array<unsigned char, 1 << 16> buf{};
    std::uint64_t done = 0;
    while (done < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - done));
        ssize_t got = ::pread(in_fd, buf.data(), want, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error_code = errno;
            return false;
        }
        if (got == 0) {
            error_code = EIO;
            return false;
        }
        if (!write_all(out_fd, buf.data(), static_cast<std::size_t>(got), error_code)) return false;
        done += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool write_setup_image(const std::string& base, std::span<const PackSource> sources,
                       const std::string& out, std::string& error) {
    if (sources.size() > MAX_PAYLOAD_ENTRIES) {
        error = "too many files";
        return false;
    }
    const std::string tmp = out + ".tmp";
    Fd o{::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755)};
    if (o.fd < 0) {
        error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](const std::string& what, int code) {
        error = what + ": " + std::strerror(code);
        ::unlink(tmp.c_str());
        return false;
    };
    auto append_file = [&](const std::string& path, std::uint64_t& size) {
        Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
        struct stat st {};
        if (in.fd < 0 || ::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = "cannot read " + path;
            ::unlink(tmp.c_str());
            return false;
        }
        size = static_cast<std::uint64_t>(st.st_size);
        int code = 0;
        if (!copy_range(in.fd, 0, size, o.fd, code)) return fail("cannot copy " + path, code);
        return true;
    };

    std::uint64_t pos = 0;
    if (!append_file(base, pos)) return false;
    const std::uint64_t start = pos;
    std::string index;
    std::set<std::uint32_t> seen;
    for (const auto& s : sources) {
        if (s.name.size() > MAX_ENTRY_NAME || !seen.insert(s.id).second) {
            error = "bad entry " + s.name;
            ::unlink(tmp.c_str());
            return false;
        }
        std::uint64_t size = 0;
        if (!append_file(s.path, size)) return false;
        put_le(index, s.id, 4);
        put_le(index, pos, 8);
        put_le(index, size, 8);
        put_le(index, s.name.size(), 2);
        index += s.name;
        pos += size;
    }
    std::string trailer;
    put_le(trailer, start, 8);
    put_le(trailer, pos, 8);
    put_le(trailer, sources.size(), 4);
    put_le(trailer, FORMAT_VERSION, 4);
    trailer.append(MAGIC, sizeof MAGIC);
    int code = 0;
    if (!write_all(o.fd, index.data(), index.size(), code) ||
        !write_all(o.fd, trailer.data(), trailer.size(), code)) {
        return fail("cannot write " + tmp, code);
    }
    if (::fchmod(o.fd, 0755) != 0 || ::close(o.fd) != 0) {
        o.fd = -1;
        return fail("cannot finish " + tmp, errno);
    }
    o.fd = -1;
    if (::rename(tmp.c_str(), out.c_str()) != 0) return fail("cannot rename to " + out, errno);
    return true;
}

}  // namespace setup
