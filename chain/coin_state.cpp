#include "chain/coin_state.h"

#include <algorithm>

#include "core/clock.h"
#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "wallet/derive.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace chain {

namespace {

constexpr std::int64_t RELEASE_AFTER_MS = 20000;

CoinState& raw_state() {
    static CoinState s;
    return s;
}

std::string journal_path(const std::string& suffix) {
    std::string dir = wallet::platform_dir() + "/ord_snap";
    core::make_dirs(dir);
    return dir + "/" + wallet_key_word() + suffix;
}

bool read_json(const std::string& path, core::Json& out) {
    std::string text;
    return core::read_file(path, text) && core::parse_json(text, out) && out.is_object();
}

}  // namespace

ChangeCoin::~ChangeCoin() { core::cleanse(private_key); }

CoinState& coin_state() {
    CoinState& s = raw_state();
    std::uint64_t gen = wallet::wallet_state().generation;
    if (s.generation != gen) {
        s = CoinState{};
        s.generation = gen;
    }
    // The journals belong to the loaded wallet: read them on first use after a load.
    if (!s.journals_loaded && wallet::wallet_in_memory()) load_journals();
    return s;
}

void clear_coin_state() {
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::uint64_t gen = raw_state().generation;
    raw_state() = CoinState{};
    raw_state().generation = gen;
}

std::string outpoint_key(const std::string& txid, std::uint32_t vout) {
    return core::lower_ascii(txid) + ":" + std::to_string(vout);
}

std::string reversed_txid(const std::string& txid) {
    std::string out;
    out.reserve(txid.size());
    for (std::size_t i = txid.size(); i >= 2; i -= 2) out.append(txid, i - 2, 2);
    return core::lower_ascii(out);
}

bool same_outpoint(const std::string& a, std::uint32_t va, const std::string& b, std::uint32_t vb) {
    if (va != vb) return false;
    std::string la = core::lower_ascii(a), lb = core::lower_ascii(b);
    return la == lb || la == reversed_txid(lb);
}

std::string wallet_key_word() {
    std::string id = wallet::app_binding().wallet_id;
    if (id.empty()) id = wallet::wallet_state().address;
    std::string word;
    for (unsigned char c : id) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        word.push_back(ok ? static_cast<char>(c) : '_');
    }
    if (word.empty()) word = "wallet";
    if (word.size() > 80) word.resize(80);
    return word;
}

void mark_spent(const std::string& txid, std::uint32_t vout) {
    auto& s = coin_state();
    std::int64_t now = core::monotonic_ms();
    s.spent[outpoint_key(txid, vout)] = now;
    s.spent[outpoint_key(reversed_txid(txid), vout)] = now;
    save_spent_journal();
}

bool is_spent(const std::string& txid, std::uint32_t vout) {
    auto& s = coin_state();
    return s.spent.count(outpoint_key(txid, vout)) || s.spent.count(outpoint_key(reversed_txid(txid), vout));
}

void release_listed(const std::vector<Coin>& coins, bool force) {
    auto& s = coin_state();
    std::int64_t now = core::monotonic_ms();
    bool removed = false;
    for (const auto& c : coins) {
        for (const auto& key : {outpoint_key(c.txid, c.vout), outpoint_key(reversed_txid(c.txid), c.vout)}) {
            auto it = s.spent.find(key);
            if (it == s.spent.end()) continue;
            if (force || it->second == NO_TIME || now - it->second > RELEASE_AFTER_MS) {
                s.spent.erase(it);
                removed = true;
            }
        }
    }
    if (removed) save_spent_journal();
}

void load_journals() {
    auto& s = raw_state();
    std::string word = wallet_key_word();
    if (word == "wallet") return;
    s.journal_word = word;
    s.journals_loaded = true;
    core::Json j;
    if (read_json(journal_path("_spent.json"), j) && j.contains("outpoints") && j["outpoints"].is_array()) {
        for (const auto& v : j["outpoints"]) {
            if (!v.is_string()) continue;
            std::string key = core::lower_ascii(v.get<std::string>());
            auto colon = key.find(':');
            if (colon != 64 || !core::is_txid(key.substr(0, 64))) continue;
            s.spent.emplace(key, NO_TIME);  // an existing in-memory mark keeps its time
        }
    }
    if (read_json(journal_path("_change.json"), j) && j.contains("coins") && j["coins"].is_array()) {
        for (const auto& row : j["coins"]) {
            std::string txid = core::lower_ascii(core::json_string(row, "txid"));
            std::int64_t vout = core::json_int(row, "vout", -1);
            std::int64_t sats = core::json_int(row, "sats", 0);
            std::string addr = core::json_string(row, "addr");
            if (!core::is_txid(txid) || vout < 0 || vout > 0xffffffffLL || sats < 1 || addr.empty()) continue;
            auto v = static_cast<std::uint32_t>(vout);
            if (is_spent(txid, v)) continue;
            bool dup = std::any_of(s.change.begin(), s.change.end(),
                                   [&](const ChangeCoin& c) { return same_outpoint(c.coin.txid, c.coin.vout, txid, v); });
            if (dup) continue;
            ChangeCoin c;
            if (!wallet::find_key_for_address(addr, c.private_key, c.public_key)) continue;
            if (!wallet::hash160_from_address(addr, c.key_hash)) continue;
            c.coin = Coin{txid, v, sats, 0};
            s.change.push_back(std::move(c));
        }
    }
}

void save_spent_journal() {
    auto& s = coin_state();
    if (wallet_key_word() == "wallet") return;
    core::Json keys = core::Json::array();
    for (const auto& [key, when] : s.spent) keys.push_back(key);
    core::write_file_atomic(journal_path("_spent.json"), core::dump_compact({{"outpoints", keys}}));
}

void save_change_journal() {
    auto& s = coin_state();
    if (wallet_key_word() == "wallet") return;
    core::Json coins = core::Json::array();
    for (const auto& c : s.change) {
        if (!core::is_txid(c.coin.txid) || c.coin.value <= 0 || is_spent(c.coin.txid, c.coin.vout)) continue;
        coins.push_back({{"txid", c.coin.txid},
                         {"vout", c.coin.vout},
                         {"sats", c.coin.value},
                         {"addr", wallet::address_from_hash160(c.key_hash)}});
    }
    core::write_file_atomic(journal_path("_change.json"), core::dump_compact({{"coins", coins}}));
}

CoinListing* find_listing(const std::string& address) {
    auto& s = coin_state();
    for (auto& l : s.listings)
        if (l.address == address) return &l;
    return nullptr;
}

CoinListing& listing_for(const std::string& address) {
    if (CoinListing* l = find_listing(address)) return *l;
    auto& s = coin_state();
    CoinListing l;
    l.address = address;
    s.listings.push_back(std::move(l));
    return s.listings.back();
}

void drop_spent_from_listings() {
    auto& s = coin_state();
    for (auto& l : s.listings)
        l.coins.erase(std::remove_if(l.coins.begin(), l.coins.end(),
                                     [](const Coin& c) { return is_spent(c.txid, c.vout); }),
                      l.coins.end());
    s.change.erase(std::remove_if(s.change.begin(), s.change.end(),
                                  [](const ChangeCoin& c) { return is_spent(c.coin.txid, c.coin.vout); }),
                   s.change.end());
}

void age_listings(std::int64_t ms) {
    for (auto& l : coin_state().listings) l.fetched_at -= ms;
}

}  // namespace chain
