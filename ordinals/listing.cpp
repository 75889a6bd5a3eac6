#include "ordinals/listing.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <set>

#include "chain/coin_state.h"
#include "chain/http.h"
#include "chain/ord_index.h"
#include "chain/woc.h"
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

// What the index said about one address: whether it answered, and the rows of the
// unspent txos it listed (JSON replies are turned into rows as they arrive, so at
// most one reply per pool thread is held at a time).
struct AddressReply {
    bool index_ok = false;
    std::vector<OvWendrelOrdRow> rows;
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
    chain::OrdTxo txo;
    if (chain::ord_txo(c.row.txid, vout, RECHECK_TIMEOUT_S, txo)) {
        if (!txo.spend.empty()) {
            c.outcome = Outcome::Gone;
            return;
        }
        const std::string& owner = txo.owner;
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
    switch (chain::woc_spent(c.row.txid, vout, SPENT_TIMEOUT_S)) {
    case chain::SpentAnswer::failed: return;
    case chain::SpentAnswer::spent: c.outcome = Outcome::Gone; return;
    case chain::SpentAnswer::not_found: break;
    }
    if (c.row.address.empty()) return;
    // That 404 is also the answer for a transaction WhatsOnChain has never seen: only an
    // output it can show is held. Any other stays unlisted and is asked about again by
    // the next build (a transaction just sent may not have reached the service yet).
    if (chain::woc_output_exists(c.row.txid, vout, SPENT_TIMEOUT_S)) c.outcome = Outcome::Keep;
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
    // Outside the wallet-state lock: it reads other wallets' files and needs no state
    // of this one.
    seed_name_cache();
    return "";
}

bool same_wallet(const std::string& word) { return wallet::load_wallet() && chain::wallet_key_word() == word; }

void add_row(std::vector<OvWendrelOrdRow>& rows, std::set<std::string>& seen, OvWendrelOrdRow r) {
    if (rows.size() >= MAX_LIST_ROWS) return;
    if (seen.insert(row_outpoint(r)).second) rows.push_back(std::move(r));
}

// Rows of the unspent txos of one index reply, while the shared budget lasts.
void take_txos(const std::vector<chain::OrdTxo>& list, bool tokens, const std::string& address,
               const std::string& identity_pub, std::atomic<std::size_t>& budget, std::vector<OvWendrelOrdRow>& out) {
    for (const auto& txo : list) {
        if (!txo.spend.empty()) continue;
        OvWendrelOrdRow r;
        if (!row_from_txo(txo, address, identity_pub, r, tokens)) continue;
        std::size_t left = budget.load();
        do {
            if (left == 0) return;
        } while (!budget.compare_exchange_weak(left, left - 1));
        out.push_back(std::move(r));
    }
}

// Rows from the index replies, without outputs known to be spent. Wallet lock held.
void rows_from_replies(std::vector<AddressReply>& replies, std::vector<OvWendrelOrdRow>& rows,
                       std::set<std::string>& seen) {
    for (auto& reply : replies)
        for (auto& r : reply.rows)
            if (!chain::is_spent(r.txid, static_cast<std::uint32_t>(r.vout))) add_row(rows, seen, std::move(r));
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

// Names from the owned list or the name cache, kinds from the kind cache (read once
// for all rows).
void fill_from_caches(std::vector<OvWendrelOrdRow>& rows) {
    std::map<std::string, const wallet::OwnedEntry*> owned;
    for (const auto& o : wallet::wallet_state().owned) owned.emplace(core::lower_ascii(o.origin), &o);
    const core::Json kinds = kind_cache_load();
    for (auto& r : rows) {
        if (r.name.empty()) {
            auto it = owned.find(r.origin);
            if (it != owned.end()) r.name = it->second->name;
            if (r.name.empty()) r.name = name_cache_read(r.origin);
        }
        if (r.kind.empty() && !r.credential) r.kind = kind_cache_lookup(kinds, r.origin);
    }
}

Snapshot next_snapshot(const Snapshot& before, const std::vector<OvWendrelOrdRow>& rows,
                       const std::vector<Candidate>& candidates) {
    Snapshot s;
    std::set<std::string> listed, txids, token_ids, gone;
    auto once = [](std::set<std::string>& set, std::vector<std::string>& list, const std::string& v) {
        if (set.insert(v).second) list.push_back(v);
    };
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
        once(txids, s.txids, r.txid);
        if (!r.token_id.empty()) once(token_ids, s.token_ids, r.token_id);
    };
    for (const auto& r : rows) lot(r);
    // What could not be confirmed either way stays for the next build to ask again.
    for (const auto& c : candidates)
        if (c.outcome == Outcome::Unknown) lot(c.row);
    // Only the newest MAX_GONE of the file's list can survive the trim below.
    const std::size_t skip = before.gone.size() > MAX_GONE ? before.gone.size() - MAX_GONE : 0;
    for (std::size_t i = skip; i < before.gone.size(); ++i)
        if (!listed.count(before.gone[i])) once(gone, s.gone, before.gone[i]);
    for (const auto& c : candidates)
        if (c.outcome == Outcome::Gone) once(gone, s.gone, row_outpoint(c.row));
    if (s.gone.size() > MAX_GONE) s.gone.erase(s.gone.begin(), s.gone.end() - static_cast<std::ptrdiff_t>(MAX_GONE));
    return s;
}

// word receives the wallet key word once the wallet is known.
std::string build(std::vector<OvWendrelOrdRow>& rows_out, std::string& word) {
    Prepared p;
    std::string error = prepare(p);
    if (!error.empty()) return error;
    word = p.word;

    // Step 3: the index, four addresses at a time, no lock held.
    std::vector<AddressReply> replies(p.addresses.size());
    std::atomic<std::size_t> budget{MAX_LIST_ROWS};
    run_pool(p.watch.size(), LIST_THREADS, [&](std::size_t i) {
        const WatchAddress& w = p.watch[i];
        std::vector<chain::OrdTxo> txos;
        if (chain::ord_unspent_txos(w.address, INDEX_TIMEOUT_S, txos, MAX_LIST_ROWS)) {
            replies[i].index_ok = true;
            take_txos(txos, false, w.address, p.identity_pub, budget, replies[i].rows);
        }
        const long token_timeout = w.ordinals ? TOKENS_TIMEOUT_ORDINALS_S : TOKENS_TIMEOUT_OTHER_S;
        if (chain::ord_token_txos(w.address, token_timeout, txos))
            take_txos(txos, true, w.address, p.identity_pub, budget, replies[i].rows);
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
        rows_from_replies(replies, rows, seen);
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

// One build. The caller has raised the in-progress count (under the cache mutex, in
// the same step that found no build to wait for); this lowers it and publishes the
// outcome to the callers waiting on it.
std::string run_build(std::vector<OvWendrelOrdRow>& rows) {
    auto& c = list_cache();
    std::string result, word;
    try {
        std::lock_guard<std::mutex> build_lock(c.build_mutex);
        result = build(rows, word);
    } catch (...) {
        rows.clear();
        result = "error: the ordinals list could not be built.";
    }
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        --c.in_progress;
        ++c.finished;
        c.last_word = word;
        c.last_result = result;
        try {
            c.last_rows = rows;
        } catch (...) {
            c.last_word.clear();  // no copy: nobody may take this outcome
        }
    }
    c.idle.notify_all();
    return result;
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
    c.last_word.clear();
    c.last_result.clear();
    c.last_rows.clear();
}

std::string ov_wendrel_list_ordinals(std::vector<OvWendrelOrdRow>& rows, bool, bool) {
    rows.clear();
    wallet::WalletUnlocked unlocked;
    auto& c = list_cache();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        ++c.in_progress;
    }
    return run_build(rows);
}

std::string wallet_ordinals(std::vector<OvWendrelOrdRow>& rows) {
    rows.clear();
    std::string word;
    try {
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (!wallet::load_wallet()) return ERR_NO_WALLET;
        word = chain::wallet_key_word();
    } catch (...) {
        return ERR_NO_WALLET;
    }
    wallet::WalletUnlocked unlocked;
    auto& c = list_cache();
    try {
        std::unique_lock<std::mutex> lock(c.mutex);
        for (;;) {
            if (fresh_for(c, word)) {
                rows = c.rows;
                return "";
            }
            if (c.in_progress == 0) break;
            // A build is running: its outcome, whatever it is, is this caller's too.
            const std::uint64_t seen = c.finished;
            ++c.waiting;
            c.idle.wait(lock, [&] { return c.finished != seen; });
            --c.waiting;
            if (!c.last_word.empty() && c.last_word == word) {
                rows = c.last_rows;
                return c.last_result;
            }
        }
        // Raised before the cache mutex is let go, so a second caller waits for this build.
        ++c.in_progress;
    } catch (...) {
        rows.clear();
        return "error: the ordinals list could not be read.";
    }
    return run_build(rows);
}

}  // namespace ordinals
