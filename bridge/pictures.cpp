#include "bridge/pictures.h"

#include <string_view>

#include "core/files.h"
#include "core/hex.h"
#include "ledger/walls.h"
#include "ordinals/caches.h"
#include "ordinals/content.h"

namespace bridge {

namespace {

// A side file holds an extension and an origin; anything longer is not one of ours.
constexpr std::uintmax_t MAX_SIDE_FILE_BYTES = 4096;
constexpr std::string_view EXTENSIONS[] = {"png", "jpg", "webp", "gif"};
const char* const PROBE_NAME = "/.write-probe";

bool known_extension(std::string_view ext) {
    for (std::string_view e : EXTENSIONS)
        if (ext == e) return true;
    return false;
}

bool valid_frame(int n) { return n >= 1 && n <= ledger::FRAME_COUNT; }

bool valid_request(int n, const std::string& origin) {
    return valid_frame(n) && !ledger::inscription_id(origin).empty();
}

// folder + "/ap" + n, the stem of the frame's picture and side file.
std::string frame_stem(const std::string& folder, int n) { return folder + "/ap" + std::to_string(n); }

std::mutex& frame_mutex(int n) { return picture_state().frames[static_cast<std::size_t>(n - 1)]; }

std::function<void()> store_hook() {
    PictureState& s = picture_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.store_hook;
}

// Creates the folder (one level: its parent must be there) and writes and removes a
// small file in it.
bool writable_folder(const std::string& dir) {
    if (!core::is_directory(core::parent_path(dir)) || !core::make_dirs(dir)) return false;
    const std::string probe = dir + PROBE_NAME;
    if (!core::write_file_atomic(probe, "probe")) return false;
    core::remove_file(probe);
    return true;
}

std::string strip_cr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// The two lines of a side file; false when the file or its first line end is missing.
bool read_side_file(const std::string& path, std::string& ext, std::string& origin) {
    std::string text;
    if (!core::read_file(path, text, MAX_SIDE_FILE_BYTES)) return false;
    const std::size_t first = text.find('\n');
    if (first == std::string::npos) return false;
    ext = strip_cr(text.substr(0, first));
    const std::size_t second = text.find('\n', first + 1);
    origin = strip_cr(text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
    return true;
}

std::string_view as_text(const core::Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

SpotPic fetch_checked(int n, const std::string& origin) {
    SpotPic pic;
    const std::string folder = spots_folder();
    if (folder.empty()) return pic;  // nowhere to keep it: not worth the download
    const std::string stem = frame_stem(folder, n);
    std::lock_guard<std::mutex> turn(frame_mutex(n));
    std::string ext, named;
    if (read_side_file(stem + ".origin", ext, named) && core::lower_ascii(named) == core::lower_ascii(origin) &&
        known_extension(ext)) {
        const std::string file = stem + "." + ext;
        if (core::file_exists(file) && !core::is_directory(file)) {
            pic.extension = ext;
            pic.ok = true;
            return pic;
        }
    }
    ordinals::Content content;
    std::string error;
    if (!ordinals::read_content(origin, true, true, content, error) || content.bytes.empty()) return pic;
    pic.extension = picture_extension(content.type);
    pic.ok = !pic.extension.empty();
    if (pic.ok) pic.bytes = core::to_bytes(content.bytes);
    return pic;
}

std::string store_checked(int n, const std::string& origin, const SpotPic& pic) {
    const std::string folder = spots_folder();
    if (folder.empty()) return "";
    core::make_dirs(folder);
    const std::string address = "spots/ap" + std::to_string(n) + "." + pic.extension;
    if (pic.bytes.empty()) return address;
    const std::string stem = frame_stem(folder, n);
    const std::function<void()> hook = store_hook();
    std::lock_guard<std::mutex> turn(frame_mutex(n));
    if (!core::write_file_atomic(stem + "." + pic.extension, as_text(pic.bytes))) return "";
    if (hook) hook();
    // A side file left naming the previous picture could claim this one for it.
    if (!core::write_file_atomic(stem + ".origin", pic.extension + "\n" + origin + "\n"))
        core::remove_file(stem + ".origin");
    return address;
}

}  // namespace

std::string picture_extension(const std::string& content_type) {
    const std::string t = core::lower_ascii(content_type);
    auto has = [&](std::string_view word) { return t.find(word) != std::string::npos; };
    if (has("png")) return "png";
    if (has("jpeg") || has("jpg")) return "jpg";
    if (has("webp")) return "webp";
    if (has("gif")) return "gif";
    return "";
}

SpotPic fetch_spot_picture(int n, const std::string& origin) {
    if (!valid_request(n, origin)) return {};
    try {
        return fetch_checked(n, origin);
    } catch (...) {
        return {};
    }
}

std::string store_spot_picture(int n, const std::string& origin, const SpotPic& pic) {
    if (!valid_request(n, origin) || !pic.ok || !known_extension(pic.extension)) return "";
    if (pic.bytes.size() > ordinals::MAX_CONTENT_BYTES) return "";
    try {
        return store_checked(n, origin, pic);
    } catch (...) {
        return "";
    }
}

std::string spot_picture_url(int n, const std::string& origin) {
    return store_spot_picture(n, origin, fetch_spot_picture(n, origin));
}

void set_picture_folders(const std::string& web_dir, const std::string& data_dir) {
    std::string chosen;
    if (!web_dir.empty() && writable_folder(web_dir + "/spots"))
        chosen = web_dir + "/spots";
    else if (!data_dir.empty())
        chosen = data_dir + "/spots";
    PictureState& s = picture_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.folder = chosen;
}

std::string spots_folder() {
    PictureState& s = picture_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.folder;
}

void set_picture_store_hook(std::function<void()> hook) {
    PictureState& s = picture_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.store_hook = std::move(hook);
}

PictureState& picture_state() {
    static PictureState state;
    return state;
}

void reset_pictures_for_tests() {
    PictureState& s = picture_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.folder.clear();
    s.store_hook = nullptr;
}

}  // namespace bridge
