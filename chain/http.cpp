#include "chain/http.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "chain/rate_limit.h"
#include "chain/woc.h"
#include "core/clock.h"
#include "core/crypto.h"
#include "core/profile.h"
#include "core/text.h"

namespace chain {

namespace {

const char* const WALLET_AGENT = "Orvane-Wendrel/0.1";
const char* const GALLERY_AGENT = "Orvane-Gallery/1";
const char* const ART_AGENT = "Orvane-Art/1";
const char* const JSON_CONTENT_TYPE = "Content-Type: application/json";
const char* const EN_DASH = "\xE2\x80\x93";  // U+2013 in UTF-8
const char* const RATE_LIMIT_TEXT =
    "HTTP 429 \xE2\x80\x93 WhatsOnChain is rate-limiting. Wait a few seconds and try again.";
const char* const OUT_OF_MEMORY = "out of memory";

constexpr std::size_t FAILURE_BODY_MAX = 120;
constexpr int WALLET_GET_ATTEMPTS = 4;
constexpr int SERVICE_GET_ATTEMPTS = 3;
constexpr std::int64_t DAY_MS = 24LL * 60 * 60 * 1000;

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

// "host", "host:port", "[v6]:port" -> the name without port.
std::string_view strip_port(std::string_view hostport) {
    if (!hostport.empty() && hostport.front() == '[') {
        const auto close = hostport.find(']');
        return close == std::string_view::npos ? hostport : hostport.substr(0, close + 1);
    }
    return hostport.substr(0, hostport.find(':'));
}

// The host name of an absolute URL, lowercased, without user info and port.
std::string url_host(std::string_view url) {
    const auto scheme_end = url.find("://");
    if (scheme_end == std::string_view::npos) return "";
    std::string_view authority = url.substr(scheme_end + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
    return lower(strip_port(authority));
}

// Loopback test servers use self-signed certificates. The host must be exactly
// loopback: a prefix test would also match "https://localhost.example.net".
bool is_loopback_https(const std::string& url) {
    if (!core::starts_with(url, "https://127.0.0.1") && !core::starts_with(url, "https://localhost")) return false;
    const std::string host = url_host(url);
    return host == "127.0.0.1" || host == "localhost";
}

// Process-wide client state. The submit mutex guards the kept-alive handle, its
// resolve list and its serial.
struct HttpState {
    std::mutex submit_mutex;
    CURL* submit_handle = nullptr;
    curl_slist* submit_resolve = nullptr;
    std::uint64_t submit_serial = 0;  // 0 while no handle is held
    std::uint64_t last_serial = 0;
};

HttpState& http_state() {
    static HttpState state;
    return state;
}

// Call with the submit mutex held.
void discard_submit_handle(HttpState& s) {
    if (s.submit_handle) curl_easy_cleanup(s.submit_handle);
    curl_slist_free_all(s.submit_resolve);
    s.submit_handle = nullptr;
    s.submit_resolve = nullptr;
    s.submit_serial = 0;
}

// curl_easy_init would initialise the library lazily, but not thread-safely.
CURL* new_handle() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return curl_easy_init();
}

struct Sink {
    std::string* body = nullptr;
    std::size_t cap = JSON_REPLY_CAP;
    bool too_large = false;
    bool out_of_memory = false;
    // Keep the head of a long body: past the cap the transfer stops without failing.
    bool keep_head = false;
    bool cut = false;
};

// Returning less than offered makes libcurl stop the transfer with a write error.
std::size_t write_body(char* data, std::size_t size, std::size_t nmemb, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (!sink || !sink->body) return 0;
    const std::size_t n = size * nmemb;
    if (!sink->keep_head && n > sink->cap - std::min(sink->cap, sink->body->size())) {
        sink->too_large = true;
        return 0;
    }
    try {
        sink->body->append(data, n);
    } catch (...) {  // nothing may unwind through libcurl
        sink->out_of_memory = true;
        return 0;
    }
    // The piece that took the body past the cap is kept; the transfer ends here.
    if (sink->keep_head && sink->body->size() > sink->cap) {
        sink->cut = true;
        return 0;
    }
    return n;
}

// Options every request shares, the kept-alive one included.
void set_common(CURL* h, Sink& sink, char* errbuf) {
    errbuf[0] = '\0';
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, write_body);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
    // Worker threads: libcurl must not use signals for its time-outs.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Refuse early when the reply announces a length beyond the cap.
    if (!sink.keep_head) curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.cap));
    // Only web URLs, also after a redirect.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

// The handle may outlive the stack objects it was pointed at.
void clear_call_pointers(CURL* h) {
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
}

void set_json_post(CURL* h, const std::string& body, curl_slist* headers) {
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
}

// One finished (or failed) exchange, before any operation judges it.
struct Exchange {
    bool transport_ok = false;
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::string error;  // transport failures only
    std::int64_t retry_after_ms = 0;  // a 429's or 503's Retry-After, when it gave one
};

void finish_exchange(Exchange& ex, CURL* h, CURLcode code, const char* errbuf, const Sink& sink) {
    ex.code = code;
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.cut)) {
        ex.transport_ok = true;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &ex.status);
        curl_off_t after = -1;
        if ((ex.status == 429 || ex.status == 503) && curl_easy_getinfo(h, CURLINFO_RETRY_AFTER, &after) == CURLE_OK &&
            after > 0)
            ex.retry_after_ms = std::min<std::int64_t>(after, MAX_RETRY_AFTER_MS / 1000) * 1000;
        return;
    }
    ex.status = 0;
    ex.body.clear();  // a partial body is no reply
    if (sink.too_large || code == CURLE_FILESIZE_EXCEEDED)
        ex.error = REPLY_TOO_LARGE;
    else if (sink.out_of_memory)
        ex.error = OUT_OF_MEMORY;
    else if (errbuf[0] != '\0')
        ex.error = errbuf;
    else
        ex.error = curl_easy_strerror(code);
}

struct CallOptions {
    const char* agent = nullptr;  // nullptr: no User-Agent header
    long timeout_s = 0;
    long connect_s = 0;  // 0: libcurl's default
    bool follow = false;
    long max_redirs = -1;  // -1: libcurl's default
    bool pin = false;
    PinScope scope = PinScope::host_and_www;
    bool loopback_tls_off = false;
    const std::string* json_body = nullptr;  // POST when set
    std::size_t body_cap = JSON_REPLY_CAP;
    bool keep_head = false;
    bool arc_key = false;  // "Authorization: Bearer" + QUENVALE_ARC_KEY, when set
};

// Service keys come from the environment: credentials of the person running the
// program, so they are never written into a profile or a file, and never logged.
// Only a key that cannot split the header line is sent.
bool add_key_header(curl_slist*& headers, const char* variable, const char* prefix) {
    const char* k = std::getenv(variable);
    if (!k || !*k) return false;
    std::string line = std::string(prefix) + k;
    bool added = false;
    if (line.find_first_of("\r\n") == std::string::npos) {
        if (curl_slist* more = curl_slist_append(headers, line.c_str())) {
            headers = more;
            added = true;
        }
    }
    core::cleanse(line);
    return added;
}

// WhatsOnChain's own routes, by the profile's root; another host never sees its key.
bool is_woc_url(const std::string& url) {
    const std::string& root = core::profile().woc_api;
    return !root.empty() && url.size() > root.size() && url.compare(0, root.size(), root) == 0 &&
           url[root.size()] == '/';
}

Exchange perform(const std::string& url, const CallOptions& o) {
    Exchange ex;
    CURL* h = new_handle();
    if (!h) {
        ex.error = CURL_INIT_FAILED;
        return ex;
    }
    curl_slist* headers = nullptr;
    if (o.json_body) {
        headers = curl_slist_append(nullptr, JSON_CONTENT_TYPE);
        if (!headers) {
            curl_easy_cleanup(h);
            ex.error = CURL_INIT_FAILED;
            return ex;
        }
    }
    if (o.arc_key) add_key_header(headers, "QUENVALE_ARC_KEY", "Authorization: Bearer ");
    // libcurl sends a header of ours to wherever a redirect points: a keyed request
    // follows none, so the key reaches WhatsOnChain only.
    const bool keyed = is_woc_url(url) && add_key_header(headers, "QUENVALE_WOC_KEY", "woc-api-key: ");
    char errbuf[CURL_ERROR_SIZE];
    Sink sink;
    sink.body = &ex.body;
    sink.cap = o.body_cap;
    sink.keep_head = o.keep_head;
    set_common(h, sink, errbuf);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    if (o.agent) curl_easy_setopt(h, CURLOPT_USERAGENT, o.agent);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, o.timeout_s);
    if (o.connect_s > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, o.connect_s);
    if (o.follow && !keyed) {
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        if (o.max_redirs >= 0) curl_easy_setopt(h, CURLOPT_MAXREDIRS, o.max_redirs);
    }
    curl_slist* resolve = nullptr;
    if (o.pin) pin_service_host(h, url, resolve, o.scope);
    if (o.loopback_tls_off && is_loopback_https(url)) {
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (o.json_body)
        set_json_post(h, *o.json_body, headers);
    else if (headers)
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);

    take_request_turn(url);
    const CURLcode code = curl_easy_perform(h);
    finish_exchange(ex, h, code, errbuf, sink);
    if (ex.retry_after_ms > 0) hold_host(url, ex.retry_after_ms);
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);
    curl_slist_free_all(resolve);
    return ex;
}

bool is_2xx(long status) { return status >= 200 && status <= 299; }

// The judgement of the wallet clients: 2xx (and 404 when asked) succeed, any other
// status is worded by http_failure_text.
HttpResult judge_wallet(Exchange&& ex, bool accept_404) {
    HttpResult r;
    r.status = ex.status;
    r.body = std::move(ex.body);
    if (!ex.transport_ok) {
        r.error = std::move(ex.error);
        return r;
    }
    if (is_2xx(r.status) || (accept_404 && r.status == 404)) {
        r.ok = true;
        return r;
    }
    r.error = http_failure_text(r.status, r.body);
    return r;
}

// Zero would mean "no limit" to libcurl.
long at_least_one(long seconds) { return std::max(1L, seconds); }

std::int64_t backoff_ms(int k) { return 400LL << std::min(k, 20); }

// A service briefly unable to answer says so with these; any other status is its answer.
bool is_passing_failure(long status) { return status == 500 || status == 502 || status == 503 || status == 504; }
constexpr int MAX_PASSING_FAILURE_RETRIES = 2;

// Up to `attempts` exchanges: a 429 is asked again while attempts remain, a passing 5xx
// at most twice; each retry waits for Retry-After when the service gave one (the rate
// limiter holds the host for it), else 400 * 2^k ms.
Exchange perform_retrying(const std::string& url, const CallOptions& o, int attempts) {
    const int total = std::max(1, attempts);
    Exchange ex;
    for (int k = 0;; ++k) {
        ex = perform(url, o);
        if (!ex.transport_ok || k + 1 >= total) break;
        const bool again = ex.status == 429 || (is_passing_failure(ex.status) && k < MAX_PASSING_FAILURE_RETRIES);
        if (!again) break;
        if (ex.retry_after_ms == 0) wait_ms(backoff_ms(k));
    }
    return ex;
}

bool get_json(const std::string& url, const char* agent, long timeout_s, core::Json& out) {
    out = nullptr;
    CallOptions o;
    o.agent = agent;
    o.timeout_s = at_least_one(timeout_s);
    o.follow = true;
    Exchange ex = perform_retrying(url, o, SERVICE_GET_ATTEMPTS);
    if (!ex.transport_ok || !is_2xx(ex.status)) return false;
    core::Json parsed;
    if (!core::parse_json(ex.body, parsed)) return false;
    out = std::move(parsed);
    return true;
}

}  // namespace

std::string http_failure_text(long status, std::string_view body) {
    if (status == 429) return RATE_LIMIT_TEXT;
    std::string head = "HTTP " + std::to_string(status);
    const bool html = body.find("<html") != std::string_view::npos ||
                      body.find("<HTML") != std::string_view::npos ||
                      body.find("<!DOCTYPE") != std::string_view::npos;
    const std::string trimmed = core::trim_right(body, "\n\r ");
    // A body of nothing but line breaks says no more than an empty one.
    if (html || trimmed.empty()) return head;
    return head + " " + EN_DASH + " " + core::cut_utf8(trimmed, FAILURE_BODY_MAX);
}

std::vector<std::string> pin_entries(std::string_view url, PinScope scope) {
    const core::Profile& p = core::profile();
    if (p.service_pin_ip.empty()) return {};
    const std::string service = lower(strip_port(p.service_host));
    if (service.empty()) return {};
    const std::string host = url_host(url);
    const std::string www = "www." + service;
    if (host != service && host != www) return {};
    std::vector<std::string> out;
    out.push_back(service + ":443:" + p.service_pin_ip);
    if (scope == PinScope::host_and_www) out.push_back(www + ":443:" + p.service_pin_ip);
    return out;
}

bool pin_service_host(CURL* handle, const std::string& url, curl_slist*& resolve, PinScope scope) {
    const std::vector<std::string> entries = pin_entries(url, scope);
    if (entries.empty() || !handle) return false;
    for (const std::string& e : entries) {
        curl_slist* grown = curl_slist_append(resolve, e.c_str());
        if (!grown) break;
        resolve = grown;
    }
    if (!resolve) return false;
    curl_easy_setopt(handle, CURLOPT_RESOLVE, resolve);
    if (scope == PinScope::host_and_www) curl_easy_setopt(handle, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    return true;
}

void wait_ms(std::int64_t n) {
    if (n <= 0) return;
    const std::int64_t start = core::monotonic_ms();
    const std::int64_t deadline =
        n > std::numeric_limits<std::int64_t>::max() - start ? std::numeric_limits<std::int64_t>::max() : start + n;
    for (;;) {
        const std::int64_t now = core::monotonic_ms();
        if (now >= deadline) return;
        core::sleep_ms(std::min(deadline - now, DAY_MS));
    }
}

HttpResult wallet_get(const std::string& url, long timeout_s, bool accept_404, std::size_t body_cap) {
    CallOptions o;
    o.body_cap = body_cap;
    o.agent = WALLET_AGENT;
    o.timeout_s = std::max(2L, timeout_s);
    o.connect_s = 8;
    o.follow = true;
    o.max_redirs = 5;
    o.pin = true;
    Exchange ex = perform_retrying(url, o, WALLET_GET_ATTEMPTS);
    return judge_wallet(std::move(ex), accept_404);
}

// A JSON POST, retried as perform_retrying says.
HttpResult post_json(const std::string& url, const std::string& body, long timeout_s, int attempts, bool pin,
                     bool arc_key, std::size_t body_cap = JSON_REPLY_CAP) {
    CallOptions o;
    o.body_cap = body_cap;
    o.agent = WALLET_AGENT;
    o.timeout_s = at_least_one(timeout_s);
    o.connect_s = 8;
    o.pin = pin;
    o.json_body = &body;
    o.arc_key = arc_key;
    Exchange ex = perform_retrying(url, o, attempts);
    return judge_wallet(std::move(ex), false);
}

HttpResult arc_post_json(const std::string& url, const std::string& body, long timeout_s, int attempts) {
    return post_json(url, body, timeout_s, attempts, false, true);
}

HttpResult arc_get(const std::string& url, long timeout_s) {
    CallOptions o;
    o.agent = WALLET_AGENT;
    o.timeout_s = std::max(2L, timeout_s);
    o.connect_s = 8;
    o.arc_key = true;
    return judge_wallet(perform_retrying(url, o, SERVICE_GET_ATTEMPTS), false);
}

HttpResult wallet_post_json(const std::string& url, const std::string& body, long timeout_s, int attempts,
                            std::size_t body_cap) {
    return post_json(url, body, timeout_s, attempts, true, false, body_cap);
}

HttpResult submit_post_json(const std::string& url, const std::string& body) {
    HttpState& s = http_state();
    std::lock_guard<std::mutex> lock(s.submit_mutex);
    HttpResult r;
    if (!s.submit_handle) {
        s.submit_handle = new_handle();
        if (!s.submit_handle) {
            r.error = CURL_INIT_FAILED;
            return r;
        }
        s.submit_serial = ++s.last_serial;
    }
    curl_slist* headers = curl_slist_append(nullptr, JSON_CONTENT_TYPE);
    if (!headers) {
        r.error = CURL_INIT_FAILED;
        return r;
    }
    CURL* h = s.submit_handle;
    char errbuf[CURL_ERROR_SIZE];
    Sink sink;
    sink.body = &r.body;
    sink.cap = JSON_REPLY_CAP;
    set_common(h, sink, errbuf);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    set_json_post(h, body, headers);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 2L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 2L);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, WALLET_AGENT);
    // Pinned once for the life of the handle; the list lives as long as the handle.
    if (!s.submit_resolve) pin_service_host(h, url, s.submit_resolve);

    Exchange ex;
    const CURLcode code = curl_easy_perform(h);
    finish_exchange(ex, h, code, errbuf, sink);
    clear_call_pointers(h);
    curl_slist_free_all(headers);

    r.status = ex.status;
    if (!ex.transport_ok) {
        r.body.clear();
        r.error = std::move(ex.error);
        // A time-out leaves the connection worth keeping; anything else may not.
        if (code != CURLE_OPERATION_TIMEDOUT) discard_submit_handle(s);
        return r;
    }
    if (is_2xx(r.status))
        r.ok = true;
    else
        r.error = http_failure_text(r.status, r.body);
    return r;
}

bool gallery_get_json(const std::string& url, long timeout_s, core::Json& out) {
    return get_json(url, GALLERY_AGENT, timeout_s, out);
}

bool art_get_json(const std::string& url, long timeout_s, core::Json& out) {
    return get_json(url, ART_AGENT, timeout_s, out);
}

bool identity_get_json(const std::string& url, core::Json& out) {
    out = nullptr;
    CallOptions o;
    o.timeout_s = 15;
    o.follow = true;
    o.pin = true;
    o.scope = PinScope::bare_host;
    Exchange ex = perform(url, o);
    if (!ex.transport_ok || ex.status != 200 || ex.body.empty()) return false;
    core::Json parsed;
    if (!core::parse_json(ex.body, parsed)) return false;
    out = std::move(parsed);
    return true;
}

HttpResult service_get_text(const std::string& url) {
    CallOptions o;
    o.timeout_s = 12;
    o.follow = true;
    o.pin = true;
    o.loopback_tls_off = true;
    Exchange ex = perform_retrying(url, o, SERVICE_GET_ATTEMPTS);
    HttpResult r;
    r.status = ex.status;
    r.body = std::move(ex.body);
    if (!ex.transport_ok)
        r.error = std::move(ex.error);
    else if (is_2xx(r.status))
        r.ok = true;
    else
        r.error = "HTTP " + std::to_string(r.status);
    return r;
}

HttpResult page_get(const std::string& url, const std::string& user_agent, std::size_t keep_bytes) {
    CallOptions o;
    o.agent = user_agent.c_str();
    o.timeout_s = 15;
    o.follow = true;
    o.max_redirs = 5;
    o.body_cap = keep_bytes;
    o.keep_head = true;
    Exchange ex = perform(url, o);
    HttpResult r;
    r.status = ex.status;
    r.body = std::move(ex.body);
    if (!ex.transport_ok)
        r.error = std::move(ex.error);
    else if (is_2xx(r.status))
        r.ok = true;
    else
        r.error = "HTTP " + std::to_string(r.status);
    return r;
}

std::uint64_t submit_handle_serial() {
    HttpState& s = http_state();
    std::lock_guard<std::mutex> lock(s.submit_mutex);
    return s.submit_serial;
}

void reset_http_state() {
    HttpState& s = http_state();
    std::lock_guard<std::mutex> lock(s.submit_mutex);
    discard_submit_handle(s);
    reset_rate_limits();
    reset_woc_state();
}

}  // namespace chain
