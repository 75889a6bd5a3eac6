#pragma once
// Hex text: written as lowercase pairs, read in either case. Odd length or a stray
// character reads as nothing (an empty result and false).
#include <string>
#include <string_view>

#include "core/bytes.h"

namespace core {

std::string to_hex(const std::uint8_t* data, std::size_t len);
inline std::string to_hex(const Bytes& b) { return to_hex(b.data(), b.size()); }
inline std::string to_hex(std::string_view s) {
    return to_hex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Empty bytes for invalid input; use the bool form to tell "" from invalid.
Bytes from_hex(std::string_view hex);
bool from_hex(std::string_view hex, Bytes& out);

// True when text is exactly n hex digits (either case). n == 0 accepts any even length.
bool is_hex(std::string_view text, std::size_t n = 0);
// A txid: 64 hex characters.
inline bool is_txid(std::string_view text) { return is_hex(text, 64); }
std::string lower_ascii(std::string_view s);

}  // namespace core
