#include "core/base64.h"

namespace core {

namespace {
const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int value_of(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

std::string base64_encode(const std::uint8_t* data, std::size_t len) {
    std::string out;
    out.reserve((len + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= len; i += 3) {
        std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out.push_back(ALPHABET[(v >> 18) & 63]);
        out.push_back(ALPHABET[(v >> 12) & 63]);
        out.push_back(ALPHABET[(v >> 6) & 63]);
        out.push_back(ALPHABET[v & 63]);
    }
    std::size_t rest = len - i;
    if (rest == 1) {
        std::uint32_t v = data[i] << 16;
        out.push_back(ALPHABET[(v >> 18) & 63]);
        out.push_back(ALPHABET[(v >> 12) & 63]);
        out += "==";
    } else if (rest == 2) {
        std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
        out.push_back(ALPHABET[(v >> 18) & 63]);
        out.push_back(ALPHABET[(v >> 12) & 63]);
        out.push_back(ALPHABET[(v >> 6) & 63]);
        out.push_back('=');
    }
    return out;
}

bool base64_decode(std::string_view text, Bytes& out) {
    out.clear();
    Bytes tmp;
    tmp.reserve(text.size() * 3 / 4);
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v')
            continue;
        int v = value_of(c);
        if (v < 0) return false;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            tmp.push_back(static_cast<std::uint8_t>((acc >> bits) & 0xff));
        }
    }
    out.swap(tmp);
    return true;
}

}  // namespace core
