#pragma once
// Text helpers: UTF-8 / UTF-16 conversion and trimming.
#include <string>
#include <string_view>

namespace core {

// Invalid sequences become U+FFFD; never throws.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

// Removes the given characters from both ends (default: space, tab, CR, LF).
std::string trim(std::string_view text, std::string_view chars = " \t\r\n");
std::string trim_left(std::string_view text, std::string_view chars);
std::string trim_right(std::string_view text, std::string_view chars);
bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);
// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string cut_utf8(std::string_view text, std::size_t max_bytes);

// Outside text made safe to print on a terminal: C0 controls, DEL and C1 controls
// (raw or UTF-8 encoded U+0080..U+009F) are removed, whole ESC/CSI/OSC/DCS sequences
// with them, and so are the bidirectional controls (U+202A..U+202E, U+2066..U+2069,
// U+200E, U+200F, U+061C); tab, CR, LF, VT and FF become a space; bytes that are not
// UTF-8 become U+FFFD. Linear in the input.
std::string strip_controls(std::string_view text);

// How safe_file_word turns outside text into a word that names a file. Stored files rely
// on the exact words, so each caller keeps the rule its files were first named with.
struct FileWordRule {
    std::string_view keep = "";  // bytes kept besides ASCII letters and digits
    bool lower = false;     // A-Z written as a-z
    std::size_t max_len = 64;
    bool keep_end = false;  // a longer word keeps its last max_len bytes, not its first
    std::string_view if_empty = "";
};

// ASCII letters, digits and the rule's extra bytes stay; every other byte becomes "_".
// The result is never a path: no "/", "." or NUL can survive unless a rule keeps them.
std::string safe_file_word(std::string_view text, const FileWordRule& rule);

}  // namespace core
