#pragma once
// The chain HTTP client: every call to WhatsOnChain, the ordinals indexer, ARC and the
// platform service goes through one of the blocking operations below. They differ in
// user agent, time limits, redirect policy, how a reply is judged and how a failure is
// worded. All of them block for the whole exchange, so call them from worker threads
// only. None throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <curl/curl.h>

#include "core/json.h"

namespace chain {

struct HttpResult {
    bool ok = false;
    long status = 0;    // HTTP status of the last exchange; 0 when no reply arrived
    std::string body;   // the whole reply body, whatever the status
    std::string error;  // empty when ok
};

// Reply bodies are collected in memory up to a cap. Reading stops there: the transfer
// is aborted (a reply that announces a larger length is refused before its body) and
// the call fails with REPLY_TOO_LARGE and an empty body. Every request kind reads JSON
// or a short text and is held to JSON_REPLY_CAP; a wallet_get caller that reads
// something else (inscription content, raw transactions) passes its own cap.
inline constexpr std::size_t JSON_REPLY_CAP = 8u * 1024u * 1024u;
inline constexpr const char* REPLY_TOO_LARGE = "reply too large";
inline constexpr const char* CURL_INIT_FAILED = "curl init failed";

// Retries, for every request kind but the submit, the update page and identity_get_json:
// a 429 is asked again while attempts remain, a passing 5xx (500, 502, 503, 504) at most
// twice; each retry waits for the reply's Retry-After when it gave one (the rate limiter
// holds the host for every caller, chain/rate_limit), else 400 * 2^k ms after attempt k.
// Every request keeps to its host's rate.

// GET, "Orvane-Wendrel/0.1", transfer limit max(2, timeout_s), connect 8 s, follows at
// most 5 redirects, pinned service host, four attempts. Success: 2xx, or 404 when
// accept_404 is set. The body is capped at body_cap bytes.
HttpResult wallet_get(const std::string& url, long timeout_s, bool accept_404 = false,
                      std::size_t body_cap = JSON_REPLY_CAP);

// POST of a JSON body, "Orvane-Wendrel/0.1", transfer limit timeout_s, connect 8 s, no
// redirects, pinned service host, `attempts` attempts. Success: 2xx. The reply is capped
// at body_cap bytes.
HttpResult wallet_post_json(const std::string& url, const std::string& body, long timeout_s,
                            int attempts, std::size_t body_cap = JSON_REPLY_CAP);

// ARC's requests: a JSON POST as wallet_post_json without host pinning (ARC is not the
// platform's host), and a GET of three attempts; both carry "Authorization: Bearer " +
// the key in QUENVALE_ARC_KEY when that is set. Requests to WhatsOnChain (the profile's
// woc_api) carry "woc-api-key: " + QUENVALE_WOC_KEY when that is set, and then follow no
// redirect. Keys are never logged or stored.
HttpResult arc_post_json(const std::string& url, const std::string& body, long timeout_s, int attempts);
HttpResult arc_get(const std::string& url, long timeout_s);

// POST of a JSON body over one process-wide kept-alive handle (2 s limits, TCP
// keep-alive, pinned once per handle). The call takes the submit mutex itself for the
// whole exchange, so one submit runs at a time; callers must not hold it. The handle
// survives a time-out and is discarded after any other transport failure. No retry.
HttpResult submit_post_json(const std::string& url, const std::string& body);

// GETs of three attempts that only report whether a 2xx reply parsed as JSON; out is
// null on failure. No resolve pinning: service URLs resolve normally.
bool gallery_get_json(const std::string& url, long timeout_s, core::Json& out);  // "Orvane-Gallery/1"
bool art_get_json(const std::string& url, long timeout_s, core::Json& out);      // "Orvane-Art/1"

// GET without a user agent, 15 s, follows redirects, only the bare service host pinned
// (no "www." entry, no IPv4-only switch). Success: exactly 200, a non-empty body that
// parses as JSON.
bool identity_get_json(const std::string& url, core::Json& out);

// GET without a user agent, 12 s, follows redirects, pinned service host, three
// attempts. TLS checks are off only for "https://127.0.0.1..." and "https://localhost..."
// URLs. A refused status gives "HTTP " + status as the error, never the body.
HttpResult service_get_text(const std::string& url);

// GET of a web page that is read only in part (the update check): the given user agent,
// 15 s, follows at most 5 redirects, no pinning. Reading stops with the first piece that
// takes the body past keep_bytes; that is not a failure: ok when the status is 2xx, with
// the status and what was read (keep_bytes plus at most one piece).
HttpResult page_get(const std::string& url, const std::string& user_agent, std::size_t keep_bytes);

// The wording of a finished exchange whose status was refused: the rate-limit sentence
// for 429; "HTTP <status>" for an empty or HTML body; else "HTTP <status> – <body>"
// with the body's trailing LF, CR and spaces removed and cut to 120 bytes.
std::string http_failure_text(long status, std::string_view body);

// Which names a request pins. host_and_www: the service host and "www." + host, IPv4
// only; bare_host: the service host alone, any address family.
enum class PinScope { host_and_www, bare_host };

// The CURLOPT_RESOLVE entries ("name:443:ip") for url: empty unless the profile has a
// pin address and the URL's host is the service host or its "www." name. Host names
// are compared without port and case.
std::vector<std::string> pin_entries(std::string_view url, PinScope scope = PinScope::host_and_www);

// Applies pin_entries to handle. The list is appended to resolve, which the caller
// frees with curl_slist_free_all after the transfer. False when nothing was pinned.
bool pin_service_host(CURL* handle, const std::string& url, curl_slist*& resolve,
                      PinScope scope = PinScope::host_and_www);

// Sleeps n ms through the clock seam: a deadline on core::monotonic_ms, then steps of
// the remaining time (at most a day each) until it has passed.
void wait_ms(std::int64_t n);

// --- tests -------------------------------------------------------------------------
// Identity of the kept-alive submit handle: 0 while none is held, otherwise a number
// that changes every time a new handle is made.
std::uint64_t submit_handle_serial();
// Discards the kept-alive handle and forgets the per-host request counts.
void reset_http_state();

}  // namespace chain
