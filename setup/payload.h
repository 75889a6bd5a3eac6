#pragma once
// The payload carried at the end of the setup executable: the installed files one after
// another, an index naming each by its table id, and a fixed trailer. Little-endian:
//   [executable][file bytes ...][index][trailer]
//   index entry: u32 id, u64 offset, u64 size, u16 name length, name bytes
//   trailer (32 bytes): u64 payload start, u64 index offset, u32 count, u32 version, "QVPAYLD1"
// Everything read from it is bounded by the file's real size: a truncated or altered file
// reads as no payload, never past its end.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/install_files.h"

namespace setup {

inline constexpr std::size_t TRAILER_SIZE = 32;
inline constexpr std::uint32_t MAX_PAYLOAD_ENTRIES = 1024;
inline constexpr std::size_t MAX_ENTRY_NAME = 255;

struct PayloadEntry {
    std::uint32_t id = 0;
    std::string name;
    std::uint64_t offset = 0;  // from the start of the file
    std::uint64_t size = 0;
};

struct PayloadIndex {
    std::uint64_t start = 0;  // where the executable ends and the files begin
    std::vector<PayloadEntry> entries;
};

// Reads the index of the open image. False when it has no payload or when any count,
// offset, size or name falls outside the file or repeats an id.
bool read_payload_index(const platform::File& image, PayloadIndex& out);
bool read_payload_index(const std::string& image, PayloadIndex& out);
// The entry with this id, or nullptr.
const PayloadEntry* find_entry(const PayloadIndex& index, std::uint32_t id);

// Copies size bytes at offset of in to the current position of out. On failure
// error_code is the system's error of the failing call (a write fault for a short read).
bool copy_range(const platform::File& in, std::uint64_t offset, std::uint64_t size, const platform::File& out,
                int& error_code);

struct PackSource {
    std::uint32_t id = 0;
    std::string name;
    std::string path;  // file whose bytes are carried
};

// Writes base's bytes followed by the sources, the index and the trailer to out, through
// a temporary beside it renamed over out, with mode 0755 (POSIX).
bool write_setup_image(const std::string& base, std::span<const PackSource> sources,
                       const std::string& out, std::string& error);

}  // namespace setup
