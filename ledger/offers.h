#pragma once
// The reading half of a sale: what has become of an offer's coins, who spent a coin,
// and the value and script of a coin. Nothing here throws.
#include <cstdint>
#include <string>

#include "core/bytes.h"

namespace ledger {

// 0: not a transaction (fewer than 80 hex digits, an odd count, or no parse);
// 1: every input unspent; 2: a signed input spent (the buyer's money went elsewhere);
// 3: an unsigned input spent (the artwork moved). Inputs of both kinds spent: 3.
int offer_status(const std::string& offer_hex);

// The txid (lowercase) that spent the coin (txid_vout or txid:vout), or "" when it is
// unspent, unknown or the request failed. Spent answers are kept for the life of the
// process; unspent ones as long as a frame history; concurrent asks share one request.
std::string coin_spent_by(const std::string& outpoint);

// Value (sats) and locking script of a coin, from WhatsOnChain's transaction JSON,
// else its raw hex. error: "bad outpoint." or "could not load that outpoint from the
// chain yet. Wait a few seconds."
bool coin_lookup(const std::string& outpoint, std::int64_t& sats_out, core::Bytes& script_out, std::string& error);

// Splits "txid_vout" / "txid:vout" (either case) into a lowercase txid and the index.
bool split_outpoint(const std::string& outpoint, std::string& txid, std::uint32_t& vout);

// Tests: forget the spent answers.
void reset_offer_caches();

}  // namespace ledger
