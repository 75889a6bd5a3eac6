#pragma once
// Test double of the chain services the wall reader asks: an in-process HTTP server
// with the platform indexer (oracle txid lists, transactions), the identity registry
// and role service, WhatsOnChain's transaction, raw hex, history, output and spender
// paths, and the ordinals host's content path. Records are signed here with test keys,
// so the reader's own verification runs unchanged.
#include <httplib.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "core/crypto.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "ledger/records.h"
#include "wallet/identity.h"
#include "wallet/keys.h"

namespace ledger_test {

struct TestKey {
    std::string priv;
    std::string pub;  // compressed lowercase
    std::string handle;
};

inline TestKey test_key(int n, const std::string& handle) {
    TestKey k;
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", n);
    for (int i = 0; i < 32; ++i) k.priv += buf;
    wallet::pub_from_priv(k.priv, k.pub);
    k.handle = handle;
    return k;
}

inline std::string test_address(int n) {
    core::Bytes h(20, static_cast<std::uint8_t>(n));
    return wallet::address_from_hash160(h);
}

class FakeChain {
public:
    FakeChain() {
        server_.Get(R"(/svc/oi/oracle/([^/]+)/txids)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_["oracle"];
            if (indexer_down_ || down_sources_.count(req.matches[1])) return fail(res);
            core::Json ids = core::Json::array();
            const int offset = req.has_param("offset") ? std::stoi(req.get_param_value("offset")) : 0;
            if (offset == 0)
                for (const auto& t : oracles_[req.matches[1]]) ids.push_back(t);
            res.set_content(core::dump_compact(core::Json{{"txids", ids}}), "application/json");
        });
        auto tx_route = [this](const char* kind) {
            return [this, kind](const httplib::Request& req, httplib::Response& res) {
                std::lock_guard<std::mutex> lock(mutex_);
                ++hits_[kind];
                const std::string txid = req.matches[1];
                if (failing_.count(txid) || !txs_.count(txid)) return fail(res);
                res.set_content(core::dump_compact(txs_[txid]), "application/json");
            };
        };
        server_.Get(R"(/svc/oi/tx/([0-9a-f]{64}))", tx_route("svc_tx"));
        server_.Get(R"(/woc/tx/([0-9a-f]{64}))", tx_route("woc_tx"));
        server_.Get(R"(/woc/address/([^/]+)/(un)?confirmed/history)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_["woc_history"];
            if (woc_down_ || down_sources_.count(req.matches[1])) return fail(res);
            res.set_content(core::dump_compact(core::Json{{"address", req.matches[1]}, {"result", core::Json::array()}, {"error", ""}}),
                            "application/json");
        });
        server_.Post("/woc/utxos/spent", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            core::Json body, reply = core::Json::array();
            if (spent_down_ || !core::parse_json(req.body, body) || !body.contains("utxos")) return fail(res);
            for (const auto& u : body["utxos"]) {
                const std::string coin = u.value("txid", std::string()) + "_" + std::to_string(u.value("vout", 0));
                ++hits_["spent"];
                ++hits_["spent " + coin];
                core::Json item = {{"utxo", u}, {"error", ""}};
                if (auto it = spent_by_.find(coin); it != spent_by_.end())
                    item["spentIn"] = {{"txid", it->second}, {"vin", 0}, {"status", "confirmed"}};
                reply.push_back(item);
            }
            res.set_content(core::dump_compact(reply), "application/json");
        });
        server_.Get(R"(/woc/tx/([0-9a-f]{64})/(\d+)/spent)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            const std::string coin = std::string(req.matches[1]) + "_" + std::string(req.matches[2]);
            ++hits_["spent"];
            ++hits_["spent " + coin];
            if (spent_down_) return fail(res);
            auto it = spent_by_.find(coin);
            if (it == spent_by_.end()) {
                res.status = 404;
                res.set_content("Not Found", "text/plain");
                return;
            }
            res.set_content(core::dump_compact(core::Json{{"txid", it->second}, {"vin", 0}}), "application/json");
        });
        server_.Post("/woc/txs/hex", [this](const httplib::Request& req, httplib::Response& res) {
            core::Json body, reply = core::Json::array();
            if (!core::parse_json(req.body, body) || !body.contains("txids")) return fail(res);
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_["hex"];
            for (const auto& t : body["txids"]) {
                const std::string id = t.get<std::string>();
                const auto it = raw_.find(id);
                reply.push_back(it == raw_.end() ? core::Json{{"txid", id}, {"error", "unknown"}}
                                                 : core::Json{{"txid", id}, {"hex", it->second}, {"blockheight", 0},
                                                              {"blocktime", 0}});
            }
            res.set_content(core::dump_compact(reply), "application/json");
        });
        server_.Get(R"(/ordhost/content/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_["content"];
            auto it = contents_.find(req.matches[1]);
            if (it == contents_.end()) {
                res.status = 404;
                res.set_content("", "text/plain");
                return;
            }
            res.set_content(it->second, "application/octet-stream");
        });
        server_.Get(R"(/svc/api/bsvalias/id/([^@]+)@.*)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_["alias"];
            if (registry_down_) return fail(res);
            auto it = aliases_.find(req.matches[1]);
            if (it == aliases_.end()) {
                res.status = 404;
                res.set_content(R"({"error":"not found"})", "application/json");
                return;
            }
            res.set_content(core::dump_compact(core::Json{{"pubkey", it->second}}), "application/json");
        });
        server_.Get(R"(/svc/api/paymail/quota/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_["quota"];
            const bool arch = architects_.count(req.matches[1]) > 0;
            res.set_content(core::dump_compact(core::Json{{"role", arch ? "architect" : "default"}}), "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running()) std::this_thread::yield();

        core::Profile p;
        p.network = "test";
        const std::string root = "http://127.0.0.1:" + std::to_string(port_);
        p.service_root = root + "/svc";
        p.service_host = "127.0.0.1:" + std::to_string(port_);
        p.woc_api = root + "/woc";
        p.ord_api = root + "/ord";
        p.ord_host = root + "/ordhost";
        p.paymail_domain = "devnet.quenvale.test";
        p.platform_domain = "quenvale.test";
        for (int i = 0; i < 10; ++i) p.frames[static_cast<std::size_t>(i)] = test_address(i + 1);
        p.ocp_address = test_address(20);
        p.oao_address = test_address(21);
        p.placement_fee_address = test_address(22);
        core::set_profile(p);
    }
    ~FakeChain() {
        server_.stop();
        thread_.join();
        core::reset_profile();
    }
    FakeChain(const FakeChain&) = delete;
    FakeChain& operator=(const FakeChain&) = delete;

    void register_key(const TestKey& k) {
        std::lock_guard<std::mutex> lock(mutex_);
        aliases_[k.handle] = k.pub;
    }
    void set_architect(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        architects_.insert(key);
    }

    // Signs the record with k (handle, actor, pubkey, sig filled in) unless it already
    // carries a signature, wraps it in a transaction that pays the given addresses 1 sat
    // each, and lists it under the oracle. Returns its txid. An art_show given no
    // addresses pays the placement fee for its weeks, as the place step does; with
    // auto_titles on, its signer is first given the artwork's title (give_title).
    std::string post(const std::string& oracle, core::Json record, const TestKey& k,
                     const std::vector<std::string>& pays = {}) {
        record["protocol"] = "OV-Art";
        record["location"] = "art";
        if (!record.contains("handle")) record["handle"] = k.handle;
        if (!record.contains("actor")) record["actor"] = k.handle;
        const bool show = core::json_string(record, "type") == "art_show";
        if (show && auto_titles_) give_title(core::json_string(record, "pic"), k, ledger::signed_int(record, "ts") - 1);
        if (!record.contains("sig")) sign(record, k);
        std::vector<std::pair<std::string, std::int64_t>> paid;
        for (const auto& a : pays) paid.emplace_back(a, 1);
        if (show && pays.empty()) {
            const std::int64_t span = ledger::signed_int(record, "exp") - ledger::signed_int(record, "ts");
            paid.emplace_back(core::profile().placement_fee_address, span > 604800 ? 20000 : 10000);
        }
        return post_paying(oracle, ledger::record_text(record), paid);
    }
    // The artwork's certificate (content at cert_of(pic) + "_0", naming k's paymail as
    // its maker) and the maker's pair on the OCP address, once per artwork.
    // A key without its private half (a wallet's) signs its own pair: nothing is given.
    void give_title(const std::string& pic_text, const TestKey& k, std::int64_t ts) {
        if (k.priv.empty()) return;
        const std::string pic = pic_text.substr(0, 64);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!titled_.insert(pic).second) return;
        }
        const std::string cert = cert_of(pic);
        put_content(cert + "_0", core::dump_compact(core::Json{{"pic", pic}, {"sha256", std::string(64, '5')},
                                                               {"title", "T"}, {"artist_name", "A"},
                                                               {"owner_paymail", k.handle + "@devnet.quenvale.test"}}));
        post("ocp",
             {{"type", "art_pair"}, {"pic", pic}, {"cert", cert}, {"sha256", std::string(64, '5')}, {"owner", k.pub},
              {"ts", ts}},
             k, {core::profile().ocp_address, core::profile().oao_address});
    }
    static std::string cert_of(const std::string& pic) { return core::to_hex(core::sha256("cert:" + pic)); }
    void set_auto_titles(bool on) { auto_titles_ = on; }
    static void sign(core::Json& record, const TestKey& k) {
        std::string sig;
        wallet::sign_plain(k.priv, wallet::signed_message_digest(ledger::record_message(record)), sig);
        record["pubkey"] = k.pub;
        record["sig"] = sig;
    }
    // As post, but the transaction is not listed under the oracle until list() says so:
    // a posting the indexers have not seen yet.
    std::string post_unlisted(const std::string& oracle, core::Json record, const TestKey& k) {
        const std::string txid = post(oracle, std::move(record), k);
        std::lock_guard<std::mutex> lock(mutex_);
        auto& ids = oracles_[oracle];
        ids.erase(std::remove(ids.begin(), ids.end(), txid), ids.end());
        return txid;
    }
    void list(const std::string& oracle, const std::string& txid) {
        std::lock_guard<std::mutex> lock(mutex_);
        oracles_[oracle].push_back(txid);
    }
    std::string post_raw(const std::string& oracle, const std::string& payload, const std::vector<std::string>& pays) {
        std::vector<std::pair<std::string, std::int64_t>> paid;
        for (const auto& a : pays) paid.emplace_back(a, 1);
        return post_paying(oracle, payload, paid);
    }
    // The transaction JSON of a posting that pays each address the sats given.
    std::string post_paying(const std::string& oracle, const std::string& payload,
                            const std::vector<std::pair<std::string, std::int64_t>>& pays) {
        core::Bytes script = {0x00, 0x6a, 0x4d, static_cast<std::uint8_t>(payload.size() & 0xff),
                              static_cast<std::uint8_t>(payload.size() >> 8)};
        script.insert(script.end(), payload.begin(), payload.end());
        core::Json vout = core::Json::array();
        for (const auto& [a, sats] : pays)
            vout.push_back({{"value", static_cast<double>(sats) / 1e8},
                            {"n", vout.size()},
                            {"scriptPubKey", {{"hex", "76a9"}, {"addresses", {a}}}}});
        vout.push_back({{"value", 0}, {"n", vout.size()}, {"scriptPubKey", {{"hex", core::to_hex(script)}}}});
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string txid = core::to_hex(core::sha256(payload + std::to_string(txs_.size())));
        txs_[txid] = core::Json{{"txid", txid}, {"vout", vout}};
        oracles_[oracle].push_back(txid);
        return txid;
    }
    // The transaction is in block `height`, mined at `time`.
    void confirm(const std::string& txid, std::int64_t height, std::int64_t time) {
        std::lock_guard<std::mutex> lock(mutex_);
        txs_[txid]["blockheight"] = height;
        txs_[txid]["blocktime"] = time;
    }
    // A transaction known to WhatsOnChain and the indexer but in no history.
    void put_tx(const std::string& txid, const core::Json& tx) {
        std::lock_guard<std::mutex> lock(mutex_);
        txs_[txid] = tx;
    }
    // WhatsOnChain's raw hex of a transaction (its bulk raw route answers any txid it is
    // given, whether or not the bytes hash to it).
    void put_raw_tx(const std::string& txid, const std::string& hex) {
        std::lock_guard<std::mutex> lock(mutex_);
        raw_[txid] = hex;
    }
    // The ordinals host's content of an inscription (txid_vout).
    void put_content(const std::string& origin, const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        contents_[origin] = bytes;
    }
    // Both history sources fail for one oracle name or watch address.
    void set_source_down(const std::string& oracle_or_address, bool down) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (down)
            down_sources_.insert(oracle_or_address);
        else
            down_sources_.erase(oracle_or_address);
    }
    void set_spent_down(bool down) {
        std::lock_guard<std::mutex> lock(mutex_);
        spent_down_ = down;
    }
    void fail_tx(const std::string& txid, bool fail) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fail)
            failing_.insert(txid);
        else
            failing_.erase(txid);
    }
    void set_registry_down(bool down) {
        std::lock_guard<std::mutex> lock(mutex_);
        registry_down_ = down;
    }
    void set_sources_down(bool indexer, bool woc) {
        std::lock_guard<std::mutex> lock(mutex_);
        indexer_down_ = indexer;
        woc_down_ = woc;
    }
    void set_spent(const std::string& coin, const std::string& by) {
        std::lock_guard<std::mutex> lock(mutex_);
        spent_by_[coin] = by;
    }
    int hits(const std::string& kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        return hits_[kind];
    }

private:
    static void fail(httplib::Response& res) {
        res.status = 503;
        res.set_content("down", "text/plain");
    }
    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> oracles_;
    std::map<std::string, core::Json> txs_;
    std::set<std::string> failing_, architects_, down_sources_, titled_;
    bool auto_titles_ = false;
    std::map<std::string, std::string> aliases_, spent_by_, raw_, contents_;
    std::map<std::string, int> hits_;
    bool registry_down_ = false, indexer_down_ = false, woc_down_ = false, spent_down_ = false;
};

}  // namespace ledger_test
