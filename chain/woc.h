#pragma once
// WhatsOnChain reads of today's routes, typed: address histories (one address paged by
// its token, or WOC_BULK_CAP addresses a call), balances and spent look-ups. URLs come
// from chain/endpoints. A history reader passes its own JSON getter, so the gate its
// readers share stays theirs. Nothing here throws; every list read is bounded.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "chain/chain_tx.h"
#include "core/json.h"

namespace chain {

// Addresses or txids in one bulk call: the service refuses more.
inline constexpr std::size_t WOC_BULK_CAP = 20;

using JsonGetter = std::function<bool(const std::string& url, core::Json& out)>;
using IdsSink = std::function<void(const std::vector<std::string>&)>;

// The txids of one history reply ("result" of a wrapped reply, or a bare array; entries'
// "tx_hash"), lower case, each once, appended to out while it holds fewer than max.
// Returns how many were new.
std::size_t woc_history_ids(const core::Json& reply, std::vector<std::string>& out, std::set<std::string>& seen,
                            std::size_t max);

// One address's confirmed (GET /address/{a}/confirmed/history?limit=100) or unconfirmed
// (GET /address/{a}/unconfirmed/history) history, following "nextPageToken" for at most
// max_pages pages; a page that adds nothing ends it. The first page is a fresh bulk read
// of woc_prefetch_histories when there is one (taken once). sink, when set, gets each
// page's new ids. False when the first page failed: no answer is not an empty history.
bool woc_address_history(bool confirmed, const std::string& address, int max_pages, std::size_t max_ids,
                         const JsonGetter& get, std::vector<std::string>& out, const IdsSink& sink = {});

// How long a bulk read of histories stands in for the addresses' own first pages.
inline constexpr std::int64_t WOC_PREFETCH_FRESH_MS = 5000;

// The first page of each address's confirmed and unconfirmed history, read in bulk
// (POST /addresses/confirmed/history and /addresses/unconfirmed/history, WOC_BULK_CAP
// addresses a call): a reader about to ask many addresses alone asks twice instead. A
// call that fails leaves its addresses to be asked alone.
void woc_prefetch_histories(const std::vector<std::string>& addresses, long timeout_s);
void woc_forget_prefetched();

// For each address, whether it has any history, confirmed or not: POST
// /addresses/confirmed/history and /addresses/unconfirmed/history, WOC_BULK_CAP
// addresses a call. An address counts as used when it ever received, not only while it
// holds coins. False, with error, when any call failed or a reply did not read: an
// address is never taken as unused for want of an answer.
bool woc_addresses_used(const std::vector<std::string>& addresses, long timeout_s, std::vector<bool>& used,
                        std::string& error);

// Confirmed plus unconfirmed sats at address (GET /address/{a}/confirmed/balance and
// /unconfirmed/balance), never below 0; -1 when either read failed or an amount is out
// of range.
std::int64_t woc_balance(const std::string& address, long timeout_s);

// GET /tx/{txid}/{vout}/spent. not_found is the service's 404: an unspent output, or one
// of a transaction it does not know (yet); only a caller that knows the transaction
// exists may read it as unspent.
enum class SpentAnswer { spent, not_found, failed };
// spender, when given, gets the spending txid.
SpentAnswer woc_spent(const std::string& txid, std::uint32_t vout, long timeout_s, std::string* spender = nullptr);

// Whether the service shows output vout of txid (GET /tx/{txid}: its "vout" list is
// long enough). Only existence is read here, never a script: for those, read_transaction.
bool woc_output_exists(const std::string& txid, std::uint32_t vout, long timeout_s);

// The same question asked with others: one POST /utxos/spent (of up to WOC_BULK_CAP
// outputs) is in flight at a time, and the questions asked meanwhile go together in the
// next. not_found is the service naming no spender for the output (unspent, or an output
// it does not know); failed when the call failed or left the output out.
SpentAnswer woc_spent_gathered(const std::string& txid, std::uint32_t vout, long timeout_s);

// Raw transactions: POST /txs/hex, WOC_BULK_CAP txids a call; items {txid, hex,
// blockheight, blocktime} or {txid, error}. unknown is the service not knowing the txid
// (yet); bytes that do not hash to the txid asked are failed, never found. too_large is
// a reply past reply_cap: ask that txid alone with a larger cap.
enum class RawState { found, unknown, too_large, failed };
struct RawAnswer {
    RawState state = RawState::failed;
    ChainTx tx;
};
inline constexpr std::size_t WOC_RAW_BULK_REPLY_CAP = 16u * 1024u * 1024u;
// down, when given, is set when a call got no answer, a 5xx, or a 429 past its retries.
std::vector<RawAnswer> woc_raw_transactions(const std::vector<std::string>& txids, long timeout_s,
                                            std::size_t reply_cap = WOC_RAW_BULK_REPLY_CAP, bool* down = nullptr);

// The same asked with others: one POST /txs/hex in flight at a time, the txids asked
// meanwhile going together in the next. After a call got no answer (a 5xx, or a 429 past
// its retries), questions fail at once for WOC_DOWN_PAUSE_MS, so their askers turn to
// their other sources or fail clearly instead of each waiting out calls of their own.
inline constexpr std::int64_t WOC_DOWN_PAUSE_MS = 30000;
RawAnswer woc_raw_transaction_gathered(const std::string& txid, long timeout_s);

// Forgets the prefetched histories and a service found down; chain::reset_http_state
// calls it.
void reset_woc_state();

}  // namespace chain
