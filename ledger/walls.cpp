#include "ledger/walls.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/reservations.h"
#include "chain/svc.h"
#include "chain/transactions.h"
#include "chain/tx.h"
#include "chain/woc.h"
#include "core/clock.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/result.h"
#include "core/text.h"
#include "ledger/flight_cache.h"
#include "ledger/identity_checks.h"
#include "ledger/offers.h"
#include "ledger/pairs.h"
#include "ledger/request_gate.h"
#include "ledger/trust.h"
#include "wallet/document.h"
#include "wallet/state.h"

namespace ledger {

namespace {

constexpr long INDEXER_TIMEOUT_S = 8;
constexpr long WOC_HISTORY_TIMEOUT_S = 8;
// Pages of one WhatsOnChain history list (100 ids each) a read follows.
constexpr int WOC_HISTORY_PAGES = 6;
constexpr long SVC_TX_TIMEOUT_S = 6;
constexpr long WOC_TX_TIMEOUT_S = 12;
constexpr long OUT_SPENT_TIMEOUT_S = 8;
constexpr int INDEXER_PAGES = 10;
constexpr std::int64_t WEEK_S = 604800;
constexpr std::size_t MAX_TEXT_FIELD = 256;
constexpr std::int64_t FOREVER_MS = INT64_MAX / 4;

FlightCache<History>& history_cache() {
    static FlightCache<History> c;
    return c;
}

struct OwnRecord {
    std::string spot;  // lowercase
    HistoryEntry entry;
    std::int64_t kept_at_ms = 0;  // monotonic
};

struct OwnRecords {
    std::mutex mutex;
    std::deque<OwnRecord> records;
};

OwnRecords& own_records() {
    static OwnRecords o;
    return o;
}

std::string history_key(const FrameRow& row) { return row.spot + "|" + row.watch_address; }

// The history with this process's own records of the spot that it does not list yet.
// Records the history lists, and records past the window, are forgotten.
History with_own_records(const std::string& spot, const History& history) {
    std::vector<HistoryEntry> extra;
    {
        auto& o = own_records();
        std::lock_guard<std::mutex> lock(o.mutex);
        if (o.records.empty()) return history;
        std::set<std::string> listed;
        for (const auto& e : *history) listed.insert(e.txid);
        const std::int64_t now = core::monotonic_ms();
        o.records.erase(std::remove_if(o.records.begin(), o.records.end(),
                                       [&](const OwnRecord& r) {
                                           return now - r.kept_at_ms >= OWN_RECORD_WINDOW_S * 1000 ||
                                                  (r.spot == spot && listed.count(r.entry.txid) > 0);
                                       }),
                        o.records.end());
        for (const auto& r : o.records)
            if (r.spot == spot) extra.push_back(r.entry);
    }
    if (extra.empty()) return history;
    auto merged = std::make_shared<std::vector<HistoryEntry>>(*history);
    merged->insert(merged->end(), extra.begin(), extra.end());
    order_history(*merged);
    return merged;
}

FlightCache<bool>& out_spent_cache() {
    static FlightCache<bool> c;
    return c;
}

std::string str(const core::Json& r, const char* key) { return core::json_string(r, key); }

// "price" of an art_show: "-" or empty for view only, else a whole positive number of
// sats written in decimal digits. False for anything else.
bool parse_price(const std::string& text, std::int64_t& price) {
    if (text.empty() || text == "-") {
        price = -1;
        return true;
    }
    if (text.size() > 16 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const std::int64_t v = std::stoll(text);
    if (v < 1 || v > MAX_RECORD_SATS) return false;
    price = v;
    return true;
}

// price_sats of asks and accepts: a JSON integer in 1..MAX_RECORD_SATS.
bool record_sats(const core::Json& r, std::int64_t& sats) {
    const auto it = r.find("price_sats");
    if (it == r.end() || !it->is_number_integer()) return false;
    sats = signed_int(r, "price_sats");
    return sats >= 1 && sats <= MAX_RECORD_SATS;
}

bool text_fits(const core::Json& r, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (str(r, k).size() > MAX_TEXT_FIELD) return false;
    return true;
}

// Whether a's display stands before b's in the chain's order.
bool shown_first(const SpotLoad& a, const SpotLoad& b) {
    const int c = era_compare(a.shown_height, a.shown_at, b.shown_height, b.shown_at);
    return c != 0 ? c < 0 : a.show_txid < b.show_txid;
}

SpotLoad empty_spot(int frame) {
    SpotLoad s;
    s.spot = frame;
    return s;
}

// Empties the display but keeps what the frame is and whether it could be read.
void clear_display(SpotLoad& s) {
    SpotLoad e = empty_spot(s.spot);
    e.error = s.error;
    s = std::move(e);
}

bool in_cleared(const std::vector<std::pair<std::size_t, std::size_t>>& cleared, std::size_t index) {
    for (const auto& [from, to] : cleared)
        if (from <= index && index <= to) return true;
    return false;
}

bool offer_inputs(const std::string& offer, std::vector<chain::TxInput>& inputs) {
    std::string hex;
    for (char c : offer)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(static_cast<char>(std::tolower(c)));
    inputs.clear();
    if (hex.size() < 80 || hex.size() % 2) return false;
    std::vector<chain::TxOutput> outputs;
    return chain::parse_tx(core::from_hex(hex), inputs, outputs);
}

std::vector<std::string> offer_coin_ids(const std::string& offer) {
    std::vector<chain::TxInput> inputs;
    std::vector<std::string> ids;
    if (!offer_inputs(offer, inputs)) return ids;
    for (const auto& in : inputs) ids.push_back(chain::coin_id(in.txid, in.vout));
    return ids;
}

bool funded_record_sound(const HistoryEntry& e, std::string& offer, std::string& sha) {
    offer = str(e.record, "offer");
    sha = core::lower_ascii(str(e.record, "offer_sha"));
    return !sha.empty() && !e.signer.empty() && sha256_hex(offer) == sha;
}

// A placing may be this program's own that the indexers have not seen yet. Its time is
// exp less one or two weeks.
bool reserve_entry_young(const chain::ReserveEntry& e, std::int64_t now) {
    if (e.exp <= 0) return false;
    for (std::int64_t weeks = 1; weeks <= 2; ++weeks) {
        const std::int64_t placed = e.exp - weeks * WEEK_S;
        if (placed > now - RESERVE_SYNC_GRACE_S && placed <= now + RESERVE_SYNC_GRACE_S) return true;
    }
    return false;
}

}  // namespace

std::string inscription_id(const std::string& text) {
    const std::string t = core::lower_ascii(text);
    if (t.size() < 64 || !core::is_txid(std::string_view(t).substr(0, 64))) return "";
    if (t.size() == 64) return t;
    return chain::is_outpoint(t) ? t.substr(0, 64) : "";
}

std::string inscription_origin(const std::string& text) {
    const std::string t = chain::normalise_coin_id(text);
    if (t.size() == 64 && core::is_txid(t)) return t + "_0";
    return chain::is_outpoint(t) ? t : "";
}

// --- histories ----------------------------------------------------------------------

bool history_txids(const std::string& oracle, const std::string& watch_address, std::vector<std::string>& out,
                   std::string& error, const IdSink& sink) {
    out.clear();
    std::vector<std::string> indexer_ids, woc_ids[2];
    bool indexer_answered = false;
    bool woc_answered[2] = {false, false};
    // The three sources are independent; asking them at once saves two round trips.
    run_jobs(3, 3, [&](std::size_t job) {
        if (job == 0) {
            indexer_answered = chain::svc_oracle_txids(
                oracle, INDEXER_PAGES, MAX_HISTORY_TXIDS,
                [](const std::string& url, core::Json& reply) { return gated_gallery_json(url, INDEXER_TIMEOUT_S, reply); },
                indexer_ids, sink);
            return;
        }
        const std::size_t k = job - 1;
        woc_answered[k] = chain::woc_address_history(
            k == 1, watch_address, WOC_HISTORY_PAGES, MAX_HISTORY_TXIDS,
            [](const std::string& url, core::Json& reply) { return gated_gallery_json(url, WOC_HISTORY_TIMEOUT_S, reply); },
            woc_ids[k], sink);
    });
    std::set<std::string> seen;
    for (const auto* list : {&indexer_ids, &woc_ids[0], &woc_ids[1]})
        for (const auto& id : *list)
            if (out.size() < MAX_HISTORY_TXIDS && seen.insert(id).second) out.push_back(id);
    if (indexer_answered || woc_answered[0] || woc_answered[1] || !out.empty()) {
        error.clear();
        return true;
    }
    error = "OI " + oracle + " missed and WhatsOnChain missed";
    return false;
}

// The platform's copy stands in only for a transaction WhatsOnChain does not know yet.
// Its JSON cannot be checked against the txid, so only WhatsOnChain's bytes can show a
// transaction too large to be a record: a cut reply, an oversized one or one with a cut
// script is no answer here, and the read fails rather than drop a record on its word.
TxFetch platform_tx(const std::string& txid, core::Json& out) {
    const bool found = chain::svc_transaction(
        txid, [](const std::string& url, core::Json& reply) { return gated_gallery_json(url, SVC_TX_TIMEOUT_S, reply); },
        out);
    if (found && !tx_too_large(out)) return TxFetch::found;
    out = nullptr;
    return TxFetch::missed;
}

TxFetch fetch_tx_checked(const std::string& txid, core::Json& out) {
    out = nullptr;
    chain::ChainTx tx;
    switch (chain::read_transaction(txid, WOC_TX_TIMEOUT_S, static_cast<std::size_t>(MAX_GALLERY_TX_BYTES), tx)) {
    case chain::TxRead::found:
        out = chain::tx_json(tx);
        // Bytes that hash right but do not read as a transaction hold no record.
        return out.is_object() ? TxFetch::found : TxFetch::too_large;
    case chain::TxRead::too_large: return TxFetch::too_large;
    case chain::TxRead::missed: break;
    }
    return platform_tx(txid, out);
}

bool fetch_tx(const std::string& txid, core::Json& out) { return fetch_tx_checked(txid, out) == TxFetch::found; }

namespace {

// One history read: ids come in from the sources while HISTORY_FETCH_WIDTH fetchers
// take them, and a few helpers run the work records hand over (identity look-ups,
// early asks of the hook). Records are verified once every fetch is in, when the
// identity answers asked for on the way are there.
class HistoryRead {
public:
    HistoryRead(const IdSource& ids, const RecordHook& hook) : ids_(ids), hook_(hook) {}

    bool run(std::vector<HistoryEntry>& out, std::string& error) {
        const IdSink sink = [this](const std::vector<std::string>& got) { take_ids(got); };
        run_jobs(1 + HISTORY_FETCH_WIDTH + HELPERS, 1 + HISTORY_FETCH_WIDTH + HELPERS, [&](std::size_t job) {
            if (job == 0) {
                std::string e;
                const bool ok = ids_(sink, e);
                std::lock_guard<std::mutex> lock(mutex_);
                ids_done_ = true;
                ids_ok_ = ok;
                ids_error_ = e;
                changed_.notify_all();
            } else if (job <= HISTORY_FETCH_WIDTH) {
                fetch_loop();
            } else {
                helper_loop();
            }
        });
        if (!ids_ok_) {
            error = ids_error_;
            return false;
        }
        if (failed_) return false;
        return verify(out);
    }

private:
    static constexpr std::size_t HELPERS = 2;
    struct Fetched {
        std::string txid;
        core::Json tx;
        core::Json record;
        RequestDepth depth;
    };

    void take_ids(const std::vector<std::string>& got) {
        const RequestDepth d = current_depth();
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& id : got)
            if (seen_.size() < MAX_HISTORY_TXIDS && seen_.insert(id).second) ids_queue_.emplace_back(id, d);
        changed_.notify_all();
    }

    void later(std::function<void()> work) {
        const RequestDepth d = current_depth();
        std::lock_guard<std::mutex> lock(mutex_);
        work_queue_.emplace_back(std::move(work), d);
        changed_.notify_all();
    }

    void fetch_loop() {
        for (;;) {
            std::pair<std::string, RequestDepth> item;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return failed_ || !ids_queue_.empty() || ids_done_; });
                if (failed_ || ids_queue_.empty()) break;
                item = std::move(ids_queue_.front());
                ids_queue_.pop_front();
            }
            set_depth(item.second);
            Fetched f{item.first, {}, {}, {}};
            const TxFetch got = fetch_tx_checked(f.txid, f.tx);
            if (got == TxFetch::missed) {
                std::lock_guard<std::mutex> lock(mutex_);
                failed_ = true;
                changed_.notify_all();
                break;
            }
            // Larger than any posting: whatever it carries is not a gallery record.
            if (got == TxFetch::too_large || !extract_record(f.tx, f.record)) continue;
            const std::string actor = normalise_handle(core::json_string(f.record, "actor"));
            bool new_actor = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                new_actor = actor_fits(actor) && actors_.insert(actor).second;
            }
            if (new_actor) {
                later([actor] {
                    std::string key;
                    lookup_identity_key(actor, key);
                });
            }
            if (hook_) hook_(f.record, [this](std::function<void()> work) { later(std::move(work)); });
            f.depth = current_depth();
            std::lock_guard<std::mutex> lock(mutex_);
            fetched_.push_back(std::move(f));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        ++fetchers_done_;
        changed_.notify_all();
    }

    void helper_loop() {
        for (;;) {
            std::pair<std::function<void()>, RequestDepth> item;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] {
                    return !work_queue_.empty() || fetchers_done_ == static_cast<std::size_t>(HISTORY_FETCH_WIDTH);
                });
                if (work_queue_.empty()) return;
                item = std::move(work_queue_.front());
                work_queue_.pop_front();
            }
            set_depth(item.second);
            try {
                item.first();
            } catch (...) {
            }
        }
    }

    bool verify(std::vector<HistoryEntry>& out) {
        std::vector<HistoryEntry> slots(fetched_.size());
        std::vector<char> kept(fetched_.size(), 0);
        std::atomic<bool> unverified{false};
        const std::int64_t now = core::now_seconds();
        run_jobs(fetched_.size(), HISTORY_FETCH_WIDTH, [&](std::size_t i) {
            Fetched& f = fetched_[i];
            set_depth(f.depth);
            std::string signer;
            switch (check_record(f.record, signer)) {
            case RecordCheck::unverified: unverified = true; return;
            case RecordCheck::invalid: return;
            case RecordCheck::valid: break;
            }
            const std::int64_t ts = signed_int(f.record, "ts");
            const std::int64_t chain_time = tx_chain_time(f.tx, now);
            if (!time_fits(ts, chain_time)) return;
            const std::int64_t height = tx_height(f.tx);
            slots[i] = HistoryEntry{std::move(f.txid), std::move(f.record), std::move(f.tx), std::move(signer), ts,
                                    height, chain_time, {}};
            kept[i] = 1;
        });
        if (unverified) return false;
        out.clear();
        for (std::size_t i = 0; i < slots.size(); ++i)
            if (kept[i]) out.push_back(std::move(slots[i]));
        order_history(out);
        return true;
    }

    const IdSource& ids_;
    const RecordHook& hook_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::string, RequestDepth>> ids_queue_;
    std::deque<std::pair<std::function<void()>, RequestDepth>> work_queue_;
    std::set<std::string> seen_, actors_;
    std::vector<Fetched> fetched_;
    std::size_t fetchers_done_ = 0;
    bool ids_done_ = false, ids_ok_ = false, failed_ = false;
    std::string ids_error_;
};

}  // namespace

bool cached_history(const std::string& key, const IdSource& ids, const std::string& partial_error,
                    const RecordHook& hook, History& out, std::string& error) {
    std::string fetch_error;
    const bool ok = history_cache().get(
        key,
        [&](History& read) {
            auto entries = std::make_shared<std::vector<HistoryEntry>>();
            HistoryRead reader(ids, hook);
            if (!reader.run(*entries, fetch_error)) {
                if (fetch_error.empty()) fetch_error = partial_error;
                return false;
            }
            read = std::move(entries);
            return true;
        },
        [](const History&) { return HISTORY_FRESH_MS; }, out);
    if (!ok || !out) out = std::make_shared<const std::vector<HistoryEntry>>();
    error = ok ? "" : (fetch_error.empty() ? partial_error : fetch_error);
    return ok;
}

bool spot_history(const std::string& spot, const std::string& watch_address, History& out, std::string& error) {
    const int frame = frame_of_spot(spot);
    // The display's certificate and coins are asked for as soon as a showing newer than
    // any seen comes in; a history rarely holds more than a couple worth asking for.
    struct Early {
        std::mutex mutex;
        std::int64_t newest = 0;
        int asked = 0;
    };
    auto early = std::make_shared<Early>();
    const std::string spot_id = core::lower_ascii(spot);
    const RecordHook hook = [early, spot_id](const core::Json& r, const Later& later) {
        if (core::json_string(r, "type") != "art_show" || core::lower_ascii(core::json_string(r, "spot")) != spot_id)
            return;
        const std::int64_t ts = signed_int(r, "ts");
        {
            std::lock_guard<std::mutex> lock(early->mutex);
            if (ts <= early->newest || early->asked >= 2) return;
            early->newest = ts;
            ++early->asked;
        }
        const std::string cert = inscription_origin(core::json_string(r, "cert"));
        std::vector<std::string> coins;
        for (const char* k : {"pic_utxo", "cert_utxo"}) {
            const std::string c = chain::normalise_coin_id(core::json_string(r, k));
            if (chain::is_outpoint(c)) coins.push_back(c);
        }
        if (!cert.empty())
            later([cert] {
                Certificate ignored;
                std::string e;
                read_certificate(cert, ignored, e);
            });
        for (const auto& c : coins) later([c] { out_spent(c); });
    };
    if (!cached_history(
            spot + "|" + watch_address,
            [&](const IdSink& sink, std::string& e) {
                std::vector<std::string> ids;
                return history_txids(spot, watch_address, ids, e, sink);
            },
            "could not read AP" + std::to_string(frame) + "; try again", hook, out, error))
        return false;
    out = with_own_records(spot_id, out);
    return true;
}

void remember_own_record(const std::string& spot, const std::string& txid, const core::Json& record,
                         const std::string& fee_address, std::int64_t fee) {
    const int frame = frame_of_spot(spot);
    if (frame == 0) return;
    const FrameRow row = frame_row(frame);
    // Whatever is kept below, the frame has changed: its next read asks the chain again.
    history_cache().erase(history_key(row));
    const std::string id = core::lower_ascii(txid);
    if (!core::is_txid(id) || !record.is_object() || frame_of_spot(core::json_string(record, "spot")) != frame)
        return;
    // Signed by this program a moment ago, checked by sign_record as a reader would; its
    // transaction is known by what it paid.
    core::Json tx = {{"txid", id}, {"vout", core::Json::array()}};
    if (!fee_address.empty() && fee > 0)
        tx["vout"].push_back({{"valueSat", fee}, {"n", 0}, {"scriptPubKey", {{"addresses", {fee_address}}}}});
    const std::int64_t now = core::now_seconds();
    HistoryEntry e{id, record, std::move(tx), normalise_key(core::json_string(record, "pubkey")),
                   signed_int(record, "ts"), 0, now, {}};
    if (e.signer.empty() || !time_fits(e.ts, now)) return;
    {
        auto& o = own_records();
        std::lock_guard<std::mutex> lock(o.mutex);
        o.records.erase(std::remove_if(o.records.begin(), o.records.end(),
                                       [&](const OwnRecord& r) { return r.entry.txid == id; }),
                        o.records.end());
        if (o.records.size() >= MAX_OWN_RECORDS) o.records.pop_front();
        o.records.push_back(OwnRecord{row.spot, std::move(e), core::monotonic_ms()});
    }
}

std::int64_t time_after_showing(std::int64_t shown_at) {
    const std::int64_t now = core::now_seconds();
    return shown_at >= now && shown_at < MAX_RECORD_TIME ? shown_at + 1 : now;
}

std::string post_frame_record(core::Json& record, const FrameRow& row, const std::string& fee_address,
                              std::int64_t fee) {
    const std::string result = post_record(record, row.watch_address, fee_address, fee);
    if (core::is_success(result)) remember_own_record(row.spot, posted_txid(result), record, fee_address, fee);
    return result;
}

std::string posted_txid(const std::string& result) {
    const std::string head = "success: ";
    if (result.rfind(head, 0) != 0 || result.size() < head.size() + 64) return "";
    const std::string id = core::lower_ascii(result.substr(head.size(), 64));
    if (!core::is_txid(id)) return "";
    if (result.size() > head.size() + 64 && std::isxdigit(static_cast<unsigned char>(result[head.size() + 64])))
        return "";
    return id;
}

bool out_spent(const std::string& coin_id) {
    const std::string id = chain::normalise_coin_id(coin_id);
    if (!chain::is_outpoint(id)) return false;
    bool spent = false;
    const bool ok = out_spent_cache().get(
        id,
        [&](bool& answer) {
            const auto vout = static_cast<std::uint32_t>(std::stoul(id.substr(65)));
            chain::SpentAnswer got;
            {
                RequestSlot slot;
                got = chain::woc_spent_gathered(id.substr(0, 64), vout, OUT_SPENT_TIMEOUT_S);
            }
            if (got == chain::SpentAnswer::failed) return false;
            // Only a spend marks a display sold; a 404 (unspent, or a coin the service
            // does not know) leaves it as it is.
            answer = got == chain::SpentAnswer::spent;
            return true;
        },
        [](const bool& s) { return s ? FOREVER_MS : HISTORY_FRESH_MS; }, spent);
    return ok && spent;
}

bool out_spent_known(const std::string& coin_id) {
    const std::string id = chain::normalise_coin_id(coin_id);
    return !chain::is_outpoint(id) || out_spent_cache().fresh(id);
}

// --- replay -------------------------------------------------------------------------

bool parse_show(const HistoryEntry& e, SpotLoad& d) {
    const core::Json& r = e.record;
    if (!text_fits(r, {"handle", "pay_addr", "price", "pic_utxo", "cert_utxo", "pic", "cert", "sha256"})) return false;
    std::int64_t price = -1;
    if (!parse_price(str(r, "price"), price)) return false;
    const std::int64_t exp = signed_int(r, "exp");
    if (exp < 0 || exp > MAX_RECORD_TIME) return false;
    SpotLoad out = empty_spot(d.spot);
    out.pic_utxo = chain::normalise_coin_id(str(r, "pic_utxo"));
    out.cert_utxo = chain::normalise_coin_id(str(r, "cert_utxo"));
    const std::string pic_text = str(r, "pic"), cert_text = str(r, "cert");
    out.pic = inscription_id(pic_text);
    out.cert = inscription_id(cert_text);
    const std::string pic_coin = chain::normalise_coin_id(pic_text), cert_coin = chain::normalise_coin_id(cert_text);
    if (out.pic_utxo.empty() && chain::is_outpoint(pic_coin)) out.pic_utxo = pic_coin;
    if (out.cert_utxo.empty() && chain::is_outpoint(cert_coin)) out.cert_utxo = cert_coin;
    out.pic_origin = inscription_origin(pic_text);
    out.cert_origin = inscription_origin(cert_text);
    out.sha256 = core::lower_ascii(str(r, "sha256"));
    out.owner = e.signer;
    // The name shown is the one the registry vouched for, not the record's own "handle".
    out.handle = normalise_handle(str(r, "actor"));
    out.pay_addr = str(r, "pay_addr");
    out.price = price;
    out.exp = exp;
    out.shown_at = e.ts;
    out.shown_height = e.height;
    out.show_txid = e.txid;
    d = std::move(out);
    return true;
}

DisplayPass replay_display(int frame, const std::vector<HistoryEntry>& history, std::int64_t now,
                           const TitleAt& title_at) {
    DisplayPass p;
    p.display = empty_spot(frame);
    SpotLoad& d = p.display;
    const std::string spot = frame_row(frame).spot;
    for (std::size_t i = 0; i < history.size(); ++i) {
        const HistoryEntry& e = history[i];
        if (core::lower_ascii(str(e.record, "spot")) != spot) continue;
        const std::string type = str(e.record, "type");
        if (type == "art_show") {
            // The frame is taken while a display stands there; a writer's clock cannot
            // end it early.
            if (d.shown && effective_time(e) < d.exp) continue;
            SpotLoad parsed = empty_spot(frame);
            if (!parse_show(e, parsed) || parsed.owner.empty() || parsed.pic.size() != 64 ||
                parsed.cert.size() != 64 || !core::is_hex(parsed.sha256, 64))
                continue;
            if (show_weeks(parsed.shown_at, parsed.exp) == 0 || !payment_sound(e.record, e.transaction)) continue;
            std::string holder;
            if (!title_at || !title_at(parsed.pic, e, holder)) {
                p.title_unread = true;
                continue;
            }
            if (holder != parsed.owner) continue;
            d = std::move(parsed);
            d.shown = true;
            p.hidden = false;
            p.show_index = i;
        } else if (type == "art_hide") {
            if (d.shown && inscription_id(str(e.record, "pic")) == d.pic && e.signer == d.owner) {
                d.shown = false;
                p.hidden = true;
            }
        } else if (type == "art_gclear") {
            if (!d.pic.empty() && is_architect(e.signer)) {
                if (p.show_index != SIZE_MAX) p.cleared.emplace_back(p.show_index, i);
                d = empty_spot(frame);
                p.hidden = false;
                p.show_index = SIZE_MAX;
            }
        }
    }
    if (!p.hidden && !(d.shown && now < d.exp)) {
        d = empty_spot(frame);
        p.show_index = SIZE_MAX;
    }
    return p;
}

TitleAt chain_title_at() {
    return [](const std::string& pic, const HistoryEntry& at, std::string& owner) {
        return title_owner_at(pic, at, owner);
    };
}

namespace {

void read_certificate_fields(SpotLoad& s) {
    Certificate kept;
    std::string error;
    if (!read_certificate(s.cert_origin.empty() ? s.cert : s.cert_origin, kept, error)) return;
    const core::Json& cert = *kept;
    // A value that is not a text ends the reading: it and the fields after it stay empty.
    std::string* fields[] = {&s.title, &s.artist_name, &s.created, &s.note, &s.owner_paymail};
    const char* keys[] = {"title", "artist_name", "created", "note", "owner_paymail"};
    for (std::size_t i = 0; i < 5; ++i) {
        if (!cert.contains(keys[i])) continue;
        if (!cert[keys[i]].is_string()) return;
        *fields[i] = core::cut_utf8(cert[keys[i]].get<std::string>(), 4096);
    }
}

// The display's sale records: those of its frame that stand no earlier than its art_show
// in the chain's order (one block's same second counts as no earlier).
void sale_pass(SpotLoad& s, const std::vector<HistoryEntry>& history, std::size_t show_index) {
    if (show_index >= history.size()) return;
    const HistoryEntry& show = history[show_index];
    const std::string spot = frame_row(s.spot).spot;
    for (std::size_t i = 0; i < history.size(); ++i) {
        const HistoryEntry& e = history[i];
        if (i == show_index || era_compare(e, show) < 0) continue;
        if (core::lower_ascii(str(e.record, "spot")) != spot) continue;
        const std::string type = str(e.record, "type");
        if (type != "art_gfunded" && inscription_id(str(e.record, "pic")) != s.pic) continue;
        if (type == "art_gask") {
            std::int64_t sats = 0;
            if (!record_sats(e.record, sats) || sats != s.price || !text_fits(e.record, {"buyer_ord", "handle"}))
                continue;
            AskEntry a{e.txid, normalise_key(str(e.record, "buyer")), str(e.record, "buyer_ord"),
                       normalise_handle(str(e.record, "actor")), sats, e.ts};
            if (!a.buyer.empty() && a.buyer == e.signer) s.asks.push_back(std::move(a));
        } else if (type == "art_gaccept") {
            std::int64_t sats = 0;
            if (e.signer != s.owner || !record_sats(e.record, sats) || sats != s.price) continue;
            const std::string title = str(e.record, "title_json");
            if (sha256_hex(title) != core::lower_ascii(str(e.record, "title_sha"))) continue;
            s.accepts.push_back(AcceptEntry{e.txid, normalise_key(str(e.record, "buyer")), title, sats, e.ts});
        } else if (type == "art_gfunded") {
            // Only a buyer the owner accepted can fund, and only with this display's
            // coins: anything else never marks the piece paid or sold.
            std::string offer, sha;
            if (!funded_record_sound(e, offer, sha)) continue;
            if (std::none_of(s.accepts.begin(), s.accepts.end(),
                             [&](const AcceptEntry& a) { return a.buyer == e.signer; }))
                continue;
            std::vector<chain::TxInput> inputs;
            if (!offer_inputs(offer, inputs) || inputs.size() < 3 || inputs.size() > MAX_OFFER_INPUTS) continue;
            if (chain::coin_id(inputs[0].txid, inputs[0].vout) != s.pic_utxo ||
                chain::coin_id(inputs[1].txid, inputs[1].vout) != s.cert_utxo)
                continue;
            const int status = offer_status(offer);
            if (status == 3) s.sold = true;
            if (status == 1) s.funded.push_back(FundedEntry{e.txid, offer, sha, e.ts, e.signer});
        }
    }
}

// Whether the offer's own transaction is on chain: one transaction spent a buyer's
// (signed) input and an artwork (unsigned) input. An unspent buyer coin settles it
// without asking about the artwork.
bool offer_taken(const std::vector<chain::TxInput>& inputs) {
    std::set<std::string> buyer_spenders;
    for (const auto& in : inputs) {
        if (in.unlocking_script.empty()) continue;
        const std::string by = coin_spent_by(chain::coin_id(in.txid, in.vout));
        if (by.empty()) return false;
        buyer_spenders.insert(by);
    }
    if (buyer_spenders.empty()) return false;
    for (const auto& in : inputs)
        if (in.unlocking_script.empty() && buyer_spenders.count(coin_spent_by(chain::coin_id(in.txid, in.vout))) > 0)
            return true;
    return false;
}

// This wallet's coins held by its own offers on this frame whose display has ended
// (replaced, hidden, cleared, expired or its title gone elsewhere) without the sale
// leave the offer locks. An offer counts as live while the frame still shows the
// display it was funded on. Only offers whose coins the locks file still lists cost
// any request, so a frame is read as fast as before once its locks are gone.
void release_ended_offers(const FrameRow& row, const std::vector<HistoryEntry>& history, const SpotLoad& result,
                          const DisplayPass& pass) {
    std::vector<const HistoryEntry*> ended;
    for (const HistoryEntry& e : history) {
        if (str(e.record, "type") != "art_gfunded" || core::lower_ascii(str(e.record, "spot")) != row.spot) continue;
        if (result.shown && !pass.hidden && pass.show_index < history.size() &&
            era_compare(e, history[pass.show_index]) >= 0)
            continue;
        ended.push_back(&e);
    }
    if (ended.empty()) return;
    std::string me;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        me = normalise_key(wallet::wallet_identity_key());
    }
    if (me.empty()) return;
    std::vector<std::string> held;
    std::string error;
    // An unreadable locks file is left as it is: it keeps every coin locked until mended.
    if (!chain::read_offer_locks(held, error) || held.empty()) return;
    const std::set<std::string> locked(held.begin(), held.end());
    std::vector<std::string> release;
    for (const HistoryEntry* e : ended) {
        std::string offer, sha;
        std::vector<chain::TxInput> inputs;
        if (e->signer != me || !funded_record_sound(*e, offer, sha) || !offer_inputs(offer, inputs) ||
            inputs.size() > MAX_OFFER_INPUTS)
            continue;
        std::vector<std::string> mine;
        for (const auto& in : inputs) {
            const std::string id = chain::coin_id(in.txid, in.vout);
            if (!in.unlocking_script.empty() && locked.count(id) > 0) mine.push_back(id);
        }
        if (mine.empty() || offer_taken(inputs)) continue;
        release.insert(release.end(), mine.begin(), mine.end());
    }
    // Removed as the file holds them then; a failure is tried again at the next read.
    if (!release.empty()) chain::remove_offer_locks(release, error);
}

}  // namespace

SpotLoad load_spot(int index, std::int64_t now) {
    const FrameRow row = frame_row(index + 1);
    SpotLoad result = empty_spot(row.number);
    History kept;
    if (!spot_history(row.spot, row.watch_address, kept, result.error)) return result;
    const std::vector<HistoryEntry>& history = *kept;
    DisplayPass pass = replay_display(row.number, history, now, chain_title_at());
    if (pass.title_unread) {
        // A display may stand here that could not be checked: the frame is not known.
        result.error = "could not read AP" + std::to_string(row.number) + "; try again";
        return result;
    }
    result = std::move(pass.display);

    // Voided offers: coins a buyer put into an offer on a display a curator cleared.
    for (std::size_t i = 0; i < history.size(); ++i) {
        const HistoryEntry& e = history[i];
        if (str(e.record, "type") != "art_gfunded" || core::lower_ascii(str(e.record, "spot")) != row.spot) continue;
        if (!in_cleared(pass.cleared, i)) continue;
        std::string offer, sha;
        if (!funded_record_sound(e, offer, sha)) continue;
        const auto ids = offer_coin_ids(offer);
        std::string ignored;  // an unreadable locks file stays as it is; the next read tries again
        if (!ids.empty()) chain::remove_offer_locks(ids, ignored);
    }

    // The certificate, the two coin checks and the sale pass do not depend on one
    // another; their requests go out together. Usually the history read asked for them
    // already, and a funded offer is rare: then no thread is worth starting.
    const bool need_cert = result.shown || pass.hidden;
    const bool known = (!need_cert || certificate_known(result.cert_origin.empty() ? result.cert : result.cert_origin)) &&
                       (!result.shown || (out_spent_known(result.pic_utxo) && out_spent_known(result.cert_utxo))) &&
                       std::none_of(history.begin(), history.end(), [&](const HistoryEntry& e) {
                           return str(e.record, "type") == "art_gfunded";
                       });
    bool pic_spent = false, cert_spent = false;
    run_jobs(4, known ? 1 : 4, [&](std::size_t job) {
        switch (job) {
        case 0:
            if (need_cert) read_certificate_fields(result);
            break;
        case 1:
            if (result.shown && !result.pic_utxo.empty()) pic_spent = out_spent(result.pic_utxo);
            break;
        case 2:
            if (result.shown && !result.cert_utxo.empty()) cert_spent = out_spent(result.cert_utxo);
            break;
        case 3:
            if (!result.pic.empty()) sale_pass(result, history, pass.show_index);
            break;
        }
    });
    if (result.shown && (pic_spent || cert_spent)) result.sold = true;

    if (!result.pic.empty()) {
        if (!result.funded.empty()) {
            if (title_holds(result))
                result.shown = true;
            else
                clear_display(result);
        } else if (!result.shown && !title_holds(result)) {
            clear_display(result);
        }
    }
    release_ended_offers(row, history, result, pass);
    return result;
}

std::string shown_pic(int index, std::int64_t now) {
    const FrameRow row = frame_row(index + 1);
    History history;
    std::string error;
    if (!spot_history(row.spot, row.watch_address, history, error)) return "";
    DisplayPass pass = replay_display(row.number, *history, now, chain_title_at());
    return pass.display.shown ? pass.display.pic : "";
}

void sync_reserve(const std::array<SpotLoad, FRAME_COUNT>& walls, const std::array<bool, FRAME_COUNT>& read,
                  std::int64_t now) {
    std::set<std::string> stale;
    std::vector<chain::ReserveEntry> current;
    std::string error;
    // An unreadable reserve is left alone: it keeps every coin reserved until it is mended.
    if (!chain::read_reserve_entries(current, error)) return;
    for (int i = 0; i < FRAME_COUNT; ++i) {
        if (!read[static_cast<std::size_t>(i)]) continue;
        for (const auto& e : current) {
            if (e.spot != i + 1 || e.pic.empty() || !chain::reserve_entry_live(e, now)) continue;
            const SpotLoad& s = walls[static_cast<std::size_t>(i)];
            const std::string pic = inscription_id(e.pic).empty() ? core::lower_ascii(e.pic) : inscription_id(e.pic);
            if ((!s.shown || s.pic != pic) && !reserve_entry_young(e, now)) stale.insert(pic);
            break;  // the first live entry of the frame speaks for it
        }
    }
    if (stale.empty()) return;
    // Changed as the file holds it then: another operation may have written it meanwhile.
    chain::update_reserve_entries(
        [&](std::vector<chain::ReserveEntry>& entries) {
            const std::size_t before = entries.size();
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const chain::ReserveEntry& e) {
                                             const std::string id = inscription_id(e.pic);
                                             return stale.count(id.empty() ? core::lower_ascii(e.pic) : id) > 0 &&
                                                    !reserve_entry_young(e, now);
                                         }),
                          entries.end());
            return entries.size() != before;
        },
        error);
}

void load_walls(std::string& error, std::array<SpotLoad, FRAME_COUNT>& walls) {
    error.clear();
    const std::int64_t now = core::now_seconds();
    // The frames' histories not held fresh, and the title trails', are asked in two bulk
    // calls rather than two calls an address.
    std::vector<std::string> stale;
    for (int f = 1; f <= FRAME_COUNT; ++f) {
        const FrameRow row = frame_row(f);
        if (!history_cache().fresh(history_key(row))) stale.push_back(row.watch_address);
    }
    if (stale.size() > 1) {
        for (const std::string* a : {&core::profile().ocp_address, &core::profile().oao_address})
            if (!a->empty()) stale.push_back(*a);
        chain::woc_prefetch_histories(stale, WOC_HISTORY_TIMEOUT_S);
    }
    run_jobs(FRAME_COUNT, FRAME_COUNT, [&](std::size_t i) {
        walls[i] = load_spot(static_cast<int>(i), now);
    });
    for (const auto& s : walls)
        if (error.empty() && !s.error.empty()) error = s.error;
    // One artwork on one wall: a display whose coins have moved (sold, its closing notice
    // not yet read) gives way to the new holder's; otherwise the first display in the
    // chain's order stays, so a later showing cannot push an owner's display aside.
    for (std::size_t j = 0; j < walls.size(); ++j) {
        for (std::size_t k = 0; k < j; ++k) {
            if (!walls[j].shown || !walls[k].shown || walls[j].pic != walls[k].pic) continue;
            const bool j_stays =
                walls[j].sold != walls[k].sold ? walls[k].sold : shown_first(walls[j], walls[k]);
            clear_display(j_stays ? walls[k] : walls[j]);
        }
    }
    std::array<bool, FRAME_COUNT> read{};
    for (std::size_t i = 0; i < walls.size(); ++i) read[i] = walls[i].error.empty();
    sync_reserve(walls, read, now);
}

void reset_wall_caches() {
    history_cache().clear();
    {
        auto& o = own_records();
        std::lock_guard<std::mutex> lock(o.mutex);
        o.records.clear();
    }
    out_spent_cache().clear();
    chain::reset_woc_state();
    reset_offer_caches();
    reset_pair_caches();
}

}  // namespace ledger
