#pragma once
// The paymail registry shared with the wallet application (alias -> identity key and
// addresses), the label quota of the identity's role, and the signed claim of an alias
// at the platform service.
#include <string>

#include "core/json.h"

namespace wallet {

// "orvane_paymail.json" in the platform folder; guarded by the registry mutex.
core::Json load_paymail_registry();
bool save_paymail_registry(const core::Json& registry);

// Leading "@", "$" and spaces, trailing spaces, CR and LF removed.
std::string trim_alias(const std::string& alias);
// Registry form: trimmed, cut before its first "@", lower-cased, only a-z 0-9 _ - .
std::string registry_alias(const std::string& alias);
// Labels an identity may hold for its role; -1 = unlimited.
int alias_quota(const std::string& role);

// HD wallets only: makes sure the wallet's alias is in the registry and the document.
void paymail_sync(bool report);
std::string own_alias(const std::string& identity_key);
// Error text, or "" on success.
std::string register_alias(const std::string& alias, const std::string& identity_key, const std::string& address);
std::string register_avatar();
void register_ordinals_address();
// Claims alias, keys and addresses at the platform when they changed since the last
// successful claim; error text or "".
std::string publish_paymail(const std::string& alias, const std::string& identity_key, const std::string& address,
                            const std::string& avatar, const std::string& ordinals_address);
void refresh_paymail_role();
// Under the wallet-state lock: the loaded wallet's alias ("" when none loads).
std::string current_alias();

// The claim message and its request body, for the given claim time (seconds).
std::string claim_message(const std::string& alias, const std::string& identity_key, const std::string& address,
                          const std::string& avatar, const std::string& ordinals_address, const std::string& bn_pub,
                          const std::string& bn_address, long long ts);

// Tests: forget the last publish mark.
void reset_paymail_state();

}  // namespace wallet
