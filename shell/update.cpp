#include "shell/update.h"

#include <algorithm>
#include <exception>

namespace shell {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_host_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '.' || c == '-';
}

// Majors past this would overflow the thousandths.
constexpr int MAX_MAJOR = 2'000'000;
constexpr std::size_t MAX_HOST_LENGTH = 253;

}  // namespace

int page_version(std::string_view text) {
    constexpr std::string_view WORDS[] = {"Version", "Current build"};
    int value = -1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t p = std::string_view::npos;
        for (std::string_view word : WORDS) p = std::min(p, text.find(word, pos));
        if (p == std::string_view::npos) break;
        // Only the reach is searched, so a page full of the words without digits stays linear.
        std::size_t d = p;
        const std::size_t last = std::min(text.size(), p + VERSION_DIGIT_REACH + 1);
        while (d < last && !is_digit(text[d])) ++d;
        if (d >= last) {
            pos = p + 1;
            continue;
        }
        std::size_t i = d;
        int major = 0;
        bool too_large = false;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            if (major > MAX_MAJOR / 10)
                too_large = true;
            else
                major = major * 10 + (text[i] - '0');
        }
        int thousandths = 0;
        if (i + 1 < text.size() && text[i] == '.' && is_digit(text[i + 1])) {
            ++i;
            int scale = 100;
            for (int n = 0; n < 3 && i < text.size() && is_digit(text[i]); ++n, ++i, scale /= 10)
                thousandths += (text[i] - '0') * scale;
        }
        if (!too_large) value = major * 1000 + thousandths;
        pos = i;
    }
    return value;
}

std::string update_page_url(const std::string& site) {
    const std::size_t colon = site.find(':');
    const std::string host = site.substr(0, colon);
    if (host.empty() || host.size() > MAX_HOST_LENGTH || host.front() == '-' || host.front() == '.') return "";
    for (char c : host)
        if (!is_host_char(c)) return "";
    if (colon != std::string::npos) {
        const std::string port = site.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.front() == '0') return "";
        for (char c : port)
            if (!is_digit(c)) return "";
        if (std::stoi(port) > 65535) return "";
    }
    const bool loopback = host == "127.0.0.1" || host == "localhost";
    return std::string(loopback ? "http://" : "https://") + site + UPDATE_PATH;
}

UpdateCheck check_for_update(const std::string& site, const HttpGet& get) {
    UpdateCheck out;
    out.page_url = update_page_url(site);
    if (out.page_url.empty() || !get) return out;
    HttpReply reply;
    try {
        reply = get(out.page_url, USER_AGENT, UPDATE_BODY_LIMIT);
    } catch (const std::exception&) {
        return out;  // no network is the same as no update
    }
    if (reply.status != 200) return out;
    if (reply.body.size() > UPDATE_BODY_LIMIT) reply.body.resize(UPDATE_BODY_LIMIT);
    out.version = page_version(reply.body);
    out.newer = out.version > OWN_VERSION;
    if (out.newer) {
        const std::size_t colon = site.find(':');
        out.question = "A newer Quenvale is on " + site.substr(0, colon) + ".\n\nOpen the page?";
    }
    return out;
}

}  // namespace shell
