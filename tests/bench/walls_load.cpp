// Wall read figures against the devnet with 50 ms on every answer: 10 frames of 20
// signed records each, read cold and warm by load_walls, beside the same histories read
// one transaction at a time. Prints the figures; not run by the tests.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "chain/http.h"
#include "chain/tx_cache.h"
#include "core/base64.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "ledger/identity_checks.h"
#include "ledger/pairs.h"
#include "ledger/records.h"
#include "ledger/request_gate.h"
#include "ledger/walls.h"
#include "wallet/document.h"
#include "wallet/registry.h"

namespace {

const char* const ABANDON =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";
const char* const MAIN_ADDRESS = "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf";
constexpr int LATENCY_MS = 50;

struct Server {
    pid_t pid = -1;
    std::string root;
};

Server start_devnet(const std::string& dir, int latency_ms, int woc_rps = 0) {
    Server s;
    int fds[2];
    if (::pipe(fds) != 0) return s;
    const std::string profile = dir + "/profile.json", state = dir + "/state.json";
    const std::string latency = std::to_string(latency_ms), rate = std::to_string(woc_rps);
    s.pid = ::fork();
    if (s.pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        const std::string server = std::string(QUENVALE_SOURCE_DIR) + "/tools/devnet/server.mjs";
        ::execlp("node", "node", server.c_str(), "--port", "0", "--profile-out", profile.c_str(), "--state",
                 state.c_str(), "--latency-ms", latency.c_str(), "--woc-rps", rate.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string line;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    ::close(fds[0]);
    const auto at = line.find("http://");
    if (at != std::string::npos) s.root = line.substr(at);
    for (int i = 0; i < 100; ++i) {  // the profile is written once listening
        std::string text, error;
        core::Profile p;
        if (core::read_file(profile, text) && core::parse_profile(text, p, error)) {
            core::set_profile(p);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return s;
}

void stop_devnet(Server& s) {
    if (s.pid <= 0) return;
    ::kill(s.pid, SIGTERM);
    int status = 0;
    ::waitpid(s.pid, &status, 0);
    s.pid = -1;
}

bool admin(const Server& s, const std::string& path, const core::Json& body) {
    return chain::wallet_post_json(s.root + path, core::dump_compact(body), 30, 1).ok;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The described order: per frame (frames in parallel) the txid lists, then each
// transaction fetched and verified one at a time, then the shown frame's certificate
// and its two coins one after another.
void one_by_one(const std::array<ledger::SpotLoad, ledger::FRAME_COUNT>& shown) {
    std::vector<std::thread> frames;
    for (int f = 1; f <= ledger::FRAME_COUNT; ++f) {
        frames.emplace_back([f, &shown] {
            const auto row = ledger::frame_row(f);
            std::vector<std::string> ids;
            std::string error;
            ledger::history_txids(row.spot, row.watch_address, ids, error);
            for (const auto& id : ids) {
                core::Json tx, record;
                if (!ledger::fetch_tx(id, tx) || !ledger::extract_record(tx, record)) continue;
                ledger::verify_record(record);
            }
            const auto& s = shown[static_cast<std::size_t>(f - 1)];
            if (!s.shown) return;
            ledger::Certificate cert;
            ledger::read_certificate(s.cert_origin, cert, error);
            ledger::out_spent(s.pic_utxo);
            ledger::out_spent(s.cert_utxo);
        });
    }
    for (auto& t : frames) t.join();
}

struct Figures {
    double ms = 0;
    long requests = 0;
    int chain = 0;
};

template <typename Fn>
Figures measure(Fn&& fn) {
    ledger::reset_request_counts();
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return Figures{ms_since(t0), ledger::requests_made(), ledger::longest_request_chain()};
}

void forget_everything() {
    ledger::reset_identity_caches();
    ledger::reset_wall_caches();
    chain::reset_tx_cache();
}

// A new user's machine: no confirmed transaction kept on disk yet.
void forget_disk_cache() {
    const std::string dir = core::parent_path(chain::tx_cache_path(std::string(64, '0')));
    for (const auto& name : core::list_files(dir)) core::remove_file(dir + "/" + name);
    chain::reset_tx_cache();
}

// The devnet's request counts since the last reset, per service and route.
core::Json request_counts(const Server& s) {
    core::Json j;
    const chain::HttpResult r = chain::wallet_get(s.root + "/devnet/requests", 10);
    if (!r.ok || !core::parse_json(r.body, j) || !j.is_object()) return core::Json::object();
    return j;
}

long count_of(const core::Json& counts, const std::string& service) {
    long n = 0;
    if (counts.contains(service))
        for (const auto& [route, c] : counts[service].items())
            if (route.rfind("429", 0) != 0) n += c.get<long>();
    return n;
}

// A cold read at the service's free rate, as a new user's program makes it.
void print_strict_read(const char* name, const Server& dn, bool keep_disk_cache) {
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    std::string error;
    forget_everything();
    if (!keep_disk_cache) forget_disk_cache();
    admin(dn, "/devnet/requests/reset", core::Json::object());
    const Figures f = measure([&] { ledger::load_walls(error, walls); });
    const core::Json counts = request_counts(dn);
    std::printf("%-26s %10.1f ms; WhatsOnChain %ld, platform %ld, ordinals %ld, ARC %ld requests; error: \"%s\"\n",
                name, f.ms, count_of(counts, "woc"), count_of(counts, "svc"), count_of(counts, "ord"),
                count_of(counts, "arc"), error.c_str());
    for (const auto& [service, routes] : counts.items())
        for (const auto& [route, c] : routes.items()) std::printf("    %-4s %-50s %5ld\n", service.c_str(), route.c_str(), c.get<long>());
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/walls-load-XXXXXX";
    const char* dir = ::mkdtemp(tmpl);
    if (!dir) return 1;
    ::setenv("LOCALAPPDATA", dir, 1);
    const std::string root = std::string(dir) + "/Orvane";
    core::make_dirs(root + "/wallets/w1");
    core::write_file_atomic(root + "/wallets.json", R"({"wallets":[{"id":"w1","name":"One"}]})");
    core::Json doc = {{"version", 2}, {"mnemonic", ABANDON}, {"recv", {0, 0, 0, 0, 0, 0}}, {"show", 0},
                      {"paymail", "alice"}};
    core::write_file_atomic(root + "/wallets/w1/wallet.json", core::dump_pretty(doc));
    wallet::init_app_binding("Quenvale", "walls-bench");
    if (!wallet::load_wallet()) return 1;

    // Post the records on a devnet without delay, then read them on one with.
    Server dn = start_devnet(dir, 0);
    if (dn.root.empty()) return 1;
    admin(dn, "/devnet/identity", {{"pubkey", wallet::wallet_identity_key()}, {"alias", "alice"}});
    for (int i = 0; i < 4; ++i) admin(dn, "/devnet/fund", {{"address", MAIN_ADDRESS}, {"sats", 400000}, {"confirmed", true}});
    const std::int64_t now = core::now_seconds();
    int posted = 0;
    for (int f = 1; f <= ledger::FRAME_COUNT; ++f) {
        const auto row = ledger::frame_row(f);
        // A real certificate inscription per frame, so its content is read as a placer's would be,
        // and the maker's pair that starts the piece's title.
        const std::string cert_json = core::dump_compact(core::Json{
            {"pic", std::string(63, 'a') + std::to_string(f % 10)}, {"sha256", std::string(64, '5')},
            {"title", "Frame " + std::to_string(f)}, {"artist_name", "Bench"},
            {"owner_paymail", "alice@" + core::profile().paymail_domain}});
        core::Json inscribed;
        {
            const auto r = chain::wallet_post_json(
                dn.root + "/devnet/inscribe",
                core::dump_compact(core::Json{{"address", MAIN_ADDRESS}, {"contentType", "application/json"},
                                              {"contentBase64", core::base64_encode(std::string_view(cert_json))}, {"confirmed", false}}),
                30, 1);
            if (!r.ok || !core::parse_json(r.body, inscribed)) return 1;
        }
        const std::string cert = core::json_string(inscribed, "origin");
        const std::string pic = std::string(63, 'a') + std::to_string(f % 10);
        core::Json pair = {{"protocol", "OV-Art"}, {"type", "art_pair"}, {"location", "art"}, {"handle", "alice"},
                           {"pic", pic}, {"cert", cert.substr(0, 64)}, {"sha256", std::string(64, '5')},
                           {"owner", wallet::wallet_identity_key()}, {"ts", now - 2000 + f}};
        const auto& p = core::profile();
        if (ledger::post_record(pair, p.ocp_address, p.oao_address, 1).rfind("success", 0) != 0) return 1;
        for (int i = 0; i < 20; ++i) {
            core::Json r = {{"protocol", "OV-Art"}, {"location", "art"}, {"handle", "alice"}, {"spot", row.spot},
                            {"pic", pic}, {"cert", cert}, {"ts", now - 1000 + f * 30 + i}};
            if (i == 0) {
                r.update({{"type", "art_show"}, {"sha256", std::string(64, '5')}, {"price", "1500"},
                          {"pic_utxo", pic + "_0"}, {"cert_utxo", cert}, {"pay_addr", MAIN_ADDRESS},
                          {"exp", now - 1000 + f * 30 + 604800}});
            } else {
                r.update({{"type", "art_gask"}, {"price_sats", 1500}, {"buyer_ord", MAIN_ADDRESS},
                          {"buyer", wallet::wallet_identity_key()}});
            }
            // The display pays its week's placement fee, as placing does.
            const std::string result =
                i == 0 ? ledger::post_record(r, row.watch_address, core::profile().placement_fee_address, 10000)
                       : ledger::post_record(r, row.watch_address, "", 0);
            if (result.rfind("success", 0) == 0) ++posted;
            else std::fprintf(stderr, "post failed: %s\n", result.c_str());
            if (posted % 20 == 0) admin(dn, "/devnet/mine", {{"blocks", 1}});
        }
    }
    admin(dn, "/devnet/mine", {{"blocks", 1}});
    stop_devnet(dn);
    std::printf("records posted: %d\n", posted);

    dn = start_devnet(dir, LATENCY_MS);
    if (dn.root.empty()) return 1;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    std::string error;

    forget_everything();
    forget_disk_cache();
    const Figures cold = measure([&] { ledger::load_walls(error, walls); });
    const int peak = ledger::requests_peak();
    int shown = 0, titled = 0;
    std::size_t asks = 0;
    for (const auto& s : walls) {
        shown += s.shown ? 1 : 0;
        titled += s.title.empty() ? 0 : 1;
        asks += s.asks.size();
    }
    const std::string cold_error = error;

    constexpr int WARM_RUNS = 20;
    Figures warm;
    double warm_best = 1e9;
    for (int i = 0; i < WARM_RUNS; ++i) {
        const Figures w = measure([&] { ledger::load_walls(error, walls); });
        warm.ms += w.ms / WARM_RUNS;
        warm.requests += w.requests;
        warm.chain = std::max(warm.chain, w.chain);
        warm_best = std::min(warm_best, w.ms);
    }

    const auto shown_walls = walls;
    forget_everything();
    forget_disk_cache();
    const Figures serial = measure([&] { one_by_one(shown_walls); });
    stop_devnet(dn);

    std::printf("latency per answer: %d ms; frames shown: %d (with certificate title: %d); asks read: %zu; "
                "error: \"%s\"\n",
                LATENCY_MS, shown, titled, asks, cold_error.c_str());
    std::printf("%-26s %10s %10s %24s\n", "", "time ms", "requests", "longest request chain");
    std::printf("%-26s %10.1f %10ld %24d\n", "load_walls cold", cold.ms, cold.requests, cold.chain);
    std::printf("%-26s %10.2f %10ld %24d   (mean of %d; best %.2f ms)\n", "load_walls warm", warm.ms,
                warm.requests, warm.chain, WARM_RUNS, warm_best);
    std::printf("%-26s %10.1f %10ld %24d\n", "one by one (described order)", serial.ms, serial.requests,
                serial.chain);
    std::printf("most requests in flight: %d (ceiling %d)\n", peak, ledger::MAX_REQUESTS_IN_FLIGHT);
    std::printf("longest request chain: requests each asked only after the answer before it came in\n");

    // WhatsOnChain at its free limit (3 a second), which the program's profile then keeps to.
    dn = start_devnet(dir, LATENCY_MS, core::WOC_FREE_RPS);
    if (dn.root.empty()) return 1;
    std::printf("\nat %d WhatsOnChain requests a second (429 past it):\n", core::WOC_FREE_RPS);
    print_strict_read("load_walls cold", dn, false);
    // A restart forgets every cache in memory and keeps the confirmed transactions on disk.
    print_strict_read("load_walls after a restart", dn, true);
    stop_devnet(dn);
    return 0;
}
