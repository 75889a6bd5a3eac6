#pragma once
// The wallet document of the bound wallet: loading it into the wallet state, writing
// back the members this program changes, merging the wallet application's changes,
// and recognising a sealed wallet. All of it runs under the wallet-state lock.
#include <cstdint>
#include <string>

#include "core/json.h"
#include "wallet/state.h"

namespace wallet {

struct WalletSummary {
    bool found = false;
    std::string address;
    std::string paymail;  // full address (alias@domain) or empty
    bool hd = false;
};

// The largest receive counter ("recv" element or "show") a document may hold; a
// document with a counter above it, below 0 or not an integer does not load.
constexpr std::uint32_t MAX_COUNTER = 100000;

bool load_wallet();
// Writes the members this program owns ("recv" raised to at least what the file holds,
// "show", "ord_owned", "ord_avatar", "paymail") into the document as it is on disk now,
// under the store lock; every other member stays as the wallet application wrote it.
// When the file is sealed (either mark) or holds another wallet than the one in memory,
// nothing is written, the wallet is forgotten and error is "wallet changed.". A file
// that cannot be read is never written over.
bool save_wallet(std::string& error);
bool save_wallet();
void forget_wallet();
// Takes over raised counters, the avatar and the alias; a document with invalid
// counters is ignored.
void merge_wallet_changes();
bool wallet_is_locked();
WalletSummary peek_wallet_summary();
bool wallet_ready_hd();
std::string wallet_address();
std::string wallet_identity_key();

// A document is sealed when it is an object whose "lock" is "OV-LOCK1".
bool is_sealed_document(const core::Json& doc);
// "recv" absent or an array whose first six elements are counters, "show" absent or a
// counter (integers from 0 to MAX_COUNTER).
bool counters_valid(const core::Json& doc);
// Contact destination as kept in memory: trimmed, "@"/"$" dropped, aliases on the
// platform's paymail domain reduced to the alias.
std::string normalise_contact_dest(const std::string& dest, const std::string& paymail_domain);
std::string normalise_contact_note(const std::string& note);
OwnedEntry owned_from_json(const core::Json& j);
core::Json owned_to_json(const OwnedEntry& e);

// The HD document the wallet application writes for a new wallet.
bool new_hd_document(const std::string& mnemonic, core::Json& doc, std::string& error);

}  // namespace wallet
