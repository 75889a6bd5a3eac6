#include "shell/web_resource.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace shell {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// realpath, or "" when the path does not exist.
std::string real_path(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return "";
    std::string out(resolved);
    std::free(resolved);
    return out;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

bool percent_decode(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            const int hi = hex_value(text[i + 1]);
            const int lo = hex_value(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\0') return false;
        out.push_back(c);
    }
    return true;
}

std::string resolve_web_resource(const std::string& web_root, const std::string& spots_root,
                                 std::string_view url_path) {
    // The page's addresses are a few path segments; a long one is not ours.
    if (url_path.size() > 1024) return "";
    std::string decoded;
    if (!percent_decode(url_path, decoded)) return "";
    if (decoded.empty() || decoded.front() != '/') return "";
    decoded.erase(0, 1);
    if (decoded.find('\\') != std::string::npos) return "";

    std::vector<std::string> segments;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = decoded.find('/', start);
        const std::string segment = decoded.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (segment.empty() || segment == "." || segment == "..") return "";
        segments.push_back(segment);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }

    std::string root = web_root;
    std::size_t first = 0;
    if (segments.size() > 1 && segments[0] == "spots") {
        root = spots_root;
        first = 1;
    }
    if (root.empty()) return "";
    const std::string real_root = real_path(root);
    if (real_root.empty()) return "";

    std::string path = real_root;
    for (std::size_t i = first; i < segments.size(); ++i) path += "/" + segments[i];
    const std::string real = real_path(path);
    if (real.size() <= real_root.size() + 1 || real.compare(0, real_root.size(), real_root) != 0 ||
        real[real_root.size()] != '/')
        return "";
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
    return real;
}

std::string web_mime_type(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "application/octet-stream";
    const std::string ext = lower(path.substr(dot + 1));
    static const struct {
        const char* ext;
        const char* type;
    } TYPES[] = {
        {"html", "text/html; charset=utf-8"}, {"htm", "text/html; charset=utf-8"},
        {"js", "text/javascript; charset=utf-8"}, {"mjs", "text/javascript; charset=utf-8"},
        {"css", "text/css; charset=utf-8"}, {"json", "application/json"},
        {"png", "image/png"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
        {"webp", "image/webp"}, {"gif", "image/gif"}, {"svg", "image/svg+xml"},
        {"ico", "image/x-icon"}, {"glb", "model/gltf-binary"}, {"gltf", "model/gltf+json"},
        {"bin", "application/octet-stream"}, {"wasm", "application/wasm"},
        {"txt", "text/plain; charset=utf-8"}, {"woff2", "font/woff2"}, {"woff", "font/woff"},
        {"ttf", "font/ttf"}, {"ktx2", "image/ktx2"}, {"hdr", "image/vnd.radiance"},
    };
    for (const auto& t : TYPES)
        if (ext == t.ext) return t.type;
    return "application/octet-stream";
}

}  // namespace shell
