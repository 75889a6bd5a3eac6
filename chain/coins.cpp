#include "chain/coins.h"

#include <algorithm>
#include <mutex>

#include "chain/broadcast.h"
#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/ord_index.h"
#include "chain/woc.h"
#include "core/clock.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/pool.h"
#include "wallet/derive.h"
#include "wallet/keys.h"
#include "wallet/document.h"
#include "wallet/state.h"

namespace chain {

namespace {

constexpr int MAX_PAGES = 40;
constexpr long BALANCE_TIMEOUT_S = 8;
constexpr std::size_t MAX_MEMPOOL_TXIDS = 1000;
constexpr std::int64_t FRESH_FOR_PAYMENT_MS = 8000;
constexpr std::int64_t CHANGE_GRACE_MS = 20000;
// The coin refresh never asks the indexers about more addresses than this at once.
constexpr std::size_t MAX_REQUESTS_IN_FLIGHT = 8;

const core::Json* list_of(const core::Json& j) {
    if (j.is_array()) return &j;
    if (j.is_object() && j.contains("result") && j["result"].is_array()) return &j["result"];
    return nullptr;
}

std::vector<std::string> txids_of(const core::Json& j, std::size_t max) {
    std::vector<std::string> out;
    const core::Json* list = list_of(j);
    if (!list) return out;
    for (const auto& e : *list) {
        if (out.size() >= max) break;
        std::string t = core::json_string(e, "tx_hash");
        if (t.empty()) t = core::json_string(e, "txid");
        if (core::is_txid(t)) out.push_back(core::lower_ascii(t));
    }
    return out;
}

void add_spent_inputs(const core::Json& tx, std::vector<std::pair<std::string, std::uint32_t>>& spent) {
    if (!tx.is_object() || !tx.contains("vin") || !tx["vin"].is_array()) return;
    for (const auto& in : tx["vin"]) {
        std::string t = core::json_string(in, "txid");
        std::int64_t v = core::json_int(in, "vout", -1);
        if (core::is_txid(t) && v >= 0 && v <= 0xffffffffLL) spent.emplace_back(t, static_cast<std::uint32_t>(v));
    }
}

// Removes coins that a mempool transaction of the address already spends.
void filter_mempool_spends(const std::string& address, std::vector<Coin>& coins) {
    HttpResult r = wallet_get(woc_address_unconfirmed_history_url(address), 15, false);
    core::Json j;
    if (!r.ok || !core::parse_json(r.body, j)) return;
    std::vector<std::string> txids = txids_of(j, MAX_MEMPOOL_TXIDS);
    std::vector<std::pair<std::string, std::uint32_t>> spent;
    for (std::size_t i = 0; i < txids.size(); i += 20) {
        std::vector<std::string> batch(txids.begin() + static_cast<std::ptrdiff_t>(i),
                                       txids.begin() + static_cast<std::ptrdiff_t>(std::min(i + 20, txids.size())));
        HttpResult b = wallet_post_json(woc_txs_url(), core::dump_compact({{"txids", batch}}), 25, 2);
        core::Json arr;
        if (b.ok && core::parse_json(b.body, arr) && arr.is_array()) {
            for (const auto& tx : arr) add_spent_inputs(tx, spent);
            continue;
        }
        for (const auto& t : batch) {
            HttpResult one = wallet_get(woc_tx_url(t), 10, false);
            core::Json tx;
            if (one.ok && core::parse_json(one.body, tx)) add_spent_inputs(tx, spent);
        }
    }
    coins.erase(std::remove_if(coins.begin(), coins.end(),
                               [&](const Coin& c) {
                                   return std::any_of(spent.begin(), spent.end(), [&](const auto& s) {
                                       return same_outpoint(c.txid, c.vout, s.first, s.second);
                                   });
                               }),
                coins.end());
}

// Pruning the change journal against a fresh listing of one address. A change coin of
// the last broadcast that the listing does not show yet is kept for 20 seconds.
void prune_change(const std::string& address, const std::vector<Coin>& listed) {
    auto listed_now = [&](const ChangeCoin& c) {
        return std::any_of(listed.begin(), listed.end(),
                           [&](const Coin& l) { return same_outpoint(l.txid, l.vout, c.coin.txid, c.coin.vout); });
    };
    auto of_address = [&](const ChangeCoin& c) { return wallet::address_from_hash160(c.key_hash) == address; };
    auto recent = [](const CoinState& s, const ChangeCoin& c) {
        return same_outpoint(c.coin.txid, 0, s.last_broadcast_txid, 0) &&
               core::monotonic_ms() - s.last_broadcast_at < CHANGE_GRACE_MS;
    };

    sync_coin_state();
    const CoinState& s = coin_state();
    // A recent broadcast's change is kept until the listings show it. A service that does
    // not know the transaction yet never frees its inputs: a broadcaster took it.
    std::size_t dropped = drop_change_if([&](const ChangeCoin& c) {
        if (!of_address(c)) return false;
        if (is_spent(c.coin.txid, c.coin.vout)) return true;
        if (listed_now(c)) return false;
        return !recent(s, c);
    });
    if (dropped) save_change_journal();
}

void store_listing(const std::string& address, const std::vector<Coin>& fresh, bool keep_cached, bool filtered,
                   std::int64_t balance) {
    sync_coin_state();
    auto& s = coin_state();
    CoinListing& l = listing_for(address);
    std::vector<Coin> coins = fresh;
    auto listed = [&](const std::string& txid, std::uint32_t vout) {
        return std::any_of(coins.begin(), coins.end(), [&](const Coin& c) { return same_outpoint(c.txid, c.vout, txid, vout); });
    };
    if (keep_cached)
        for (const auto& c : l.coins)
            if (!is_spent(c.txid, c.vout) && !listed(c.txid, c.vout)) coins.push_back(c);
    for (const auto& c : s.change)
        if (wallet::address_from_hash160(c.key_hash) == address && !is_spent(c.coin.txid, c.coin.vout) &&
            !listed(c.coin.txid, c.coin.vout))
            coins.push_back(c.coin);
    l.coins = std::move(coins);
    l.fetched_at = core::monotonic_ms();
    l.loaded = true;
    l.filtered = filtered;
    if (balance >= 0) l.balance = balance;
}

}  // namespace

bool coins_unreachable(std::string& text) {
    const CoinListing* l = find_listing(wallet::wallet_state().address);
    if (l && l->loaded) return false;
    const std::string& detail = coin_state().last_coin_error;
    text = "could not reach the chain service" + (detail.empty() ? std::string() : " (" + detail + ")");
    return true;
}

bool parse_unspent_list(const std::string& body, std::vector<Coin>& out) {
    core::Json j;
    if (!core::parse_json(body, j)) return false;
    const core::Json* list = list_of(j);
    if (!list) return false;
    for (const auto& e : *list) {
        if (!e.is_object() || core::json_bool(e, "isSpentInMempoolTx")) continue;
        Coin c;
        c.txid = core::json_string(e, "tx_hash");
        if (c.txid.empty()) c.txid = core::json_string(e, "txid");
        std::int64_t vout = e.contains("tx_pos") ? core::json_int(e, "tx_pos", -1) : core::json_int(e, "vout", 0);
        std::int64_t value = core::json_int(e, "value", 0);
        std::int64_t height = core::json_int(e, "height", -1);
        if (!core::is_txid(c.txid) || vout < 0 || vout > 0xffffffffLL || value < 1 || value > MAX_SATS) continue;
        c.txid = core::lower_ascii(c.txid);
        c.vout = static_cast<std::uint32_t>(vout);
        c.value = value;
        c.height = (height < -1 || height > 0x7fffffff) ? -1 : static_cast<std::int32_t>(height);
        out.push_back(c);
    }
    return true;
}

UnspentResult list_unspent(const std::string& address, bool mempool_filter) {
    UnspentResult res;
    std::string last_error;
    auto take = [&](const HttpResult& r) {
        if (!r.ok) {
            last_error = r.error;
            return std::string();
        }
        std::vector<Coin> page;
        if (!parse_unspent_list(r.body, page)) {
            last_error = "bad utxo list";
            return std::string();
        }
        res.ok = true;
        res.coins.insert(res.coins.end(), page.begin(), page.end());
        core::Json j;
        core::parse_json(r.body, j);
        return core::json_string(j, "nextPageToken");
    };
    std::string token = take(wallet_get(woc_address_unspent_all_url(address, ""), 20, false));
    std::string previous;
    for (int page = 1; page < MAX_PAGES && !token.empty() && token != previous; ++page) {
        previous = token;
        token = take(wallet_get(woc_address_unspent_all_url(address, token), 20, false));
    }
    take(wallet_get(woc_address_unconfirmed_unspent_url(address), 10, false));
    if (!res.ok) {
        res.coins.clear();
        res.error = last_error.empty() ? "no utxos" : last_error;
        return res;
    }
    std::stable_sort(res.coins.begin(), res.coins.end(), [](const Coin& a, const Coin& b) { return a.value > b.value; });
    std::vector<Coin> unique;
    for (const auto& c : res.coins)
        if (std::none_of(unique.begin(), unique.end(), [&](const Coin& u) { return same_outpoint(u.txid, u.vout, c.txid, c.vout); }))
            unique.push_back(c);
    res.coins.swap(unique);
    if (mempool_filter) filter_mempool_spends(address, res.coins);
    return res;
}

std::int64_t address_balance(const std::string& address) { return woc_balance(address, BALANCE_TIMEOUT_S); }

bool inscription_outpoints(const std::string& address, std::set<std::string>& out) {
    out.clear();
    core::Json j;
    if (!ord_unspent_rows(address, 10, j)) return false;
    for (const auto& e : j) {
        std::string txid = core::json_string(e, "txid");
        std::int64_t vout = core::json_int(e, "vout", -1);
        if (!core::is_txid(txid) || vout < 0 || vout > 0xffffffffLL) continue;
        bool carries = false;
        if (e.contains("data") && e["data"].is_object())
            carries = e["data"].contains("insc") || e["data"].contains("bsv20") || e["data"].contains("bsv21");
        if (e.contains("origin") && !e["origin"].is_null()) carries = true;
        if (carries) out.insert(outpoint_key(txid, static_cast<std::uint32_t>(vout)));
    }
    return true;
}

bool fetch_tasks(std::vector<FetchTask>& tasks, bool with_inscriptions, std::string& error) {
    bool ran = core::run_bounded(tasks.size(), MAX_REQUESTS_IN_FLIGHT, [&tasks, with_inscriptions](std::size_t i) {
        FetchTask& t = tasks[i];
        t.result = list_unspent(t.address, t.mempool_filter);
        if (t.result.ok) t.balance = address_balance(t.address);
        if (with_inscriptions) t.inscriptions_ok = inscription_outpoints(t.address, t.inscriptions);
    }, error);
    if (!ran)
        for (auto& t : tasks) {
            t.result = UnspentResult{};
            t.result.error = error;
        }
    return ran;
}

bool merge_tasks(std::vector<FetchTask>& tasks, bool with_inscriptions, std::string& error) {
    error.clear();
    sync_coin_state();
    load_journals();
    auto& s = coin_state();
    for (auto& t : tasks) {
        if (t.result.ok) {
            release_listed(t.result.coins, false);
            if (!t.keep_cached) prune_change(t.address, t.result.coins);
        } else {
            s.last_coin_error = t.result.error;
        }
        std::vector<Coin> coins;
        for (const auto& c : t.result.coins)
            if (!is_spent(c.txid, c.vout)) coins.push_back(c);
        if (t.result.ok) {
            store_listing(t.address, coins, t.keep_cached, t.mempool_filter, t.balance);
        } else if (!find_listing(t.address)) {
            CoinListing& l = listing_for(t.address);
            l.coins = coins;
            l.loaded = false;
            l.balance = -1;
        }
        std::int64_t now = core::monotonic_ms();
        HoldSet h;
        h.outpoints = t.inscriptions;
        h.stored_at = now;
        h.ok = with_inscriptions && t.inscriptions_ok;
        s.holds[t.address] = h;
        if (!h.ok) {
            s.index_unavailable = true;
            s.index_unavailable_at = now;
        }
    }
    return true;
}

bool refresh_coins(std::vector<FetchTask>& tasks, bool with_inscriptions, std::string& error) {
    bool fetched = fetch_tasks(tasks, with_inscriptions, error);
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string merge_error;
    bool merged = merge_tasks(tasks, with_inscriptions, merge_error);
    if (!merged) error = merge_error;
    return fetched && merged;
}

bool prepare_payment_coins(std::string& error) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!wallet::load_wallet()) {
        error = "no wallet";
        return false;
    }
    sync_coin_state();
    std::vector<FetchTask> tasks;
    std::int64_t now = core::monotonic_ms();
    for (const auto& address : wallet::watched_addresses()) {
        CoinListing* l = find_listing(address);
        if (l && l->filtered && now - l->fetched_at < FRESH_FOR_PAYMENT_MS) continue;
        FetchTask t;
        t.address = address;
        t.mempool_filter = true;
        t.keep_cached = true;
        tasks.push_back(std::move(t));
    }
    WalletMark mark = wallet_mark();
    std::string fetch_error;
    bool fetched = false;
    {
        // The caller may hold the wallet-state lock several levels deep: let go of all
        // of them while the network is asked.
        wallet::WalletUnlocked unlocked;
        fetched = fetch_tasks(tasks, false, fetch_error);
    }
    if (!same_wallet(mark)) {
        error = WALLET_CHANGED;
        return false;
    }
    if (!fetched) {
        error = fetch_error;
        return false;
    }
    return merge_tasks(tasks, false, error);
}

bool refresh_from_ordinals_index(std::string& error) {
    struct Found {
        bool ok = false;
        std::vector<Coin> coins;
    };
    error.clear();
    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!wallet::load_wallet()) return true;
    std::vector<std::string> addresses = wallet::watched_addresses();
    std::vector<Found> found(addresses.size());
    WalletMark mark = wallet_mark();
    bool fetched = false;
    {
        wallet::WalletUnlocked unlocked;
        fetched = core::run_bounded(addresses.size(), MAX_REQUESTS_IN_FLIGHT, [&](std::size_t i) {
            core::Json j;
            if (!ord_unspent_rows(addresses[i], 20, j)) return;
            found[i].ok = true;
            for (const auto& e : j) {
                std::string txid = core::json_string(e, "txid");
                std::int64_t vout = core::json_int(e, "vout", -1);
                std::int64_t sats =
                    e.contains("satoshis") ? core::json_int(e, "satoshis", 0) : core::json_int(e, "value", 0);
                if (!core::is_txid(txid) || vout < 0 || vout > 0xffffffffLL || sats <= 1 || sats > MAX_SATS) continue;
                bool has_origin = core::has_string(e, "origin") ||
                                  (e.contains("origin") && e["origin"].is_object() && e["origin"].contains("outpoint"));
                bool has_data = e.contains("data") && !e["data"].is_null();
                if (has_origin && has_data) continue;
                if (e.contains("data") && e["data"].is_object() &&
                    (e["data"].contains("insc") || e["data"].contains("bsv20") || e["data"].contains("bsv21")))
                    continue;
                found[i].coins.push_back(Coin{core::lower_ascii(txid), static_cast<std::uint32_t>(vout), sats, -1});
            }
        }, error);
    }
    if (!same_wallet(mark)) {
        error = WALLET_CHANGED;
        return false;
    }
    if (!fetched) return false;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (!found[i].ok) continue;
        release_listed(found[i].coins, false);
        if (found[i].coins.empty()) continue;
        std::vector<Coin> coins;
        for (const auto& c : found[i].coins)
            if (!is_spent(c.txid, c.vout)) coins.push_back(c);
        store_listing(addresses[i], coins, true, false, -1);
        prune_change(addresses[i], found[i].coins);
    }
    return true;
}

}  // namespace chain
