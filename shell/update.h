#pragma once
// The update check: the program's own page on the maker's site is fetched once per run
// and searched for a version number; a newer one is announced with one question. The
// HTTP GET is passed in, so this file needs no HTTP client and tests need no network.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace shell {

// Versions are integers in thousandths: 0.001 is 1.
inline constexpr int OWN_VERSION = 1;
inline constexpr const char* USER_AGENT = "Quenvale/0.001";
inline constexpr const char* UPDATE_PATH = "/quenvale/";
// Only this much of the page is read.
inline constexpr std::size_t UPDATE_BODY_LIMIT = 200000;
// A digit further than this after "Version" or "Current build" is not its number.
inline constexpr std::size_t VERSION_DIGIT_REACH = 24;

// The last version the text names after "Version" or "Current build" (case-sensitive):
// major x 1000 + up to three fraction digits in thousandths (0.002 → 2, 1.2 → 1200,
// 0.0009 → 0); -1 when none. A number too large for an int counts as none.
int page_version(std::string_view text);

// The page address for the configured update site ("host" or "host:port"): https, or
// plain http for a loopback host (the devnet); "" when the site is not a host name.
std::string update_page_url(const std::string& site);

struct HttpReply {
    int status = 0;  // 0 when the request failed
    std::string body;
};
// GETs url with the user agent, reading at most max_body bytes of the body (more may be
// returned; the check cuts it).
using HttpGet = std::function<HttpReply(const std::string& url, const std::string& user_agent, std::size_t max_body)>;

struct UpdateCheck {
    bool newer = false;
    int version = -1;       // what the page names
    std::string page_url;   // to open when the user says yes
    std::string question;   // "A newer Quenvale is on <site>.\n\nOpen the page?"
};
inline constexpr const char* UPDATE_TITLE = "Quenvale";

// One check: anything but status 200 with a version above OWN_VERSION in the first
// UPDATE_BODY_LIMIT bytes is "no update". Never throws.
UpdateCheck check_for_update(const std::string& site, const HttpGet& get);

}  // namespace shell
