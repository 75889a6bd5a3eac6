#include "shell/view_settings.h"

#include <fstream>
#include <limits>

#include "core/files.h"
#include "core/json.h"

namespace shell {

namespace {

std::string look_path(const std::string& folder) { return folder + "/look.json"; }
std::string window_path(const std::string& folder) { return folder + "/window.json"; }

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A decimal number as the C conversion reads it: leading white space, an optional
// sign, digits up to the first non-digit. Anything past four digits cannot be a frame
// rate, so the value stops growing there instead of overflowing.
int leading_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (value < 100000) value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

// An integer member that fits 32 bits; absent counts 0, any other kind fails.
bool edge_member(const core::Json& obj, const char* key, std::int32_t& out) {
    out = 0;
    auto it = obj.find(key);
    if (it == obj.end()) return true;
    if (it->is_number_unsigned()) {
        const auto v = it->get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    }
    if (!it->is_number_integer()) return false;
    const auto v = it->get<std::int64_t>();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool placement_in_bounds(const WindowPlacement& p) {
    const std::int64_t width = static_cast<std::int64_t>(p.right) - p.left;
    const std::int64_t height = static_cast<std::int64_t>(p.bottom) - p.top;
    return width >= MIN_WINDOW_WIDTH && height >= MIN_WINDOW_HEIGHT && p.left >= MIN_WINDOW_EDGE &&
           p.top >= MIN_WINDOW_EDGE && p.right <= MAX_WINDOW_RIGHT && p.bottom <= MAX_WINDOW_BOTTOM;
}

bool write_in_folder(const std::string& folder, const std::string& path, const std::string& text,
                     std::string& error) {
    if (!core::make_dirs(folder)) {
        error = "error: could not create the data folder.";
        return false;
    }
    if (!core::write_file_atomic(path, text)) {
        error = "error: could not write " + path.substr(folder.size() + 1) + ".";
        return false;
    }
    error.clear();
    return true;
}

}  // namespace

bridge::LookSettings default_look() {
    bridge::LookSettings look;
    look.quick = false;
    look.fps = 60;
    return look;
}

bool valid_fps(int fps) { return fps == 30 || fps == 60 || fps == 90 || fps == 120; }

bridge::LookSettings parse_look(std::string_view text) {
    text = text.substr(0, LOOK_READ_BYTES);
    // The reader of old stopped at the first NUL of its buffer; so does this one.
    text = text.substr(0, text.find('\0'));
    bridge::LookSettings look = default_look();
    const bool names_quick = text.find("quick") != std::string_view::npos;
    look.quick = text.find("\"quick\":true") != std::string_view::npos ||
                 (!names_quick && text.find("true") != std::string_view::npos);
    constexpr std::string_view FPS_KEY = "\"fps\":";
    const std::size_t at = text.find(FPS_KEY);
    if (at != std::string_view::npos) {
        const int fps = leading_number(text.substr(at + FPS_KEY.size()));
        if (valid_fps(fps)) look.fps = fps;
    }
    return look;
}

bridge::LookSettings read_look(const std::string& folder) {
    // Only the head of the file counts, whatever its size.
    std::ifstream in(look_path(folder), std::ios::binary);
    if (!in) return default_look();
    std::string text(LOOK_READ_BYTES, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return parse_look(text);
}

bool write_look(const std::string& folder, const bridge::LookSettings& look, std::string& error) {
    const int fps = valid_fps(look.fps) ? look.fps : 60;
    const std::string line =
        std::string("{\"quick\":") + (look.quick ? "true" : "false") + ",\"fps\":" + std::to_string(fps) + "}\n";
    return write_in_folder(folder, look_path(folder), line, error);
}

WindowPlacement parse_window(std::string_view text) {
    WindowPlacement p;
    core::Json doc;
    if (!core::parse_json(text, doc) || !doc.is_object()) return p;
    if (!edge_member(doc, "left", p.left) || !edge_member(doc, "top", p.top) || !edge_member(doc, "right", p.right) ||
        !edge_member(doc, "bottom", p.bottom))
        return WindowPlacement{};
    auto max = doc.find("max");
    if (max != doc.end()) {
        if (!max->is_boolean()) return WindowPlacement{};
        p.max = max->get<bool>();
    }
    p.valid = placement_in_bounds(p);
    return p;
}

WindowPlacement read_window(const std::string& folder) {
    std::string text;
    if (!core::read_file(window_path(folder), text, WINDOW_FILE_MAX)) return WindowPlacement{};
    return parse_window(text);
}

bool write_window(const std::string& folder, const WindowPlacement& placement, std::string& error) {
    const std::int64_t width = static_cast<std::int64_t>(placement.right) - placement.left;
    const std::int64_t height = static_cast<std::int64_t>(placement.bottom) - placement.top;
    if (width < MIN_WINDOW_WIDTH || height < MIN_WINDOW_HEIGHT) {
        error = "error: the window is smaller than 640 x 480; its placement is not kept.";
        return false;
    }
    const std::string line = "{\"left\":" + std::to_string(placement.left) + ",\"top\":" +
                             std::to_string(placement.top) + ",\"right\":" + std::to_string(placement.right) +
                             ",\"bottom\":" + std::to_string(placement.bottom) +
                             ",\"max\":" + (placement.max ? "true" : "false") + "}\n";
    return write_in_folder(folder, window_path(folder), line, error);
}

}  // namespace shell
