#include "wallet/connect.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/spendable.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/window.h"
#include "wallet/derive.h"
#include "wallet/discovery.h"
#include "wallet/document.h"
#include "wallet/paymail.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace wallet {

namespace {

constexpr std::int64_t LISTING_FRESH_MS = 8000;
constexpr std::int64_t HOLDS_FRESH_MS = 20000;
constexpr std::uintmax_t MAX_REPLY_BYTES = 64 * 1024;  // a reply is two members

struct ConnectState {
    std::recursive_mutex observer_mutex;
    WalletObserver observer;
    std::atomic<bool> refresh_busy{false};
    std::mutex timing_mutex;
    ConnectTiming timing;
};

ConnectState& connect_state() {
    static ConnectState s;
    return s;
}

std::string connect_dir() { return platform_dir() + "/connect"; }

// Merge, paymail and avatar after a wallet was (re)attached.
void attach_sync() {
    merge_wallet_changes();
    paymail_sync(true);
    bool has_identity;
    {
        WalletLock lock(wallet_mutex());
        has_identity = !wallet_state().identity_pub.empty();
    }
    if (has_identity) register_avatar();
}

std::string error_result(const std::string& text) {
    report_event("error", text);
    return text;
}

}  // namespace

void set_wallet_observer(WalletObserver observer) {
    std::lock_guard<std::recursive_mutex> lock(connect_state().observer_mutex);
    connect_state().observer = std::move(observer);
}

void report_event(const std::string& kind, const std::string& a, const std::string& b, const std::string& c) {
    std::function<void(const std::string&)> cb;
    {
        std::lock_guard<std::recursive_mutex> lock(connect_state().observer_mutex);
        cb = connect_state().observer.event;
    }
    if (!cb) return;
    const char US = 31;
    std::vector<std::string> values = {a, b, c};
    while (!values.empty() && values.back().empty()) values.pop_back();
    std::string e = std::string("[OV-WENDREL]") + US + kind;
    for (const auto& v : values) e += US + v;
    cb(e);
}

void report_text(const std::string& line) {
    std::function<void(const std::string&)> cb;
    {
        std::lock_guard<std::recursive_mutex> lock(connect_state().observer_mutex);
        cb = connect_state().observer.text;
    }
    if (cb) cb(line);
}

void set_connect_timing(ConnectTiming t) {
    std::lock_guard<std::mutex> lock(connect_state().timing_mutex);
    connect_state().timing = t;
}

std::string write_connect_request() {
    AppBinding b = app_binding();
    if (!b.initialised) return "";
    std::string dir = connect_dir();
    core::make_dirs(dir);
    std::string id = new_wallet_id();
    core::Json req = {{"id", id}, {"app", b.app}, {"instance", b.instance}, {"ts", core::now_seconds()}};
    std::string exe = platform::executable_path();
    if (!exe.empty()) req["exe"] = exe;
    // Written whole and renamed into place, so the wallet application never reads half.
    if (!core::write_file_atomic(dir + "/" + id + ".req.json", core::dump_pretty(req))) return "";
    return id;
}

PollOutcome poll_connect_reply(const std::string& id) {
    if (id.empty() || !is_valid_wallet_id(id)) return PollOutcome::Denied;
    std::string path = connect_dir() + "/" + id + ".rep.json";
    if (!core::file_exists(path)) return PollOutcome::Pending;
    std::string text;
    core::Json j;
    // A reply the wallet application is still writing (written in place rather than
    // renamed) reads as nothing or half an object: wait for the next poll.
    if (!core::read_file(path, text, MAX_REPLY_BYTES) || !core::parse_json(text, j)) return PollOutcome::Pending;
    if (!j.is_object()) return PollOutcome::Denied;
    if (j.contains("ok") && !j["ok"].is_boolean()) return PollOutcome::Denied;
    if (!core::json_bool(j, "ok")) return PollOutcome::Denied;
    if (j.contains("wallet_id") && !j["wallet_id"].is_string()) return PollOutcome::Denied;
    std::string wallet_id = core::json_string(j, "wallet_id");
    // Only an id that can name a folder binds; anything else leaves the bind alone.
    if (!wallet_id.empty() && is_valid_wallet_id(wallet_id)) write_bound_wallet_id(wallet_id);
    return PollOutcome::Ok;
}

bool show_wallet_app() {
    if (platform::raise_window_by_class(WALLET_APP_CLASS)) return true;
    std::string dir = platform::executable_dir();
    std::string candidate = dir + "/" + WALLET_APP_FILE;
    if (!core::file_exists(candidate)) {
        std::string parent = core::parent_path(dir);
        candidate = (parent.empty() ? std::string(".") : parent) + "/" + WALLET_APP_FILE;
    }
    if (!core::file_exists(candidate)) return false;
    return platform::start_program(candidate, {}, dir);
}

std::string connect_wallet() {
    if (!app_binding().initialised) return error_result("error: connect is for apps, not the Wendrel vault.");
    {
        WalletLock lock(wallet_mutex());
        if (!app_binding().wallet_id.empty() && load_wallet()) {
            attach_sync();
            return "success";
        }
    }
    std::string id = write_connect_request();
    if (id.empty()) return error_result("error: could not write connect request.");
    report_event("connect-pending", "Approve the connect in Wendrel.");
    report_text("Waiting for Wendrel to approve this app...\n");
    show_wallet_app();
    ConnectTiming timing;
    {
        std::lock_guard<std::mutex> lock(connect_state().timing_mutex);
        timing = connect_state().timing;
    }
    bool approved = false;
    for (int i = 0; i < timing.polls && !approved; ++i) {
        core::sleep_ms(timing.poll_interval_ms);
        PollOutcome p = poll_connect_reply(id);
        if (p == PollOutcome::Denied) {
            report_event("connect-denied", "denied");
            return error_result("error: connect denied in Wendrel.");
        }
        approved = p == PollOutcome::Ok;
    }
    if (!approved) {
        report_event("connect-denied", "timeout");
        return error_result(std::string("error: Wendrel did not approve in time. Open ") + WALLET_APP_FILE +
                            " and try Connect again.");
    }
    WalletLock lock(wallet_mutex());
    forget_wallet();
    if (!load_wallet()) {
        if (wallet_is_locked()) return error_result("error: This wallet is locked. Open it in Wendrel.");
        return error_result("error: approved, but the wallet would not load.");
    }
    attach_sync();
    report_text("Connected to Wendrel wallet " + wallet_display_name(app_binding().wallet_id) + "\n");
    return "success";
}

std::string disconnect_wallet() {
    WalletLock lock(wallet_mutex());
    remove_binding();
    forget_wallet();
    report_event("status");
    report_text("This app is no longer connected to a Wendrel wallet.\n");
    return "success";
}

bool refresh_wallet_status() {
    bool expected = false;
    if (!connect_state().refresh_busy.compare_exchange_strong(expected, true)) return false;
    struct Done {
        ~Done() { connect_state().refresh_busy.store(false); }
    } done;

    const std::string discovery_error = discover_receive_addresses();
    if (!discovery_error.empty())
        report_text("Later receive addresses could not be checked (" + discovery_error + "); they are checked again at the next refresh.\n");
    std::vector<chain::FetchTask> tasks;
    std::string word;
    bool with_inscriptions = true;
    {
        WalletLock lock(wallet_mutex());
        if (!load_wallet()) {
            report_event("status");
            report_event("paymail");
            return true;
        }
        attach_sync();
        chain::sync_coin_state();
        auto& cs = chain::coin_state();
        std::int64_t now = core::monotonic_ms();
        bool index_down = cs.index_unavailable && now - cs.index_unavailable_at < HOLDS_FRESH_MS;
        with_inscriptions = !index_down;
        const std::string current = wallet_state().address;
        for (const auto& address : watched_addresses()) {
            const chain::CoinListing* l = chain::find_listing(address);
            bool stale = !l || !(l->loaded && l->filtered && now - l->fetched_at < LISTING_FRESH_MS);
            auto h = cs.holds.find(address);
            bool holds_stale = !index_down && (h == cs.holds.end() || now - h->second.stored_at >= HOLDS_FRESH_MS);
            if (address != current && !stale && !holds_stale) continue;
            chain::FetchTask t;
            t.address = address;
            t.mempool_filter = true;
            tasks.push_back(std::move(t));
        }
        word = chain::wallet_key_word();
    }
    std::string error;
    chain::fetch_tasks(tasks, with_inscriptions, error);  // a failed fetch reads as failed listings
    std::string alias, key, address, avatar, ord;
    {
        WalletLock lock(wallet_mutex());
        if (!load_wallet() || chain::wallet_key_word() != word) return true;  // another wallet now
        if (!chain::merge_tasks(tasks, with_inscriptions, error)) return true;  // another wallet now
        auto& s = wallet_state();
        std::int64_t balance = chain::wallet_balance();
        if (balance >= 0) {
            s.cached_balance = balance;
            chain::write_balance_file(balance, s.address);
        }
        report_event("status", s.address, s.cached_balance >= 0 ? std::to_string(s.cached_balance) : "-",
                     s.hd ? "hd" : "legacy");
        alias = s.paymail;
        key = s.identity_pub;
        address = s.address;
        avatar = s.avatar;
        ord = s.ordinals_address;
        report_event("paymail", alias.empty() ? "" : alias + "@" + core::profile().paymail_domain);
    }
    publish_paymail(alias, key, address, avatar, ord);
    refresh_paymail_role();
    return true;
}

}  // namespace wallet
