#pragma once
// Requests kept within each service's published rate. Requests are counted per service
// root of the profile (services may share a host), else per host. A service with a rate
// lets at most that many requests start in any one second (a sliding window, as services
// count them); a caller over it waits through the clock seam. A 429's Retry-After holds
// every caller of that service back until it has passed. Others pass at once.
#include <cstdint>
#include <string>
#include <string_view>

namespace chain {

// The longest Retry-After honoured: a larger one reads as this.
inline constexpr std::int64_t MAX_RETRY_AFTER_MS = 60'000;

// "scheme://host[:port]" of url, lower case; "" when url has no scheme.
std::string host_key(std::string_view url);

// Blocks until a request to url may start, and counts it.
void take_request_turn(const std::string& url);
// A 429 from url's host asked to wait retry_after_ms: nobody asks it again before.
void hold_host(const std::string& url, std::int64_t retry_after_ms);

// Tests: forget every count and hold (the rates follow the profile in force).
void reset_rate_limits();

}  // namespace chain
