#include "chain/spendable.h"

#include <algorithm>
#include <cmath>

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/reservations.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace chain {

namespace {

constexpr std::int64_t HOLD_FRESH_MS = 20000;
constexpr std::int64_t CHANGE_FRESH_MS = 20000;

// held: the caller's coin ids plus every id a reservation file keeps out.
bool offered_ok(const Coin& c, const std::string& address, const std::set<std::string>& held,
                const std::vector<TxInput>& already) {
    if (!core::is_txid(c.txid) || c.value < 1) return false;
    if (is_spent(c.txid, c.vout) || is_held_back(address, c)) return false;
    if (held.count(coin_id(c.txid, c.vout)) || held.count(coin_id(reversed_txid(c.txid), c.vout))) return false;
    for (const auto& in : already)
        if (same_outpoint(in.txid, in.vout, c.txid, c.vout)) return false;
    return true;
}

TxInput to_input(const Coin& c, const std::string& priv, const std::string& pub, const core::Bytes& hash) {
    TxInput in;
    in.txid = core::lower_ascii(c.txid);
    in.vout = c.vout;
    in.value = c.value;
    in.height = c.height;
    in.private_key = priv;
    in.public_key = pub;
    in.key_hash = hash;
    return in;
}

void add_recent_change(std::vector<TxInput>& out, const std::set<std::string>& held) {
    auto& s = coin_state();
    if (s.last_broadcast_txid.empty() || core::monotonic_ms() - s.last_broadcast_at >= CHANGE_FRESH_MS) return;
    const auto& w = wallet::wallet_state();
    for (const auto& c : s.change) {
        if (!same_outpoint(c.coin.txid, 0, s.last_broadcast_txid, 0)) continue;
        std::string address = wallet::address_from_hash160(c.key_hash);
        if (!offered_ok(c.coin, address, held, out)) continue;
        std::string priv = c.private_key.empty() ? w.priv.str() : c.private_key;
        std::string pub = c.public_key.empty() ? w.pub : c.public_key;
        out.push_back(to_input(c.coin, priv, pub, c.key_hash));
        core::cleanse(priv);
    }
}

// The addresses whose coins are offered, in order, each with its key. Keys are derived
// only for addresses whose listing has coins to offer.
struct SpendAddress {
    std::string address;
    std::string priv;
    std::string pub;
    ~SpendAddress() { core::cleanse(priv); }
};

bool has_coins(const std::string& address) {
    const CoinListing* l = find_listing(address);
    return l && l->loaded && !l->coins.empty();
}

std::vector<SpendAddress> spend_addresses() {
    std::vector<SpendAddress> out;
    const auto& w = wallet::wallet_state();
    if (!w.hd) {
        out.push_back({w.address, w.priv.str(), w.pub});
        return out;
    }
    auto add = [&out](const wallet::Path& path) {
        SpendAddress a;
        if (wallet::derive_path(path, a.priv, a.pub, a.address)) out.push_back(std::move(a));
    };
    std::vector<std::string> receive = wallet::receive_addresses();
    for (std::size_t i = 0; i < receive.size(); ++i)
        if (!receive[i].empty() && has_coins(receive[i])) add(wallet::receive_path(static_cast<std::uint32_t>(i)));
    if (has_coins(w.identity_address)) add(wallet::identity_path());
    return out;
}

std::string balance_path() {
    std::string dir = wallet::platform_dir() + "/tx_hist";
    core::make_dirs(dir);
    return dir + "/" + wallet_key_word() + "_face.json";
}

}  // namespace

bool is_held_back(const std::string& address, const Coin& coin) {
    sync_coin_state();
    auto& s = coin_state();
    std::int64_t now = core::monotonic_ms();
    if (s.index_unavailable && now - s.index_unavailable_at < HOLD_FRESH_MS) return coin.value == 1;
    std::string key = outpoint_key(coin.txid, coin.vout), rkey = outpoint_key(reversed_txid(coin.txid), coin.vout);
    if (address.empty()) {
        for (const auto& [addr, h] : s.holds)
            if (h.outpoints.count(key) || h.outpoints.count(rkey)) return true;
        return false;
    }
    auto it = s.holds.find(address);
    if (it != s.holds.end() && now - it->second.stored_at <= HOLD_FRESH_MS) {
        if (it->second.outpoints.count(key) || it->second.outpoints.count(rkey)) return true;
        return !it->second.ok && coin.value == 1;
    }
    return coin.value == 1;
}

bool gather_spendable(std::vector<TxInput>& out, const std::vector<std::string>& held_in, bool allow_trade,
                      std::string& error) {
    out.clear();
    error.clear();
    sync_coin_state();
    load_journals();
    auto& s = coin_state();

    // Offer locks whose coin is gone are dropped for good.
    std::string lock_error;
    update_offer_locks(
        [](std::vector<std::string>& locks) {
            std::size_t before = locks.size();
            locks.erase(std::remove_if(locks.begin(), locks.end(),
                                       [](const std::string& id) {
                                           auto us = id.find('_');
                                           return us == 64 && is_spent(id.substr(0, 64),
                                                                       static_cast<std::uint32_t>(std::strtoul(id.c_str() + 65, nullptr, 10)));
                                       }),
                        locks.end());
            return locks.size() != before;
        },
        lock_error);
    ReservedCoins reserved = reserved_coins(allow_trade);
    if (reserved.all) {
        error = unreadable_reservation_text(reserved.unreadable);
        return false;
    }
    std::set<std::string> held = std::move(reserved.ids);
    for (const auto& h : held_in) held.insert(normalise_coin_id(h));

    add_recent_change(out, held);
    for (const auto& key : spend_addresses()) {
        CoinListing* l = find_listing(key.address);
        core::Bytes hash;
        if (!l || !l->loaded || !wallet::hash160_from_address(key.address, hash)) continue;
        for (const auto& c : l->coins) {
            if (!offered_ok(c, key.address, held, out)) continue;
            out.push_back(to_input(c, key.priv, key.pub, hash));
            drop_change_if([&](const ChangeCoin& cc) { return same_outpoint(cc.coin.txid, cc.coin.vout, c.txid, c.vout); });
        }
    }
    add_recent_change(out, held);
    if (out.empty()) {
        std::string last_broadcast = s.last_broadcast_txid, last_success = s.last_success_txid;
        bool added = !last_broadcast.empty() && register_outputs_from_chain(last_broadcast, error);
        if (!added && error.empty() && !last_success.empty()) register_outputs_from_chain(last_success, error);
        if (!error.empty()) return false;  // the wallet changed while the chain was asked
        add_recent_change(out, held);
    }
    std::stable_sort(out.begin(), out.end(), [](const TxInput& a, const TxInput& b) {
        bool ca = a.height != 0, cb = b.height != 0;
        if (ca != cb) return ca;
        return a.value > b.value;
    });
    return !out.empty();
}

bool is_house_oracle_address(const std::string& address) {
    for (const auto& row : core::profile().house)
        if (!address.empty() && (row.addresses[0] == address || row.addresses[2] == address)) return true;
    return false;
}

bool change_hash(core::Bytes& hash, std::string& error) {
    const auto& w = wallet::wallet_state();
    if (!wallet::hash160_from_address(w.address, hash)) {
        error = "wendrel address decode failed.";
        return false;
    }
    if (!is_house_oracle_address(w.address)) return true;
    if (w.hd)
        for (const auto& a : wallet::receive_addresses())
            if (!a.empty() && !is_house_oracle_address(a) && wallet::hash160_from_address(a, hash)) return true;
    hash.clear();
    error = "change would land on a house oracle.";
    return false;
}

void register_broadcast(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                        const std::string& txid) {
    sync_coin_state();
    load_journals();
    auto& s = coin_state();
    if (core::is_txid(txid)) {
        s.last_broadcast_txid = core::lower_ascii(txid);
        s.last_broadcast_at = core::monotonic_ms();
    }
    for (const auto& in : inputs) mark_spent(in.txid, in.vout);
    drop_spent_from_listings();
    if (!core::is_txid(txid)) {
        save_change_journal();
        return;
    }
    const auto& w = wallet::wallet_state();
    std::vector<std::string> own = wallet::watched_addresses();
    for (std::uint32_t n = 0; n < outputs.size(); ++n) {
        const auto& out = outputs[n];
        if (out.value <= 0 || out.script.size() != 25) continue;
        core::Bytes hash(out.script.begin() + 3, out.script.begin() + 23);
        if (wallet::p2pkh_script(hash) != out.script) continue;
        std::string address = wallet::address_from_hash160(hash);
        if (std::find(own.begin(), own.end(), address) == own.end()) continue;
        bool present = std::any_of(s.change.begin(), s.change.end(),
                                   [&](const ChangeCoin& c) { return same_outpoint(c.coin.txid, c.coin.vout, txid, n); });
        if (present) continue;
        ChangeCoin c;
        c.coin = Coin{core::lower_ascii(txid), n, out.value, 0};
        c.key_hash = hash;
        auto from = std::find_if(inputs.begin(), inputs.end(), [&](const TxInput& in) { return in.key_hash == hash; });
        if (from != inputs.end() && !from->private_key.empty()) {
            c.private_key = from->private_key;
            c.public_key = from->public_key;
        } else if (!wallet::find_key_for_address(address, c.private_key, c.public_key)) {
            c.private_key = w.priv.str();
            c.public_key = w.pub;
        }
        CoinListing& l = listing_for(address);
        l.coins.push_back(c.coin);
        l.fetched_at = core::monotonic_ms();
        l.loaded = true;
        s.change.push_back(std::move(c));
    }
    save_change_journal();
}

bool register_outputs_from_chain(const std::string& txid, std::string& error) {
    error.clear();
    if (!core::is_txid(txid)) return false;
    WalletMark mark = wallet_mark();
    HttpResult r;
    {
        wallet::WalletUnlocked unlocked;
        r = wallet_get(woc_tx_url(txid), 25, false);
    }
    if (!same_wallet(mark)) {
        error = WALLET_CHANGED;
        return false;
    }
    core::Json j;
    if (!r.ok || !core::parse_json(r.body, j) || !j.is_object() || !j.contains("vout") || !j["vout"].is_array())
        return false;
    sync_coin_state();
    auto& s = coin_state();
    bool added = false;
    std::uint32_t position = 0;
    for (const auto& o : j["vout"]) {
        std::uint32_t n = position++;
        if (!o.is_object()) continue;
        if (o.contains("n") && o["n"].is_number_unsigned()) n = o["n"].get<std::uint32_t>();
        double v = 0;
        if (o.contains("satoshis") && o["satoshis"].is_number()) {
            v = o["satoshis"].get<double>();
        } else if (o.contains("value") && o["value"].is_number()) {
            v = o["value"].get<double>();
            if (v <= 1000) v *= 100000000.0;
        }
        if (!(v > 0) || v > static_cast<double>(MAX_SATS)) continue;
        std::int64_t sats = std::llround(v);
        std::string address;
        if (o.contains("scriptPubKey") && o["scriptPubKey"].is_object()) {
            const auto& spk = o["scriptPubKey"];
            if (spk.contains("addresses") && spk["addresses"].is_array() && !spk["addresses"].empty() &&
                spk["addresses"][0].is_string())
                address = spk["addresses"][0].get<std::string>();
            else
                address = core::json_string(spk, "address");
        }
        ChangeCoin c;
        if (address.empty() || !wallet::find_key_for_address(address, c.private_key, c.public_key)) continue;
        if (is_spent(txid, n)) continue;
        bool present = std::any_of(s.change.begin(), s.change.end(),
                                   [&](const ChangeCoin& x) { return same_outpoint(x.coin.txid, x.coin.vout, txid, n); });
        if (present) continue;
        wallet::hash160_from_address(address, c.key_hash);
        c.coin = Coin{core::lower_ascii(txid), n, sats, 0};
        s.change.push_back(std::move(c));
        added = true;
    }
    return added;
}

std::int64_t wallet_balance() {
    sync_coin_state();
    auto& s = coin_state();
    const auto& w = wallet::wallet_state();
    std::int64_t sum = 0;
    bool main_loaded = false;
    std::set<std::string> counted;
    auto add = [&](const Coin& c, const std::string& address, std::int64_t min_value) {
        if (c.value < min_value || is_spent(c.txid, c.vout) || is_held_back(address, c)) return;
        if (!counted.insert(outpoint_key(c.txid, c.vout)).second) return;
        if (sum <= MAX_SATS - c.value) sum += c.value;
    };
    if (CoinListing* l = find_listing(w.address); l && l->loaded) {
        main_loaded = true;
        if (l->balance >= 0)
            sum = l->balance;
        else
            for (const auto& c : l->coins) add(c, l->address, 1);
    }
    std::string p, k;
    for (const auto& l : s.listings) {
        if (!l.loaded || l.address == w.address || !is_house_oracle_address(l.address)) continue;
        bool held = wallet::find_key_for_address(l.address, p, k);
        core::cleanse(p);
        if (!held) continue;
        for (const auto& c : l.coins) add(c, l.address, 1000);
    }
    for (const auto& c : s.change) {
        std::string address = wallet::address_from_hash160(c.key_hash);
        if (address == w.address || !is_house_oracle_address(address)) continue;
        add(c.coin, address, 1000);
    }
    if (!main_loaded && sum == 0) return -1;
    return sum;
}

void balance_after_payment(std::int64_t spent) {
    std::int64_t b = wallet_balance();
    if (b < 0) return;
    auto& w = wallet::wallet_state();
    if (w.cached_balance >= 0 && spent > 0) {
        std::int64_t expected = std::max<std::int64_t>(0, w.cached_balance - spent);
        if (b < expected - 8000) b = expected;  // the indexer has not caught up yet
    }
    w.cached_balance = b;
    write_balance_file(b, w.address);
}

void write_balance_file(std::int64_t sats, const std::string& address) {
    if (sats < 0 || address.empty() || wallet_key_word() == "wallet") return;
    core::write_file_atomic(balance_path(), core::dump_compact({{"sats", sats}, {"address", address}}));
}

std::int64_t read_balance_file(const std::string& address) {
    std::string text;
    core::Json j;
    if (!core::read_file(balance_path(), text) || !core::parse_json(text, j)) return -1;
    if (core::json_string(j, "address") != address || !j.contains("sats") || !j["sats"].is_number_integer()) return -1;
    return core::json_int(j, "sats", -1);
}

}  // namespace chain
