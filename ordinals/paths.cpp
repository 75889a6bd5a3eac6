#include "ordinals/paths.h"

#include "core/files.h"
#include "core/hex.h"
#include "wallet/registry.h"

namespace ordinals {

namespace {

bool is_index_text(std::string_view text) {
    if (text.empty() || text.size() > 10) return false;
    if (text.size() > 1 && text[0] == '0') return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v <= 0xffffffffULL;
}

// Folder under the platform folder, created when missing; "" when there is no
// platform folder to put it in.
std::string platform_subdir(const char* name) {
    std::string root = wallet::platform_dir();
    if (root.empty()) return "";
    std::string dir = root + "/" + name;
    core::make_dirs(dir);
    return dir;
}

std::string cache_file(std::string_view origin, const char* ext) {
    if (!is_origin_text(origin)) return "";
    std::string dir = content_cache_dir();
    if (dir.empty()) return "";
    return dir + "/" + std::string(origin) + ext;
}

}  // namespace

bool is_origin_text(std::string_view origin) {
    if (origin.size() < 64 || !core::is_hex(origin.substr(0, 64), 64)) return false;
    if (origin.size() == 64) return true;
    return origin[64] == '_' && is_index_text(origin.substr(65));
}

bool parse_origin(std::string_view origin, std::string& txid, std::uint32_t& vout) {
    txid.clear();
    vout = 0;
    if (!is_origin_text(origin)) return false;
    txid = core::lower_ascii(origin.substr(0, 64));
    vout = origin.size() == 64 ? 0 : static_cast<std::uint32_t>(std::stoul(std::string(origin.substr(65))));
    return true;
}

std::string origin_key(std::string_view origin) {
    if (!is_origin_text(origin)) return "";
    std::string key = core::lower_ascii(origin);
    if (key.size() == 64) key += "_0";
    return key;
}

std::string host_content_id(std::string_view origin) {
    if (!is_origin_text(origin)) return "";
    std::string id(origin);
    if (id.size() == 64) id += "_0";
    return id;
}

std::string content_cache_dir() { return platform_subdir("ord_cache"); }
std::string content_bin_path(std::string_view origin) { return cache_file(origin, ".bin"); }
std::string content_type_path(std::string_view origin) { return cache_file(origin, ".typ"); }
std::string name_path(std::string_view origin) { return cache_file(origin, ".nam"); }

std::string kind_cache_path() {
    std::string dir = platform_subdir("art");
    return dir.empty() ? "" : dir + "/tags.json";
}

std::string inbox_dir() { return platform_subdir("ord_inbox"); }

std::string inbox_path(std::string_view hash160_hex) {
    if (!core::is_hex(hash160_hex, 40)) return "";
    std::string dir = inbox_dir();
    return dir.empty() ? "" : dir + "/" + core::lower_ascii(hash160_hex) + ".json";
}

std::string snapshot_path(std::string_view word) {
    if (word.empty() || word.size() > 80 || word == "wallet") return "";
    for (char c : word) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return "";
    }
    std::string dir = platform_subdir("ord_snap");
    return dir.empty() ? "" : dir + "/" + std::string(word) + ".json";
}

}  // namespace ordinals
