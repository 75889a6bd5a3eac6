#include "core/text.h"

#include <cstdint>

namespace core {

std::u16string utf8_to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= s.size();
            std::uint32_t v = c & (0xFF >> (len + 1));
            for (std::size_t k = 1; ok && k < len; ++k) {
                auto cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80) ok = false;
                v = (v << 6) | (cc & 0x3F);
            }
            static const std::uint32_t min_for_len[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= min_for_len[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
            } else {
                cp = 0xFFFD;
                len = 1;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string trim_left(std::string_view text, std::string_view chars) {
    auto b = text.find_first_not_of(chars);
    if (b == std::string_view::npos) return "";
    return std::string(text.substr(b));
}

std::string trim_right(std::string_view text, std::string_view chars) {
    auto e = text.find_last_not_of(chars);
    if (e == std::string_view::npos) return "";
    return std::string(text.substr(0, e + 1));
}

std::string trim(std::string_view text, std::string_view chars) {
    return trim_right(trim_left(text, chars), chars);
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string cut_utf8(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return std::string(text);
    std::size_t end = max_bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

}  // namespace core

namespace core {

namespace {

constexpr std::uint32_t NOT_UTF8 = 0xFFFFFFFF;

// The code point at text[i] and its length in bytes; NOT_UTF8 and 1 for a byte that
// does not start a well-formed sequence (overlong forms and surrogates included).
std::uint32_t code_point_at(std::string_view text, std::size_t i, std::size_t& len) {
    auto c = static_cast<unsigned char>(text[i]);
    len = 1;
    if (c < 0x80) return c;
    std::size_t want = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (want == 0 || i + want > text.size()) return NOT_UTF8;
    std::uint32_t v = c & (0xFF >> (want + 1));
    for (std::size_t k = 1; k < want; ++k) {
        auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) return NOT_UTF8;
        v = (v << 6) | (cc & 0x3F);
    }
    static const std::uint32_t min_for_len[] = {0, 0, 0x80, 0x800, 0x10000};
    if (v < min_for_len[want] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return NOT_UTF8;
    len = want;
    return v;
}

// Control strings (OSC, DCS, SOS, PM, APC) run to BEL, ESC \ or ST; an unterminated
// one runs to the end, as a terminal would swallow it.
std::size_t skip_control_string(std::string_view text, std::size_t i) {
    while (i < text.size()) {
        std::size_t len = 1;
        std::uint32_t cp = code_point_at(text, i, len);
        if (cp == 0x07 || cp == 0x9C) return i + len;
        if (cp == 0x1B && i + 1 < text.size() && text[i + 1] == '\\') return i + 2;
        i += len;
    }
    return i;
}

// CSI parameters and intermediates (0x20..0x3F) up to one final byte (0x40..0x7E).
std::size_t skip_csi(std::string_view text, std::size_t i) {
    while (i < text.size() && text[i] >= 0x20 && text[i] <= 0x3F) ++i;
    if (i < text.size() && text[i] >= 0x40 && text[i] <= 0x7E) ++i;
    return i;
}

bool starts_control_string(std::uint32_t cp) {
    return cp == 0x90 || cp == 0x98 || cp == 0x9D || cp == 0x9E || cp == 0x9F;
}

// i is just past an ESC.
std::size_t skip_escape(std::string_view text, std::size_t i) {
    if (i >= text.size()) return i;
    char c = text[i];
    if (c == '[') return skip_csi(text, i + 1);
    if (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_') return skip_control_string(text, i + 1);
    while (i < text.size() && text[i] >= 0x20 && text[i] <= 0x2F) ++i;
    if (i < text.size() && text[i] >= 0x30 && text[i] <= 0x7E) ++i;
    return i;
}

}  // namespace

namespace {

// The bidirectional embeddings, overrides, isolates and marks.
bool is_bidi_control(std::uint32_t cp) {
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E || cp == 0x200F ||
           cp == 0x061C;
}

}  // namespace

std::string strip_controls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t len = 1;
        std::uint32_t cp = code_point_at(text, i, len);
        i += len;
        if (cp == NOT_UTF8) {
            out += "\xEF\xBF\xBD";
        } else if (cp == 0x1B) {
            i = skip_escape(text, i);
        } else if (cp == 0x9B) {
            i = skip_csi(text, i);
        } else if (starts_control_string(cp)) {
            i = skip_control_string(text, i);
        } else if (cp >= 0x09 && cp <= 0x0D) {
            out.push_back(' ');
        } else if (is_bidi_control(cp)) {
            // Dropped: an override or isolate could turn the rest of a line around.
        } else if (cp >= 0x20 && !(cp >= 0x7F && cp <= 0x9F)) {
            out.append(text.substr(i - len, len));
        }
    }
    return out;
}

std::string safe_file_word(std::string_view text, const FileWordRule& rule) {
    std::string word;
    word.reserve(text.size());
    for (unsigned char c : text) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool digit = c >= '0' && c <= '9';
        if (rule.lower && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        bool kept = letter || digit || (c != 0 && rule.keep.find(static_cast<char>(c)) != std::string_view::npos);
        word.push_back(kept ? static_cast<char>(c) : '_');
    }
    if (word.size() > rule.max_len)
        word = rule.keep_end ? word.substr(word.size() - rule.max_len) : word.substr(0, rule.max_len);
    if (word.empty()) word = std::string(rule.if_empty);
    return word;
}

}  // namespace core
