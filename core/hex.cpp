#include "core/hex.h"

namespace core {

namespace {
int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string to_hex(const std::uint8_t* data, std::size_t len) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.resize(len * 2);
    for (std::size_t i = 0; i < len; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 0x0f];
    }
    return out;
}

bool from_hex(std::string_view hex, Bytes& out) {
    out.clear();
    if (hex.size() % 2 != 0) return false;
    Bytes tmp;
    tmp.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]);
        int lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        tmp.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
    }
    out.swap(tmp);
    return true;
}

Bytes from_hex(std::string_view hex) {
    Bytes out;
    from_hex(hex, out);
    return out;
}

bool is_hex(std::string_view text, std::size_t n) {
    if (n != 0 && text.size() != n) return false;
    if (text.size() % 2 != 0) return false;
    for (char c : text)
        if (nibble(c) < 0) return false;
    return true;
}

std::string lower_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace core
