#pragma once
// The trust rules: anyone can write to a gallery address, so a record read from the chain
// counts only when these rules accept it. Each rule says what it stops; docs/trust.md
// says why each bound is where it is. Pure functions over records and transaction JSON,
// except where a caller passes in what needs the network. Nothing here throws.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.h"
#include "ledger/walls.h"

namespace ledger {

// A record's "ts" against its transaction's chain time (the block time, or the reading
// time while unconfirmed): at most TS_AHEAD_S later, at most TS_BEHIND_S earlier. A
// writer's clock then cannot make a record "the latest" for ever, nor last longer.
inline constexpr std::int64_t TS_AHEAD_S = 60 * 60;
inline constexpr std::int64_t TS_BEHIND_S = 6 * 60 * 60;
// No gallery posting comes near this (the largest, an offer, fits one 64 KiB push).
inline constexpr std::int64_t MAX_GALLERY_TX_BYTES = 1024 * 1024;
// Inputs of an offer that a reader looks up: the two artwork coins and the buyer's.
inline constexpr std::size_t MAX_OFFER_INPUTS = 40;
inline constexpr std::int64_t WEEK_S = 604800;

// The block height of a transaction in indexer JSON ("blockheight", else "height"),
// 0 while it is in no block.
std::int64_t tx_height(const core::Json& tx);
// The chain's time for the transaction: its block time, else now.
std::int64_t tx_chain_time(const core::Json& tx, std::int64_t now);
// A transaction that says it is larger than any gallery posting can be.
bool tx_too_large(const core::Json& tx);
bool time_fits(std::int64_t ts, std::int64_t chain_time);

// The address an output of indexer JSON pays ("scriptPubKey"."addresses"[0], else an
// "address" member), "" for none; and its value in sats ("valueSat", else "value" in BSV),
// 0 for none, a malformed amount or one above MAX_RECORD_SATS.
std::string output_address(const core::Json& out);
std::int64_t output_sats(const core::Json& out);
// Sats the transaction pays to address, summed over its outputs ("valueSat", else
// "value" in BSV); 0 for none or a malformed amount, capped at MAX_RECORD_SATS.
std::int64_t sats_paid_to(const core::Json& tx, const std::string& address);

// The chain's order: confirmed records by height, then those in no block; within one,
// by "ts", then txid. era compares only (height, ts): what one second of one block holds.
bool chain_before(const HistoryEntry& a, const HistoryEntry& b);
int era_compare(const HistoryEntry& a, const HistoryEntry& b);
int era_compare(std::int64_t height_a, std::int64_t ts_a, std::int64_t height_b, std::int64_t ts_b);
// The time a record may claim for comparisons with others: never later than its chain time.
std::int64_t effective_time(const HistoryEntry& e);

// Sorts a history into the chain's order and folds replays: records with the same
// signature are one record, kept at its first copy whose transaction meets the type's
// payment rule (else its first copy); the other copies' txids go to replays.
void order_history(std::vector<HistoryEntry>& history);
// Whether the transaction of a record meets what its type must pay: an art_show its
// placement fee for its weeks, an art_pair the title trail and the certificate address,
// an art_owner the title trail; every other type nothing.
bool payment_sound(const core::Json& record, const core::Json& tx);

// 1 or 2 when 0 < exp - ts <= two weeks: the weeks the display pays for; else 0.
int show_weeks(std::int64_t ts, std::int64_t exp);

// The root rule of a title: an art_pair counts as the start of an artwork's title only
// when the certificate it binds names the artwork and its hash, and the certificate's
// "owner_paymail" (inscribed at minting, never changed) is the pair's verified actor at
// this gallery's paymail domain.
bool pair_is_root(const HistoryEntry& pair, const core::Json& certificate, const std::string& paymail_domain);

}  // namespace ledger
