// POSIX: the payload appended to the executable; the Windows counterpart is
// win32/carried.cpp.
#ifndef _WIN32

#include "setup/carried.h"

#include "setup/payload.h"
#include "setup/table.h"

namespace setup {

Carried::~Carried() = default;

bool open_carried(const std::string& image, std::uint32_t index, Carried& out) {
    const auto files = install_files();
    if (index >= files.size()) return false;
    int code = 0;
    out.image = platform::open_for_reading(image.empty() ? platform::running_image() : image, code);
    PayloadIndex payload;
    if (!out.image.open() || !read_payload_index(out.image, payload)) return false;
    const PayloadEntry* entry = find_entry(payload, index);
    if (!entry || entry->size == 0 || entry->name != files[index].name) return false;
    out.offset = entry->offset;
    out.size = entry->size;
    return true;
}

bool copy_carried(const Carried& carried, const platform::File& out, int& code) {
    return copy_range(carried.image, carried.offset, carried.size, out, code);
}

}  // namespace setup

#endif  // _WIN32
