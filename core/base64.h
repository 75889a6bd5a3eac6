#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding).
#include <string>
#include <string_view>

#include "core/bytes.h"

namespace core {

std::string base64_encode(const std::uint8_t* data, std::size_t len);
inline std::string base64_encode(const Bytes& b) { return base64_encode(b.data(), b.size()); }
inline std::string base64_encode(std::string_view s) {
    return base64_encode(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Lenient reader used for signatures: white space and "=" are skipped wherever they
// stand; any other character outside the alphabet fails. Trailing bits that do not
// make a whole byte are dropped.
bool base64_decode(std::string_view text, Bytes& out);

}  // namespace core
