#include "chain/coin_state.h"

#include <algorithm>

#include "chain/tx.h"

#include "core/clock.h"
#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"
#include "wallet/derive.h"
#include "wallet/document.h"
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

// A journal file that exists but does not read as a JSON object is left alone: it may
// be another program's half-written or newer file, and overwriting it would lose marks.
bool journal_writable(const std::string& path, core::Json& current) {
    current = core::Json();
    if (!core::file_exists(path)) return true;
    return read_json(path, current);
}

// Spent marks of a journal file into memory (as old marks), except those this process
// let go of and has not saved yet.
void merge_spent_file(CoinState& s, const core::Json& j) {
    if (!j.is_object() || !j.contains("outpoints") || !j["outpoints"].is_array()) return;
    for (const auto& v : j["outpoints"]) {
        if (!v.is_string()) continue;
        std::string key = core::lower_ascii(v.get<std::string>());
        auto colon = key.find(':');
        if (colon != 64 || !core::is_txid(key.substr(0, 64)) || s.released.count(key)) continue;
        s.spent.emplace(key, NO_TIME);  // an existing in-memory mark keeps its time
    }
}

// Change coins of a journal file into memory: each needs a key the wallet holds, and
// is skipped when spent, present already or dropped by this process since the last save.
void merge_change_file(CoinState& s, const core::Json& j) {
    if (!j.is_object() || !j.contains("coins") || !j["coins"].is_array()) return;
    for (const auto& row : j["coins"]) {
        std::string txid = core::lower_ascii(core::json_string(row, "txid"));
        std::int64_t vout = core::json_int(row, "vout", -1);
        std::int64_t sats = core::json_int(row, "sats", 0);
        std::string addr = core::json_string(row, "addr");
        if (!core::is_txid(txid) || vout < 0 || vout > 0xffffffffLL || sats < 1 || sats > MAX_SATS || addr.empty())
            continue;
        auto v = static_cast<std::uint32_t>(vout);
        if (is_spent(txid, v) || s.change_dropped.count(outpoint_key(txid, v))) continue;
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

}  // namespace

ChangeCoin::~ChangeCoin() { core::cleanse(private_key); }

CoinState& coin_state() { return raw_state(); }

void sync_coin_state() {
    CoinState& s = raw_state();
    std::uint64_t gen = wallet::wallet_state().generation;
    if (!s.attached || s.generation != gen) {
        s = CoinState{};
        s.attached = true;
        s.generation = gen;
    }
    if (!s.journals_loaded && wallet::wallet_in_memory()) load_journals();
}

void clear_coin_state() {
    wallet::WalletLock lock(wallet::wallet_mutex());
    CoinState& s = raw_state();
    std::uint64_t gen = s.generation;
    bool attached = s.attached;
    s = CoinState{};
    s.generation = gen;
    s.attached = attached;
}

WalletMark wallet_mark() { return WalletMark{wallet::wallet_state().generation, wallet_key_word()}; }

bool same_wallet(const WalletMark& mark) {
    return wallet::load_wallet() && wallet::wallet_state().generation == mark.generation &&
           wallet_key_word() == mark.word;
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
    // Journals, snapshots and balance files were named with "-" written as "_", and a
    // word of "wallet" means no file is written at all.
    return core::safe_file_word(id, {.max_len = 80, .if_empty = "wallet"});
}

void mark_spent(const std::string& txid, std::uint32_t vout) {
    sync_coin_state();
    auto& s = coin_state();
    std::int64_t now = core::monotonic_ms();
    for (const auto& key : {outpoint_key(txid, vout), outpoint_key(reversed_txid(txid), vout)}) {
        s.spent[key] = now;
        s.released.erase(key);
    }
    save_spent_journal();
}

bool is_spent(const std::string& txid, std::uint32_t vout) {
    sync_coin_state();
    auto& s = coin_state();
    return s.spent.count(outpoint_key(txid, vout)) || s.spent.count(outpoint_key(reversed_txid(txid), vout));
}

void release_listed(const std::vector<Coin>& coins, bool force) {
    sync_coin_state();
    auto& s = coin_state();
    std::int64_t now = core::monotonic_ms();
    bool removed = false;
    for (const auto& c : coins) {
        for (const auto& key : {outpoint_key(c.txid, c.vout), outpoint_key(reversed_txid(c.txid), c.vout)}) {
            auto it = s.spent.find(key);
            if (it == s.spent.end()) continue;
            if (force || it->second == NO_TIME || now - it->second > RELEASE_AFTER_MS) {
                s.spent.erase(it);
                s.released.insert(key);
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
    if (read_json(journal_path("_spent.json"), j)) merge_spent_file(s, j);
    if (read_json(journal_path("_change.json"), j)) merge_change_file(s, j);
}

void save_spent_journal() {
    wallet::WalletLock lock(wallet::wallet_mutex());  // then the store lock, never the other way
    sync_coin_state();
    auto& s = coin_state();
    if (wallet_key_word() == "wallet") return;
    wallet::StoreLockGuard store;
    std::string path = journal_path("_spent.json");
    core::Json current;
    if (!journal_writable(path, current)) return;
    merge_spent_file(s, current);
    core::Json keys = core::Json::array();
    for (const auto& [key, when] : s.spent) keys.push_back(key);
    if (core::write_file_atomic(path, core::dump_compact({{"outpoints", keys}}))) s.released.clear();
}

void save_change_journal() {
    wallet::WalletLock lock(wallet::wallet_mutex());  // then the store lock, never the other way
    sync_coin_state();
    auto& s = coin_state();
    if (wallet_key_word() == "wallet") return;
    wallet::StoreLockGuard store;
    std::string path = journal_path("_change.json");
    core::Json current;
    if (!journal_writable(path, current)) return;
    merge_change_file(s, current);
    core::Json coins = core::Json::array();
    for (const auto& c : s.change) {
        if (!core::is_txid(c.coin.txid) || c.coin.value <= 0 || is_spent(c.coin.txid, c.coin.vout)) continue;
        coins.push_back({{"txid", c.coin.txid},
                         {"vout", c.coin.vout},
                         {"sats", c.coin.value},
                         {"addr", wallet::address_from_hash160(c.key_hash)}});
    }
    if (core::write_file_atomic(path, core::dump_compact({{"coins", coins}}))) s.change_dropped.clear();
}

std::size_t drop_change_if(const std::function<bool(const ChangeCoin&)>& drop) {
    sync_coin_state();
    auto& s = coin_state();
    std::size_t before = s.change.size();
    s.change.erase(std::remove_if(s.change.begin(), s.change.end(),
                                  [&](const ChangeCoin& c) {
                                      bool gone = drop(c);  // asked once per coin
                                      if (gone) s.change_dropped.insert(outpoint_key(c.coin.txid, c.coin.vout));
                                      return gone;
                                  }),
                   s.change.end());
    return before - s.change.size();
}

CoinListing* find_listing(const std::string& address) {
    sync_coin_state();
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
    sync_coin_state();
    auto& s = coin_state();
    for (auto& l : s.listings)
        l.coins.erase(std::remove_if(l.coins.begin(), l.coins.end(),
                                     [](const Coin& c) { return is_spent(c.txid, c.vout); }),
                      l.coins.end());
    drop_change_if([](const ChangeCoin& c) { return is_spent(c.coin.txid, c.coin.vout); });
}

void age_listings(std::int64_t ms) {
    sync_coin_state();
    for (auto& l : coin_state().listings) l.fetched_at -= ms;
}

}  // namespace chain
