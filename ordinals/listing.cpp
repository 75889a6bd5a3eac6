#include "ordinals/listing.h"

#include <algorithm>
#include <map>
#include <set>

#include "chain/coin_state.h"
#include "chain/endpoints.h"
#include "chain/http.h"
#include "core/clock.h"
#include "core/hex.h"
#include "core/json.h"
#include "ordinals/caches.h"
#include "ordinals/inbox.h"
#include "ordinals/issued.h"
#include "ordinals/owned.h"
#include "ordinals/paths.h"
#include "ordinals/pool.h"
#include "ordinals/snapshot.h"
#include "ordinals/watch.h"
#include "wallet/document.h"
#include "wallet/state.h"

namespace ordinals {

namespace {

constexpr long INDEX_TIMEOUT_S = 8;
constexpr long TOKENS_TIMEOUT_ORDINALS_S = 25;
constexpr long TOKENS_TIMEOUT_OTHER_S = 8;
constexpr long RECHECK_TIMEOUT_S = 12;
constexpr long SPENT_TIMEOUT_S = 10;
// Outputs rechecked one by one per build, and outpoints remembered as gone: both bound
// the work a long-lived wallet adds to every build.
constexpr std::size_t MAX_RECHECKS = 64;
constexpr std::size_t MAX_GONE = 500;

struct AddressReply {
    bool index_ok = false;
    core::Json txos;
    core::Json tokens;
};

enum class Outcome { Unknown, Keep, Gone };

// An output the index did not list this time but that the snapshot or the owned list
// says the wallet held.
struct Candidate {
    OvWendrelOrdRow row;
    Outcome outcome = Outcome::Unknown;
};

struct Prepared {
    std::vector<WatchAddress> watch;
    std::vector<std::string> addresses;
    std::string word;
    std::string identity_pub;
};

bool contains(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

std::string identity_key_of_state() {
    const auto& s = wallet::wallet_state();
    return core::lower_ascii(s.identity_pub.empty() ? s.pub : s.identity_pub);
}

// Asks the index about one output: spent, moved to someone else, or still ours.
void recheck(Candidate& c, const std::vector<std::string>& addresses, const std::string& identity_pub) {
    auto vout = static_cast<std::uint32_t>(c.row.vout);
    chain::HttpResult r = chain::wallet_get(chain::ord_txo_url(c.row.txid, vout), RECHECK_TIMEOUT_S, false);
    core::Json txo;
    if (r.ok && core::parse_json(r.body, txo) && txo.is_object()) {
        if (!core::json_string(txo, "spend").empty()) {
            c.outcome = Outcome::Gone;
            return;
        }
        std::string owner = core::json_string(txo, "owner");
        if (!owner.empty() && !contains(addresses, owner)) {
            c.outcome = Outcome::Gone;
            return;
        }
        OvWendrelOrdRow fresh;
        if (row_from_txo(txo, owner.empty() ? c.row.address : owner, identity_pub, fresh) &&
            fresh.origin == c.row.origin) {
            if (fresh.name.empty()) fresh.name = c.row.name;
            if (fresh.icon.empty()) fresh.icon = c.row.icon;
            c.row = std::move(fresh);
        } else if (!owner.empty()) {
            c.row.address = owner;
        }
        c.outcome = Outcome::Keep;
        return;
    }
    // The index does not know it (yet): WhatsOnChain answers 404 for an unspent output.
    // Without a watched address to show it at, the output waits for the index.
    r = chain::wallet_get(chain::woc_tx_spent_url(c.row.txid, vout), SPENT_TIMEOUT_S, true);
    if (!r.ok) return;
    if (r.status != 404)
        c.outcome = Outcome::Gone;
    else if (!c.row.address.empty())
        c.outcome = Outcome::Keep;
}

// Step 1 and 2: the wallet, its inbox, the addresses to ask about.
std::string prepare(Prepared& p) {
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (!wallet::load_wallet()) return ERR_NO_WALLET;
        p.watch = ordinals_watch_addresses();
        for (const auto& w : p.watch) p.addresses.push_back(w.address);
        inbox_merge(p.addresses);
        if (p.addresses.empty()) return ERR_NO_WATCH;
        p.word = chain::wallet_key_word();
        p.identity_pub = identity_key_of_state();
    }
    // Outside the lock: the registry read takes the store lock, which is never taken
    // while the wallet-state lock is held.
    seed_name_cache();
    return "";
}

bool same_wallet(const std::string& word) { return wallet::load_wallet() && chain::wallet_key_word() == word; }

void add_row(std::vector<OvWendrelOrdRow>& rows, std::set<std::string>& seen, OvWendrelOrdRow r) {
    if (seen.insert(row_outpoint(r)).second) rows.push_back(std::move(r));
}

// Rows from the index replies, without outputs known to be spent. Wallet lock held.
void rows_from_replies(const Prepared& p, const std::vector<AddressReply>& replies, std::vector<OvWendrelOrdRow>& rows,
                       std::set<std::string>& seen) {
    for (std::size_t i = 0; i < replies.size(); ++i) {
        for (const core::Json* list : {&replies[i].txos, &replies[i].tokens}) {
            if (!list->is_array()) continue;
            bool tokens = list == &replies[i].tokens;
            for (const auto& txo : *list) {
                if (!core::json_string(txo, "spend").empty()) continue;
                OvWendrelOrdRow r;
                if (!row_from_txo(txo, p.addresses[i], p.identity_pub, r, tokens)) continue;
                if (chain::is_spent(r.txid, static_cast<std::uint32_t>(r.vout))) continue;
                add_row(rows, seen, std::move(r));
            }
        }
    }
}

// Outputs of the snapshot and the owned list that the index did not list. Wallet lock held.
std::vector<Candidate> candidates_for(const Snapshot& snap, const std::set<std::string>& seen,
                                      const std::vector<std::string>& addresses) {
    std::vector<Candidate> out;
    std::set<std::string> taken(seen.begin(), seen.end());
    std::set<std::string> gone(snap.gone.begin(), snap.gone.end());
    std::set<std::string> listed_origins;
    auto offer = [&](OvWendrelOrdRow r) {
        std::string op = row_outpoint(r);
        if (out.size() >= MAX_RECHECKS || gone.count(op) || taken.count(op)) return;
        if (chain::is_spent(r.txid, static_cast<std::uint32_t>(r.vout))) return;
        taken.insert(op);
        out.push_back({std::move(r), Outcome::Unknown});
    };
    for (const auto& l : snap.lots) {
        OvWendrelOrdRow r;
        r.origin = l.origin;
        r.txid = l.txid;
        r.vout = l.vout;
        r.content_type = l.type;
        r.name = l.name;
        r.icon = l.icon;
        r.address = contains(addresses, l.address) ? l.address : "";
        offer(std::move(r));
    }
    for (const auto& o : wallet::wallet_state().owned) {
        if (o.hidden || !o.token_id.empty()) continue;
        OvWendrelOrdRow r;
        std::string origin_txid;
        std::uint32_t origin_vout = 0;
        if (!parse_origin(o.origin, origin_txid, origin_vout)) continue;
        r.origin = core::lower_ascii(o.origin);
        if (r.origin.size() == 64) r.origin += "_0";
        bool own_outpoint = core::is_txid(o.txid) && o.vout >= 0 && o.vout <= 0x7fffffff;
        r.txid = own_outpoint ? core::lower_ascii(o.txid) : origin_txid;
        r.vout = own_outpoint ? static_cast<std::int32_t>(o.vout) : static_cast<std::int32_t>(origin_vout);
        r.content_type = o.type;
        r.name = o.name;
        r.icon = o.icon;
        r.address = contains(addresses, o.address) ? o.address : "";
        offer(std::move(r));
    }
    return out;
}

// Names from the owned list or the name cache, kinds from the kind cache.
void fill_from_caches(std::vector<OvWendrelOrdRow>& rows) {
    const auto& owned = wallet::wallet_state().owned;
    for (auto& r : rows) {
        if (r.name.empty()) {
            auto it = std::find_if(owned.begin(), owned.end(), [&](const wallet::OwnedEntry& o) {
                return core::lower_ascii(o.origin) == r.origin;
            });
            if (it != owned.end()) r.name = it->name;
            if (r.name.empty()) r.name = name_cache_read(r.origin);
        }
        if (r.kind.empty() && !r.credential) r.kind = kind_cache_read(r.origin);
    }
}

Snapshot next_snapshot(const Snapshot& before, const std::vector<OvWendrelOrdRow>& rows,
                       const std::vector<Candidate>& candidates) {
    Snapshot s;
    std::set<std::string> listed;
    auto lot = [&](const OvWendrelOrdRow& r) {
        SnapshotLot l;
        l.origin = r.origin;
        l.txid = r.txid;
        l.vout = r.vout;
        l.type = r.content_type;
        l.name = r.name;
        l.icon = r.icon;
        l.address = r.address;
        s.lots.push_back(std::move(l));
        listed.insert(row_outpoint(r));
        if (!contains(s.txids, r.txid)) s.txids.push_back(r.txid);
        if (!r.token_id.empty() && !contains(s.token_ids, r.token_id)) s.token_ids.push_back(r.token_id);
    };
    for (const auto& r : rows) lot(r);
    // What could not be confirmed either way stays for the next build to ask again.
    for (const auto& c : candidates)
        if (c.outcome == Outcome::Unknown) lot(c.row);
    for (const auto& g : before.gone)
        if (!listed.count(g) && !contains(s.gone, g)) s.gone.push_back(g);
    for (const auto& c : candidates)
        if (c.outcome == Outcome::Gone && !contains(s.gone, row_outpoint(c.row))) s.gone.push_back(row_outpoint(c.row));
    if (s.gone.size() > MAX_GONE) s.gone.erase(s.gone.begin(), s.gone.end() - static_cast<std::ptrdiff_t>(MAX_GONE));
    return s;
}

std::string build(std::vector<OvWendrelOrdRow>& rows_out) {
    Prepared p;
    std::string error = prepare(p);
    if (!error.empty()) return error;

    // Step 3: the index, four addresses at a time, no lock held.
    std::vector<AddressReply> replies(p.addresses.size());
    run_pool(p.watch.size(), LIST_THREADS, [&](std::size_t i) {
        const WatchAddress& w = p.watch[i];
        chain::HttpResult r = chain::wallet_get(chain::ord_address_unspent_url(w.address), INDEX_TIMEOUT_S, false);
        core::Json j;
        if (r.ok && core::parse_json(r.body, j) && j.is_array()) {
            replies[i].index_ok = true;
            replies[i].txos = std::move(j);
        }
        long token_timeout = w.ordinals ? TOKENS_TIMEOUT_ORDINALS_S : TOKENS_TIMEOUT_OTHER_S;
        r = chain::wallet_get(chain::ord_bsv20_unspent_url(w.address), token_timeout, false);
        if (r.ok && core::parse_json(r.body, j) && j.is_array()) replies[i].tokens = std::move(j);
    });
    // Step 5's network part: credentials issued by the platform.
    std::vector<IssuedCredential> issued = issued_credentials(p.addresses, p.identity_pub);

    // Step 4: rows, and the outputs whose ownership is in doubt.
    std::vector<OvWendrelOrdRow> rows;
    std::set<std::string> seen;
    std::vector<Candidate> candidates;
    Snapshot before;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (!same_wallet(p.word)) return ERR_WALLET_CHANGED;
        read_snapshot(p.word, before);
        rows_from_replies(p, replies, rows, seen);
        candidates = candidates_for(before, seen, p.addresses);
    }
    run_pool(candidates.size(), LIST_THREADS,
             [&](std::size_t i) { recheck(candidates[i], p.addresses, p.identity_pub); });

    // Steps 5 to 7: apply everything to this wallet only.
    wallet::WalletLock lock(wallet::wallet_mutex());
    if (!same_wallet(p.word)) return ERR_WALLET_CHANGED;
    for (auto& c : candidates)
        if (c.outcome == Outcome::Keep) add_row(rows, seen, c.row);
    for (auto& c : issued) {
        if (chain::is_spent(c.row.txid, static_cast<std::uint32_t>(c.row.vout))) continue;
        content_cache_store(c.row.origin, c.row.content_type, c.content);
        add_row(rows, seen, c.row);
    }
    fill_from_caches(rows);
    if (merge_owned(wallet::wallet_state().owned, rows)) wallet::save_wallet();
    write_snapshot(p.word, next_snapshot(before, rows, candidates));

    bool index_answered = std::any_of(replies.begin(), replies.end(), [](const AddressReply& r) { return r.index_ok; });
    if (!index_answered && rows.empty()) return ERR_INDEX_DOWN;
    if (!rows.empty()) {
        auto& c = list_cache();
        std::lock_guard<std::mutex> cache_lock(c.mutex);
        c.rows = rows;
        c.word = p.word;
        c.made_at = core::monotonic_ms();
    }
    rows_out = std::move(rows);
    return "";
}

bool fresh_for(const ListCache& c, const std::string& word) {
    return !c.rows.empty() && c.word == word && core::monotonic_ms() - c.made_at <= LIST_CACHE_MS;
}

}  // namespace

ListCache& list_cache() {
    static ListCache c;
    return c;
}

void reset_list_cache() {
    auto& c = list_cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.rows.clear();
    c.word.clear();
    c.made_at = 0;
}

std::string ov_wendrel_list_ordinals(std::vector<OvWendrelOrdRow>& rows, bool, bool) {
    rows.clear();
    wallet::WalletUnlocked unlocked;
    auto& c = list_cache();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        ++c.in_progress;
    }
    std::string result;
    try {
        std::lock_guard<std::mutex> build_lock(c.build_mutex);
        result = build(rows);
    } catch (...) {
        rows.clear();
        result = "error: the ordinals list could not be built.";
    }
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        --c.in_progress;
    }
    c.idle.notify_all();
    return result;
}

std::string wallet_ordinals(std::vector<OvWendrelOrdRow>& rows) {
    rows.clear();
    std::string word;
    try {
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            if (!wallet::load_wallet()) return ERR_NO_WALLET;
            word = chain::wallet_key_word();
        }
        wallet::WalletUnlocked unlocked;
        auto& c = list_cache();
        {
            std::unique_lock<std::mutex> lock(c.mutex);
            if (!fresh_for(c, word) && c.in_progress > 0) c.idle.wait(lock, [&] { return c.in_progress == 0; });
            if (fresh_for(c, word)) {
                rows = c.rows;
                return "";
            }
        }
    } catch (...) {
        rows.clear();
        return "error: the ordinals list could not be read.";
    }
    return ov_wendrel_list_ordinals(rows, true, false);
}

}  // namespace ordinals
