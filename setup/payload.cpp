#include "setup/payload.h"

#include <cstring>

#include <array>
#include <set>
#include <system_error>

#include "core/files.h"
#include "platform/replace.h"

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

bool read_exact(const platform::File& f, std::uint64_t offset, void* buf, std::size_t n) {
    auto* p = static_cast<unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        std::size_t got = 0;
        int code = 0;
        if (!platform::read_at(f, offset + done, p + done, n - done, got, code) || got == 0) return false;
        done += got;
    }
    return true;
}

std::string system_text(int code) { return std::system_category().message(code); }

}  // namespace

bool read_payload_index(const platform::File& fd, PayloadIndex& out) {
    out = PayloadIndex{};
    std::uint64_t file_size = 0;
    if (!platform::file_size(fd, file_size)) return false;
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
    int code = 0;
    const platform::File f = platform::open_for_reading(image, code);
    if (!f.open()) {
        out = PayloadIndex{};
        return false;
    }
    return read_payload_index(f, out);
}

const PayloadEntry* find_entry(const PayloadIndex& index, std::uint32_t id) {
    for (const auto& e : index.entries) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

bool copy_range(const platform::File& in, std::uint64_t offset, std::uint64_t size, const platform::File& out,
                int& error_code) {
    std::array<unsigned char, 1 << 16> buf{};
    std::uint64_t done = 0;
    while (done < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - done));
        std::size_t got = 0;
        if (!platform::read_at(in, offset + done, buf.data(), want, got, error_code)) return false;
        if (got == 0) {
            error_code = platform::write_fault_code();
            return false;
        }
        if (!platform::write_all(out, buf.data(), got, error_code)) return false;
        done += got;
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
    int open_code = 0;
    platform::File o = platform::create_for_writing(tmp, true, false, open_code);
    if (!o.open()) {
        error = "cannot create " + tmp + ": " + system_text(open_code);
        return false;
    }
    auto fail = [&](const std::string& what, int code) {
        error = what + ": " + system_text(code);
        o = platform::File();
        core::remove_file(tmp);
        return false;
    };
    auto append_file = [&](const std::string& path, std::uint64_t& size) {
        int code = 0;
        const platform::File in = platform::open_for_reading(path, code);
        if (!in.open() || !platform::file_size(in, size)) {
            error = "cannot read " + path;
            o = platform::File();
            core::remove_file(tmp);
            return false;
        }
        if (!copy_range(in, 0, size, o, code)) return fail("cannot copy " + path, code);
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
            o = platform::File();
            core::remove_file(tmp);
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
    if (!platform::write_all(o, index.data(), index.size(), code) ||
        !platform::write_all(o, trailer.data(), trailer.size(), code)) {
        return fail("cannot write " + tmp, code);
    }
    if (!platform::finish_file(o, true, code)) return fail("cannot finish " + tmp, code);
    if (!platform::move_into_place(tmp, out, true)) return fail("cannot rename to " + out, platform::last_error());
    return true;
}

}  // namespace setup
