#pragma once
// The wallet document of the bound wallet: loading it into the wallet state, writing
// back the members this program changes, merging the wallet application's changes,
// and recognising a sealed wallet. All of it runs under the wallet-state lock.
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

bool load_wallet();
bool save_wallet();
void forget_wallet();
void merge_wallet_changes();
bool wallet_is_locked();
WalletSummary peek_wallet_summary();
bool wallet_ready_hd();
std::string wallet_address();
std::string wallet_identity_key();

// A document is sealed when it is an object whose "lock" is "OV-LOCK1".
bool is_sealed_document(const core::Json& doc);
// Contact destination as kept in memory: trimmed, "@"/"$" dropped, aliases on the
// platform's paymail domain reduced to the alias.
std::string normalise_contact_dest(const std::string& dest, const std::string& paymail_domain);
std::string normalise_contact_note(const std::string& note);
OwnedEntry owned_from_json(const core::Json& j);
core::Json owned_to_json(const OwnedEntry& e);

// The HD document the wallet application writes for a new wallet.
bool new_hd_document(const std::string& mnemonic, core::Json& doc, std::string& error);

}  // namespace wallet
