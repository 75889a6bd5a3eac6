#include "tests/support/devnet.h"

#include <csignal>
#include <curl/curl.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "chain/http.h"
#include "core/base64.h"
#include "core/files.h"
#include "core/profile.h"
#include "tests/support/temp_platform.h"

namespace testing_support {

Devnet& Devnet::shared() {
    static Devnet d;
    return d;
}

Devnet::Devnet() {
    char tmpl[] = "/tmp/quenvale-devnet-XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (!made) return;
    dir_ = made;
    profile_path_ = dir_ + "/profile.json";
    std::string log = dir_ + "/devnet.log";
    std::string server = source_path("tools/devnet/server.mjs");
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(log.c_str(), "w", stdout);
        std::freopen(log.c_str(), "a", stderr);
        ::execlp("node", "node", server.c_str(), "--port", "0", "--profile-out", profile_path_.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    // Wait (up to 60 s: a loaded machine starts node slowly) for the line that names the port.
    for (int i = 0; i < 600 && root_.empty(); ++i) {
        ::usleep(100 * 1000);
        std::string text;
        if (!core::read_file(log, text)) continue;
        auto at = text.find("devnet listening on ");
        if (at == std::string::npos) continue;
        auto end = text.find('\n', at);
        if (end == std::string::npos) continue;
        root_ = text.substr(at + 20, end - at - 20);
    }
    std::string text;
    std::string error;
    core::Profile p;
    if (root_.empty() || !core::read_file(profile_path_, text) || !core::parse_profile(text, p, error) ||
        !core::parse_json(text, profile_)) {
        std::fprintf(stderr, "devnet did not start (see %s): %s\n", log.c_str(), error.c_str());
        root_.clear();
        return;
    }
    core::set_profile(p);
    ::setenv("QUENVALE_PROFILE", profile_path_.c_str(), 1);
}

Devnet::~Devnet() {
    if (pid_ > 0) {
        ::kill(static_cast<pid_t>(pid_), SIGTERM);
        int status = 0;
        ::waitpid(static_cast<pid_t>(pid_), &status, 0);
    }
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

core::Json Devnet::post(const std::string& path, const core::Json& body) {
    chain::HttpResult r = chain::wallet_post_json(root_ + path, core::dump_compact(body), 30, 1);
    core::Json j;
    if (!r.ok || !core::parse_json(r.body, j)) return core::Json();
    return j;
}

core::Json Devnet::get(const std::string& path) {
    chain::HttpResult r = chain::wallet_get(root_ + path, 30, false);
    core::Json j;
    if (!r.ok || !core::parse_json(r.body, j)) return core::Json();
    return j;
}

std::string Devnet::fund(const std::string& address, std::int64_t sats, bool confirmed) {
    return core::json_string(post("/devnet/fund", {{"address", address}, {"sats", sats}, {"confirmed", confirmed}}),
                             "txid");
}

void Devnet::mine(int blocks) { post("/devnet/mine", {{"blocks", blocks}}); }

std::string Devnet::inscribe(const std::string& address, const std::string& type, const std::string& bytes,
                             std::int64_t sats) {
    core::Json r = post("/devnet/inscribe", {{"address", address},
                                             {"contentType", type},
                                             {"contentBase64", core::base64_encode(bytes)},
                                             {"satoshis", sats}});
    return core::json_string(r, "origin");
}

void Devnet::fault(const core::Json& rule) { post("/devnet/faults", rule); }

void Devnet::clear_faults() {
    CURL* h = curl_easy_init();
    if (!h) return;
    std::string url = root_ + "/devnet/faults";
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "DELETE");
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t n, void*) { return size * n; });
    curl_easy_perform(h);
    curl_easy_cleanup(h);
}

void Devnet::reset() {
    post("/devnet/reset", core::Json::object());
    // A new chain: what this process learnt of the services (a service found down, rate
    // turns, prefetched histories) belongs to the old one.
    chain::reset_http_state();
}

}  // namespace testing_support
