#pragma once
// Byte buffers shared by every subsystem.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

using Bytes = std::vector<std::uint8_t>;

inline Bytes to_bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline std::string to_string(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace core
