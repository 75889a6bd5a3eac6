#pragma once
// Which file a page address of the room names, and the MIME type it is served with. The
// Linux web view asks for every file of the page through a custom scheme, so the address
// is outside text: it is percent-decoded, every segment checked, and the file's real
// path must stay inside the folder it is served from (a symbolic link out is refused).
// "" means refused or not found; callers answer 404.
#include <string>
#include <string_view>

namespace shell {

// The page's address in the web view: scheme, host and the versioned page.
inline constexpr const char* WEB_SCHEME = "quenvale";
inline constexpr const char* WEB_HOST = "room";
inline constexpr const char* WEB_START_URL = "quenvale://room/index.html?v=40";

// Percent-decodes text; false for a broken escape or one that gives a NUL byte.
bool percent_decode(std::string_view text, std::string& out);

// The real path of the file that url_path (the path part of the address, "/" first,
// query and fragment already cut) names: "spots/..." from spots_root (the picture store,
// wherever it lives), everything else from web_root. "" for an empty path, an empty,
// "." or ".." segment, a backslash, a broken escape, a path leaving its root or no such
// regular file.
std::string resolve_web_resource(const std::string& web_root, const std::string& spots_root,
                                 std::string_view url_path);

// The Content-Type for a file by its extension (any letter case); octet-stream when
// unknown.
std::string web_mime_type(std::string_view path);

}  // namespace shell
