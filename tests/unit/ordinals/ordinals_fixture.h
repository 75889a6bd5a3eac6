#pragma once
// Shared pieces of the ordinals unit tests: inscription scripts built byte by byte, a
// scripted in-process HTTP server standing in for the indexers, and a wallet fixture.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <algorithm>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "chain/tx.h"
#include "core/bytes.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "ordinals/caches.h"
#include "ordinals/envelope.h"
#include "ordinals/listing.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace ord_test {

// The wallet every fixture binds to.
using testing_support::ABANDON;
using testing_support::ABANDON_IDENTITY;
using testing_support::ABANDON_ORDINALS0;
using testing_support::ABANDON_RECEIVE0;

inline const char* const STRANGER = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

inline std::string txid(char c) { return std::string(64, c); }

inline core::Bytes bytes(const std::string& s) { return core::to_bytes(s); }

inline void push(core::Bytes& script, const std::string& data) { chain::push_data(script, bytes(data)); }

inline core::Bytes p2pkh(const std::string& address) {
    core::Bytes h;
    wallet::hash160_from_address(address, h);
    return wallet::p2pkh_script(h);
}

// OP_FALSE OP_IF "ord" OP_1 type OP_0 body OP_ENDIF
inline core::Bytes envelope(const std::string& type, const std::vector<std::string>& body) {
    core::Bytes s = {0x00, 0x63};
    push(s, "ord");
    s.push_back(0x51);
    push(s, type);
    s.push_back(0x00);
    for (const auto& part : body) push(s, part);
    s.push_back(0x68);
    return s;
}

inline void append(core::Bytes& a, const core::Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }

inline core::Bytes map_part(const std::vector<std::pair<std::string, std::string>>& kv) {
    core::Bytes s = {0x6a};
    push(s, ordinals::MAP_PREFIX);
    push(s, "SET");
    for (const auto& [k, v] : kv) {
        push(s, k);
        push(s, v);
    }
    return s;
}

// Envelope, lock to address, then MAP when given: the layout the devnet writes.
inline core::Bytes inscription_script(const std::string& address, const std::string& type, const std::string& content,
                                      const std::vector<std::pair<std::string, std::string>>& kv = {}) {
    core::Bytes s = envelope(type, {content});
    append(s, p2pkh(address));
    if (!kv.empty()) append(s, map_part(kv));
    return s;
}

using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

// An indexer stand-in on 127.0.0.1: routes by exact path (query string excluded),
// records every path asked for, 404 for anything without a route.
class FakeServices {
public:
    FakeServices() {
        auto route = [this](const httplib::Request& req, httplib::Response& res) { dispatch(req, res); };
        server_.Get(".*", route);
        server_.Post(".*", route);
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running()) std::this_thread::yield();
    }
    ~FakeServices() {
        server_.stop();
        thread_.join();
    }
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    std::string root() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void on(const std::string& path, Handler h) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = std::move(h);
    }
    void reply(const std::string& path, int status, const std::string& body, const std::string& type = "text/plain") {
        on(path, [=](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content(body, type.c_str());
        });
    }
    void json(const std::string& path, const core::Json& body) {
        reply(path, 200, core::dump_compact(body), "application/json");
    }
    // WhatsOnChain's bulk raw route knows txid with these bytes (hex, in no block); it
    // answers any txid asked, as the service does, whether or not the bytes hash to it.
    void raw_tx(const std::string& txid, const std::string& hex) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            raw_[txid] = hex;
        }
        on("/woc/txs/hex", [this](const httplib::Request& req, httplib::Response& res) {
            core::Json body, reply = core::Json::array();
            if (!core::parse_json(req.body, body) || !body.contains("txids")) {
                res.status = 400;
                return;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& t : body["txids"]) {
                const std::string id = t.get<std::string>();
                raw_asked_.push_back(id);
                const auto it = raw_.find(id);
                reply.push_back(it == raw_.end() ? core::Json{{"txid", id}, {"error", "unknown"}}
                                                 : core::Json{{"txid", id}, {"hex", it->second}, {"blockhash", ""},
                                                              {"blockheight", 0}, {"blocktime", 0}, {"confirmations", 0}});
            }
            res.set_content(core::dump_compact(reply), "application/json");
        });
    }
    // How often the bulk raw route was asked for txid.
    std::size_t raw_asked(const std::string& txid) {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<std::size_t>(std::count(raw_asked_.begin(), raw_asked_.end(), txid));
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_.clear();
        seen_.clear();
        raw_.clear();
        raw_asked_.clear();
    }
    std::vector<std::string> seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    std::size_t count(const std::string& path) {
        std::size_t n = 0;
        for (const auto& p : seen())
            if (p == path) ++n;
        return n;
    }
    std::size_t count_prefix(const std::string& prefix) {
        std::size_t n = 0;
        for (const auto& p : seen())
            if (p.rfind(prefix, 0) == 0) ++n;
        return n;
    }

    // A profile pointing every service at this server.
    core::Profile profile() const {
        core::Profile p;
        p.network = "unit";
        p.woc_api = root() + "/woc";
        p.ord_api = root() + "/ord/api";
        p.ord_host = root() + "/ord";
        p.service_root = root() + "/svc";
        p.paymail_domain = "orvane.test";
        p.credential_issuer_address = "1JSkLWc33A51qqCKXDBBobvjAQvgFSDdBY";
        return p;
    }

private:
    void dispatch(const httplib::Request& req, httplib::Response& res) {
        Handler h;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(req.path);
            auto it = routes_.find(req.path);
            if (it != routes_.end()) h = it->second;
        }
        if (h) {
            h(req, res);
        } else {
            res.status = 404;
            res.set_content("Not Found", "text/plain");
        }
    }

    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Handler> routes_;
    std::vector<std::string> seen_;
    std::map<std::string, std::string> raw_;
    std::vector<std::string> raw_asked_;
};

// A bound HD wallet "w1" of the ABANDON mnemonic in a fresh platform folder, every
// service at a FakeServices, the fake clock installed and the ordinals caches empty.
class WalletFixture : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    testing_support::FakeClock clock;
    FakeServices services;

    void SetUp() override {
        clock.install();
        core::set_profile(services.profile());
        ordinals::reset_cache_state();
        ordinals::reset_list_cache();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ordinals-test"));
    }
    void TearDown() override {
        ordinals::reset_list_cache();
        ordinals::reset_cache_state();
        core::reset_profile();
    }

    core::Json wallet_doc() {
        core::Json j;
        core::parse_json(tp.read("wallets/w1/wallet.json"), j);
        return j;
    }
};

// A txo of the index for an inscription at txid_vout held by owner.
// A transaction WhatsOnChain knows (in no block), its outputs carrying these scripts
// with 1 sat each and spending a made-up coin of spends; its txid.
inline std::string known_tx(FakeServices& services, const std::vector<core::Bytes>& scripts, char spends = '9') {
    chain::TxInput in;
    in.txid = txid(spends);
    in.unlocking_script = {0x51};
    std::vector<chain::TxOutput> outputs;
    for (const auto& script : scripts) outputs.push_back({1, script});
    const core::Bytes raw = chain::serialize_tx({in}, outputs, false);
    services.raw_tx(chain::tx_id(raw), core::to_hex(raw));
    return chain::tx_id(raw);
}

inline core::Json txo(const std::string& tx, int vout, const std::string& owner, const core::Json& data) {
    std::string op = tx + "_" + std::to_string(vout);
    return {{"txid", tx},       {"vout", vout},  {"outpoint", op}, {"satoshis", 1}, {"owner", owner},
            {"spend", ""},      {"height", 0},   {"idx", 0},
            {"origin", {{"outpoint", op}, {"num", 0}, {"data", data}}},
            {"data", data}};
}

inline core::Json gallery_data(const std::string& type, const std::string& name, const std::string& tag = "") {
    core::Json map = {{"app", "ZuvAdudurero"}, {"name", name}};
    if (!tag.empty()) map["tag"] = tag;
    return {{"insc", {{"file", {{"hash", "00"}, {"size", 1}, {"type", type}}}}}, {"map", map}};
}

// Plays the wallet application changing a shared file while `ours` changes it too.
// This thread takes the store lock and reads the file; `ours` starts on another thread
// and is given up to 300 ms, enough to finish if it ignores the lock; then this thread
// adds `theirs` to what it read and replaces the file. Code that honours the store
// lock waits for that and re-reads, so both changes survive; code that does not loses
// one of them.
inline void race_with_wallet_app(const std::string& path, const std::function<void()>& ours,
                                 const std::function<void(core::Json&)>& theirs) {
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread other;
    {
        wallet::StoreLockGuard held;
        std::string text;
        core::Json j = core::Json::object();
        if (core::read_file(path, text)) core::parse_json(text, j);
        other = std::thread([&] {
            ours();
            finished.set_value();
        });
        done.wait_for(std::chrono::milliseconds(300));
        theirs(j);
        core::make_dirs(core::parent_path(path));
        core::write_file_atomic(path, core::dump_compact(j));
    }
    other.join();
}

}  // namespace ord_test
