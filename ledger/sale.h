#pragma once
// The four-step sale of a displayed piece: ask, accept, pay (an offer whose artwork
// inputs stay unsigned) and complete (the owner signs them and broadcasts). The owner
// signs only an offer that has exactly the agreed layout, and the buyer pays only for
// a title and coins that are what the display names. Every operation returns a result
// text ("success…" or "error: …"); nothing here throws.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chain/tx.h"
#include "ledger/walls.h"

namespace ledger {

// The gallery's share of a sale at or above this price is price / SALE_FEE_DIVISOR.
inline constexpr std::int64_t SALE_FEE_FLOOR = 50;
inline constexpr std::int64_t SALE_FEE_DIVISOR = 50;
// Room in an art_gfunded record for everything beside the offer hex (members, keys,
// signature), so that the posted record stays readable (one OP_PUSHDATA2 push).
inline constexpr std::size_t FUNDED_RECORD_OVERHEAD = 2048;

// The gallery fee of a price (0 below SALE_FEE_FLOOR); -1 for a price outside
// 1..MAX_SATS.
std::int64_t sale_fee(std::int64_t price);

// What an offer must look like, from the display and its sale records.
struct OfferTerms {
    std::string pic_utxo, cert_utxo;  // coin ids of the display
    std::int64_t price = 0;
    std::string pay_addr;     // the seller's payment address (the display's)
    std::string fee_address;  // the sale fee address of the profile
    std::string oao_address;
    std::vector<AskEntry> asks;
    std::vector<AcceptEntry> accepts;
};

// The seller's check of a parsed offer before anything is signed. signer is the
// art_gfunded's signing key; wallet_holds(i) tells whether input i spends a coin of
// this wallet; pay_addr_ours whether pay_addr is an address of this wallet. False with
// the error text ("error: …") when any part of the layout differs.
bool check_offer_layout(const std::vector<chain::TxInput>& inputs, const std::vector<chain::TxOutput>& outputs,
                        const OfferTerms& terms, const std::string& signer,
                        const std::function<bool(std::size_t)>& wallet_holds, bool pay_addr_ours,
                        std::string& error);

// The buyer's check of the two coins the offer spends: 1 sat each, and the ordinals
// index names the display's pic and cert as their origins.
bool check_artwork_coins(std::int64_t pic_sats, std::int64_t cert_sats, const std::string& pic_index_origin,
                         const std::string& cert_index_origin, const SpotLoad& spot, std::string& error);

// The buyer's check of the title before paying: an art_owner of the display's pic and
// cert naming buyer, prev = last_txid, verifying, signed by the frame's owner.
bool check_title(const std::string& title_json, const SpotLoad& spot, const std::string& buyer,
                 const std::string& last_txid, std::string& error);

struct OfferRequest {
    OfferTerms terms;
    std::string pic_origin, cert_origin;  // what the index must name for the two coins
    std::string title_json;
};

// The offer as lowercase hex, or an error text. On success the coin ids of the buyer's
// inputs are in the offer locks file; on failure nothing was added there.
std::string build_offer(const OfferRequest& request, const SpotLoad& spot);

// The seller's completion: checks the offer (signer = its art_gfunded's signer),
// signs the artwork inputs and broadcasts. "success: " + txid or an error text.
std::string finish_sale(const std::string& offer_hex, const SpotLoad& spot, const std::string& signer);
// Caller holds the wallet-state lock.
std::string broadcast_sale(const std::vector<chain::TxInput>& inputs, const std::vector<chain::TxOutput>& outputs);

std::string gallery_ask(int frame);
// buyer "" = the buyer of the frame's latest ask.
std::string gallery_accept(int frame, const std::string& buyer);
std::string gallery_pay(int frame, const std::string& title);
std::string gallery_complete(int frame, const std::string& offer);

// Test seam: called just before an artwork input is signed and before the sale is
// broadcast; the defaults do nothing.
struct SaleSpy {
    std::function<void(std::size_t)> signing;
    std::function<void()> broadcasting;
};
void set_sale_spy(SaleSpy spy);

}  // namespace ledger
