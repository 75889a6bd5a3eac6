#pragma once
// URLs of every service path the program calls, built from the network profile. Each
// builder checks the ids it is given and returns "" for one that fails, so text read
// from the chain or a reply never becomes part of a URL unchecked. An empty root in
// the profile also gives "".
#include <cstdint>
#include <string>
#include <string_view>

#include "core/hex.h"

namespace chain {

// --- checks ----------------------------------------------------------------------
using core::is_txid;                          // 64 hex digits, either case
bool is_address_text(std::string_view text);  // 26..35 Base58 alphabet characters
// txid + "_" + output index in decimal (no sign, no leading zeros, at most 2^32 - 1).
bool is_outpoint(std::string_view text);
bool is_oracle_name(std::string_view text);   // "as1".."as10", "ocp", "oao", "ident"
bool is_pubkey_hex(std::string_view text);    // 66 or 130 hex digits, either case

// RFC 3986 percent-encoding: everything but A-Z a-z 0-9 - . _ ~ becomes %XX.
std::string percent_encode(std::string_view text);

// --- WhatsOnChain (profile woc_api) ------------------------------------------------
std::string woc_tx_hex_url(std::string_view txid);                     // GET /tx/{txid}/hex
std::string woc_tx_url(std::string_view txid);                         // GET /tx/{txid}
std::string woc_tx_spent_url(std::string_view txid, std::uint32_t vout);  // GET /tx/{txid}/{vout}/spent
std::string woc_address_unconfirmed_unspent_url(std::string_view addr);  // .../unconfirmed/unspent
// GET /address/{addr}/unspent/all, with "?token=" + the encoded token when one is given.
std::string woc_address_unspent_all_url(std::string_view addr, std::string_view page_token = "");
std::string woc_address_confirmed_balance_url(std::string_view addr);    // GET .../confirmed/balance
std::string woc_address_unconfirmed_balance_url(std::string_view addr);  // GET .../unconfirmed/balance
// GET /address/{addr}/unconfirmed/history, with "limit=" + limit when limit > 0 and
// "token=" + the encoded token when one is given.
std::string woc_address_unconfirmed_history_url(std::string_view addr, std::uint32_t limit = 0,
                                                std::string_view page_token = "");
// POST /addresses/confirmed/history or /addresses/unconfirmed/history (bulk).
std::string woc_addresses_history_url(bool confirmed);
// GET /address/{addr}/confirmed/history?limit=100, with "&token=" + the encoded token.
std::string woc_address_confirmed_history_url(std::string_view addr, std::string_view page_token = "");
std::string woc_txs_url();         // POST /txs
std::string woc_txs_hex_url();     // POST /txs/hex
std::string woc_utxos_spent_url();  // POST /utxos/spent (bulk)
std::string woc_tx_raw_post_url();  // POST /tx/raw

// --- 1Sat ordinals (profile ord_api, ord_host) -------------------------------------
// The index's page size (its default and largest page).
inline constexpr std::uint32_t ORD_PAGE = 100;
// ord_api/txos/address/{addr}/unspent?limit=ORD_PAGE&offset={offset}
std::string ord_address_unspent_url(std::string_view addr, std::uint32_t offset = 0);
std::string ord_bsv20_unspent_url(std::string_view addr);      // ord_api/bsv20/{addr}/unspent
std::string ord_bsv20_id_url(std::string_view token_id);       // ord_api/bsv20/id/{outpoint}
std::string ord_txo_url(std::string_view txid, std::uint32_t vout);  // ord_api/txos/{txid}_{vout}
std::string ord_content_url(std::string_view origin);          // ord_host/content/{outpoint}

// --- ARC (profile arc_tx) ------------------------------------------------------------
std::string arc_tx_url();                            // POST arc_tx
std::string arc_tx_status_url(std::string_view txid);  // GET arc_tx/{txid}

// --- platform service (profile service_root) ----------------------------------------
std::string svc_submit_url();  // POST /oi/submit
// GET /oi/oracle/{name}/txids?limit=2000&offset={offset}
std::string svc_oracle_txids_url(std::string_view oracle_name, std::uint32_t offset);
std::string svc_ident_txids_url();                     // GET /oi/oracle/ident/txids?limit=12
std::string svc_tx_url(std::string_view txid);         // GET /oi/tx/{txid}
// The key is sent in lower case.
std::string svc_paymail_quota_url(std::string_view pubkey_hex);     // GET /api/paymail/quota/{key}
std::string svc_paymail_identity_url(std::string_view pubkey_hex);  // GET /api/paymail/identity/{key}
std::string svc_paymail_labels_url(std::string_view pubkey_hex);    // GET /api/paymail/labels/{key}
// GET /api/bsvalias/id/{alias}@{profile paymail_domain}; the alias is percent-encoded.
std::string svc_bsvalias_id_url(std::string_view alias);
std::string svc_paymail_claim_url();  // POST /api/paymail/claim

}  // namespace chain
