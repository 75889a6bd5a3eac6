#include "chain/woc.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "chain/endpoints.h"
#include "chain/gather.h"
#include "chain/http.h"
#include "chain/tx.h"
#include "core/clock.h"
#include "core/hex.h"

namespace chain {

namespace {

// A bulk call is retried on 429 this many times in all.
constexpr int BULK_ATTEMPTS = 4;

const core::Json* history_list(const core::Json& reply) {
    if (reply.is_array()) return &reply;
    if (reply.is_object() && reply.contains("result") && reply["result"].is_array()) return &reply["result"];
    return nullptr;
}

// The bulk reply's row for address, or null.
const core::Json* row_of(const core::Json& reply, const std::string& address) {
    for (const auto& row : reply)
        if (row.is_object() && core::json_string(row, "address") == address) return &row;
    return nullptr;
}

// Up to WOC_BULK_CAP addresses from from on.
std::vector<std::string> bulk_slice(const std::vector<std::string>& addresses, std::size_t from) {
    const std::size_t end = std::min(from + WOC_BULK_CAP, addresses.size());
    return std::vector<std::string>(addresses.begin() + static_cast<std::ptrdiff_t>(from),
                                    addresses.begin() + static_cast<std::ptrdiff_t>(end));
}

// One bulk history call: its reply as an array, or false with why not.
bool bulk_history(bool confirmed, const std::vector<std::string>& batch, long timeout_s, core::Json& reply,
                  std::string& error) {
    const HttpResult r = wallet_post_json(woc_addresses_history_url(confirmed),
                                          core::dump_compact({{"addresses", batch}}), timeout_s, BULK_ATTEMPTS);
    if (r.ok && core::parse_json(r.body, reply) && reply.is_array()) return true;
    error = r.ok ? "WhatsOnChain history reply did not read" : r.error;
    return false;
}

// First pages of histories read in bulk, by "c|" or "u|" + address, each taken once.
struct Prefetched {
    std::mutex mutex;
    std::map<std::string, std::pair<core::Json, std::int64_t>> replies;  // reply, read at (monotonic ms)
};

Prefetched& prefetched() {
    static Prefetched p;
    return p;
}

std::string prefetch_key(bool confirmed, const std::string& address) { return (confirmed ? "c|" : "u|") + address; }

bool take_prefetched(bool confirmed, const std::string& address, core::Json& out) {
    Prefetched& p = prefetched();
    std::lock_guard<std::mutex> lock(p.mutex);
    const auto it = p.replies.find(prefetch_key(confirmed, address));
    if (it == p.replies.end()) return false;
    const bool fresh = core::monotonic_ms() - it->second.second < WOC_PREFETCH_FRESH_MS;
    if (fresh) out = std::move(it->second.first);
    p.replies.erase(it);
    return fresh;
}

// Spent and raw-transaction questions from many threads, sent together.
using SpentQuestion = std::pair<std::string, std::uint32_t>;
Gatherer<SpentQuestion, SpentAnswer>& spent_gather() {
    static Gatherer<SpentQuestion, SpentAnswer> g(WOC_BULK_CAP);
    return g;
}

// Until when (monotonic ms) the raw route counts as down after a call got no answer.
std::atomic<std::int64_t>& raw_down_until() {
    static std::atomic<std::int64_t> until{0};
    return until;
}

Gatherer<std::string, RawAnswer>& raw_gather() {
    static Gatherer<std::string, RawAnswer> g(WOC_BULK_CAP);
    return g;
}

RawAnswer raw_item(const core::Json& item, const std::string& txid) {
    RawAnswer a;
    if (!core::json_string(item, "error").empty()) {
        a.state = RawState::unknown;
        return a;
    }
    ChainTx& tx = a.tx;
    tx.txid = txid;
    const std::int64_t height = core::json_int(item, "blockheight", 0);
    const std::int64_t time = core::json_int(item, "blocktime", 0);
    if (!core::from_hex(core::json_string(item, "hex"), tx.raw) || !raw_matches_txid(tx.raw, txid)) return a;
    tx.height = height > 0 ? height : 0;
    tx.block_time = tx.height > 0 && time > 0 ? time : 0;
    a.state = RawState::found;
    return a;
}

std::vector<SpentAnswer> ask_spent(const std::vector<std::pair<std::string, std::uint32_t>>& outputs, long timeout_s) {
    std::vector<SpentAnswer> answers(outputs.size(), SpentAnswer::failed);
    core::Json list = core::Json::array();
    for (const auto& [txid, vout] : outputs) list.push_back({{"txid", txid}, {"vout", vout}});
    const HttpResult r = wallet_post_json(woc_utxos_spent_url(), core::dump_compact({{"utxos", list}}), timeout_s,
                                          BULK_ATTEMPTS);
    core::Json reply;
    if (!r.ok || !core::parse_json(r.body, reply) || !reply.is_array()) return answers;
    for (const auto& item : reply) {
        if (!item.is_object() || !item.contains("utxo") || !item["utxo"].is_object()) continue;
        const std::string txid = core::lower_ascii(core::json_string(item["utxo"], "txid"));
        const std::int64_t vout = core::json_int(item["utxo"], "vout", -1);
        const bool spent = item.contains("spentIn") && item["spentIn"].is_object() &&
                           core::is_txid(core::json_string(item["spentIn"], "txid"));
        for (std::size_t k = 0; k < outputs.size(); ++k)
            if (outputs[k].first == txid && static_cast<std::int64_t>(outputs[k].second) == vout)
                answers[k] = spent ? SpentAnswer::spent : SpentAnswer::not_found;
    }
    return answers;
}

}  // namespace

void woc_prefetch_histories(const std::vector<std::string>& addresses, long timeout_s) {
    for (std::size_t b = 0; b < addresses.size(); b += WOC_BULK_CAP) {
        const std::vector<std::string> batch = bulk_slice(addresses, b);
        for (const bool confirmed : {true, false}) {
            core::Json reply;
            std::string ignored;  // the addresses are asked alone instead
            if (!bulk_history(confirmed, batch, timeout_s, reply, ignored)) continue;
            const std::int64_t now = core::monotonic_ms();
            Prefetched& p = prefetched();
            std::lock_guard<std::mutex> lock(p.mutex);
            for (const std::string& address : batch) {
                const core::Json* row = row_of(reply, address);
                if (!row || !core::json_string(*row, "error").empty() || !history_list(*row)) continue;
                p.replies[prefetch_key(confirmed, address)] = {*row, now};
            }
        }
    }
}

void woc_forget_prefetched() {
    Prefetched& p = prefetched();
    std::lock_guard<std::mutex> lock(p.mutex);
    p.replies.clear();
}

std::size_t woc_history_ids(const core::Json& reply, std::vector<std::string>& out, std::set<std::string>& seen,
                            std::size_t max) {
    const core::Json* list = history_list(reply);
    if (!list) return 0;
    std::size_t added = 0;
    for (const auto& item : *list) {
        if (out.size() >= max) break;
        if (!item.is_object()) continue;
        const std::string id = core::lower_ascii(core::json_string(item, "tx_hash"));
        if (core::is_txid(id) && seen.insert(id).second) {
            out.push_back(id);
            ++added;
        }
    }
    return added;
}

bool woc_address_history(bool confirmed, const std::string& address, int max_pages, std::size_t max_ids,
                         const JsonGetter& get, std::vector<std::string>& out, const IdsSink& sink) {
    auto url = [&](const std::string& token) {
        return confirmed ? woc_address_confirmed_history_url(address, token)
                         : woc_address_unconfirmed_history_url(address, 0, token);
    };
    const std::string first = url("");
    if (first.empty()) return false;
    core::Json reply;
    if (!take_prefetched(confirmed, address, reply) && (!get(first, reply) || !history_list(reply))) return false;
    std::set<std::string> seen;
    std::string previous;
    for (int page = 0;; ++page) {
        const std::size_t before = out.size();
        const std::size_t added = woc_history_ids(reply, out, seen, max_ids);
        if (sink && added > 0) sink(std::vector<std::string>(out.begin() + static_cast<std::ptrdiff_t>(before), out.end()));
        const std::string token = core::json_string(reply, "nextPageToken");
        if (added == 0 || token.empty() || token == previous || page + 1 >= max_pages || out.size() >= max_ids) break;
        previous = token;
        if (!get(url(token), reply) || !history_list(reply)) break;
    }
    return true;
}

bool woc_addresses_used(const std::vector<std::string>& addresses, long timeout_s, std::vector<bool>& used,
                        std::string& error) {
    used.assign(addresses.size(), false);
    error.clear();
    for (std::size_t b = 0; b < addresses.size(); b += WOC_BULK_CAP) {
        const std::vector<std::string> batch = bulk_slice(addresses, b);
        const std::size_t end = b + batch.size();
        for (const bool confirmed : {false, true}) {
            core::Json reply;
            if (!bulk_history(confirmed, batch, timeout_s, reply, error)) return false;
            for (std::size_t k = b; k < end; ++k) {
                const core::Json* row = row_of(reply, addresses[k]);
                if (!row) {
                    error = "WhatsOnChain history reply left out an address";
                    return false;
                }
                const core::Json* list = history_list(*row);
                if (list && !list->empty()) used[k] = true;
            }
        }
    }
    return true;
}

std::int64_t woc_balance(const std::string& address, long timeout_s) {
    std::int64_t total = 0;
    for (const bool confirmed : {true, false}) {
        const std::string url =
            confirmed ? woc_address_confirmed_balance_url(address) : woc_address_unconfirmed_balance_url(address);
        const char* field = confirmed ? "confirmed" : "unconfirmed";
        const HttpResult r = wallet_get(url, timeout_s, false);
        core::Json j;
        if (!r.ok || !core::parse_json(r.body, j) || !j.is_object() || !j.contains(field) ||
            !j[field].is_number_integer())
            return -1;
        const std::int64_t v = core::json_int(j, field, 0);
        // Unconfirmed spends make that part negative; the total never is.
        if (v > MAX_SATS || v < -MAX_SATS) return -1;
        total += v;
    }
    return std::max<std::int64_t>(0, total);
}

SpentAnswer woc_spent(const std::string& txid, std::uint32_t vout, long timeout_s, std::string* spender) {
    const std::string url = woc_tx_spent_url(txid, vout);
    if (url.empty()) return SpentAnswer::failed;
    const HttpResult r = wallet_get(url, timeout_s, true);
    if (!r.ok) return SpentAnswer::failed;
    if (r.status == 404) return SpentAnswer::not_found;
    core::Json j;
    if (!core::parse_json(r.body, j) || !j.is_object() || !core::is_txid(core::json_string(j, "txid")))
        return SpentAnswer::failed;
    if (spender) *spender = core::lower_ascii(core::json_string(j, "txid"));
    return SpentAnswer::spent;
}

bool woc_output_exists(const std::string& txid, std::uint32_t vout, long timeout_s) {
    const std::string url = woc_tx_url(txid);
    if (url.empty()) return false;
    const HttpResult r = wallet_get(url, timeout_s, false);
    core::Json tx;
    return r.ok && core::parse_json(r.body, tx) && tx.is_object() && tx.contains("vout") && tx["vout"].is_array() &&
           vout < tx["vout"].size();
}

SpentAnswer woc_spent_gathered(const std::string& txid, std::uint32_t vout, long timeout_s) {
    if (!core::is_txid(txid)) return SpentAnswer::failed;
    return spent_gather().ask(
        {core::lower_ascii(txid), vout},
        [timeout_s](const std::vector<SpentQuestion>& outputs) { return ask_spent(outputs, timeout_s); },
        SpentAnswer::failed);
}

std::vector<RawAnswer> woc_raw_transactions(const std::vector<std::string>& txids_in, long timeout_s,
                                            std::size_t reply_cap, bool* down) {
    std::vector<RawAnswer> answers(txids_in.size());
    std::vector<std::string> txids;
    for (const auto& t : txids_in) txids.push_back(core::lower_ascii(t));
    for (std::size_t b = 0; b < txids.size(); b += WOC_BULK_CAP) {
        const std::vector<std::string> batch = bulk_slice(txids, b);
        core::Json list = core::Json::array();
        for (const auto& t : batch)
            if (core::is_txid(t)) list.push_back(t);
        if (list.empty()) continue;
        const HttpResult r = wallet_post_json(woc_txs_hex_url(), core::dump_compact({{"txids", list}}), timeout_s,
                                              BULK_ATTEMPTS, reply_cap);
        core::Json reply;
        if (!r.ok || !core::parse_json(r.body, reply) || !reply.is_array()) {
            if (down && r.error != REPLY_TOO_LARGE && (r.status == 0 || r.status == 429 || r.status >= 500))
                *down = true;
            if (r.error == REPLY_TOO_LARGE)
                for (std::size_t k = 0; k < batch.size(); ++k) answers[b + k].state = RawState::too_large;
            continue;
        }
        for (const auto& item : reply) {
            if (!item.is_object()) continue;
            const std::string txid = core::lower_ascii(core::json_string(item, "txid"));
            for (std::size_t k = 0; k < batch.size(); ++k)
                if (batch[k] == txid && answers[b + k].state == RawState::failed) answers[b + k] = raw_item(item, txid);
        }
    }
    return answers;
}

RawAnswer woc_raw_transaction_gathered(const std::string& txid, long timeout_s) {
    if (!core::is_txid(txid)) return {};
    // While the service is down, questions fail at once: waiting in turn behind calls that
    // each run into the time limit would hold a walls read for minutes.
    if (core::monotonic_ms() < raw_down_until().load()) return {};
    return raw_gather().ask(
        core::lower_ascii(txid),
        [timeout_s](const std::vector<std::string>& txids) {
            bool down = false;
            std::vector<RawAnswer> answers = woc_raw_transactions(txids, timeout_s, WOC_RAW_BULK_REPLY_CAP, &down);
            if (down) raw_down_until().store(core::monotonic_ms() + WOC_DOWN_PAUSE_MS);
            return answers;
        },
        RawAnswer{});
}

void reset_woc_state() {
    woc_forget_prefetched();
    raw_down_until().store(0);
}

}  // namespace chain
