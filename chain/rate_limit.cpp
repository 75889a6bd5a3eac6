#include "chain/rate_limit.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "core/clock.h"
#include "core/hex.h"
#include "core/profile.h"

namespace chain {

namespace {

// Starts are spread this much wider than the service's second: the service counts
// arrivals, and a reply's way back varies.
constexpr std::int64_t WINDOW_MS = 1050;
// Waits are taken in steps, so a hold set meanwhile is seen.
constexpr std::int64_t STEP_MS = 250;

struct HostState {
    std::deque<std::int64_t> starts;  // monotonic ms of the last `rate` starts
    std::int64_t held_until = 0;
};

struct Limits {
    std::mutex mutex;
    std::map<std::string, HostState> hosts;
};

Limits& limits() {
    static Limits l;
    return l;
}

bool under(std::string_view url, const std::string& root) {
    return !root.empty() && url.substr(0, root.size()) == root &&
           (url.size() == root.size() || url[root.size()] == '/' || url[root.size()] == '?');
}

// What url's requests are counted under: the service whose root it is under (services
// may share a host, as on the devnet), else its host.
std::string count_key(std::string_view url) {
    const core::Profile& p = core::profile();
    for (const std::string* root : {&p.woc_api, &p.arc_tx, &p.ord_api, &p.ord_host, &p.service_root})
        if (under(url, *root)) return *root;
    return host_key(url);
}

// Requests a second allowed under key (the profile's, for WhatsOnChain); 0 for none.
int rate_of(const std::string& key) {
    const core::Profile& p = core::profile();
    return !key.empty() && key == p.woc_api ? p.woc_rps : 0;
}

}  // namespace

std::string host_key(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return "";
    const auto end = url.find_first_of("/?#", scheme + 3);
    return core::lower_ascii(url.substr(0, end));
}

void take_request_turn(const std::string& url) {
    const std::string key = count_key(url);
    const int rate = rate_of(key);
    Limits& l = limits();
    for (;;) {
        std::int64_t wait = 0;
        {
            std::lock_guard<std::mutex> lock(l.mutex);
            HostState& h = l.hosts[key];
            const std::int64_t now = core::monotonic_ms();
            if (h.held_until > now) {
                wait = h.held_until - now;
            } else if (rate > 0) {
                while (!h.starts.empty() && h.starts.front() <= now - WINDOW_MS) h.starts.pop_front();
                if (static_cast<int>(h.starts.size()) < rate) {
                    h.starts.push_back(now);
                    return;
                }
                wait = h.starts.front() + WINDOW_MS - now;
            } else {
                return;
            }
        }
        core::sleep_ms(std::clamp<std::int64_t>(wait, 1, STEP_MS));
    }
}

void hold_host(const std::string& url, std::int64_t retry_after_ms) {
    if (retry_after_ms <= 0) return;
    Limits& l = limits();
    std::lock_guard<std::mutex> lock(l.mutex);
    HostState& h = l.hosts[count_key(url)];
    h.held_until = std::max(h.held_until, core::monotonic_ms() + std::min(retry_after_ms, MAX_RETRY_AFTER_MS));
}

void reset_rate_limits() {
    Limits& l = limits();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.hosts.clear();
}

}  // namespace chain
