#pragma once
// What wendrel does to the platform folder, shared by its commands and its window: each
// operation returns true, or false with one sentence in error. Nothing here prints.
#include <cstdint>
#include <string>
#include <vector>

#include "core/secret.h"

namespace wendrel {

// The registry's active wallet, else its first; "" when there is none.
std::string active_wallet_id();
// True when id is a row of the registry.
bool wallet_exists(const std::string& id);

struct WalletRow {
    std::string id, name;
    bool active = false;
};
// The registry's wallets in registry order, the active one marked.
std::vector<WalletRow> wallet_rows();

// A new wallet with a fresh 12-word mnemonic, made active. words receives the mnemonic so
// that it can be shown once; the caller keeps it no longer than that.
bool create_wallet(const std::string& name, std::string& id, core::SecretString& words, std::string& error);
// A wallet from existing words, made active. Words that already are a wallet here are
// refused and nothing is written.
bool restore_wallet(const std::string& words, const std::string& name, std::string& id, std::string& error);

// Encrypts the wallet file at rest, and back. A wrong password leaves the file unchanged.
bool seal_wallet(const std::string& id, const std::string& password, std::string& error);
bool unseal_wallet(const std::string& id, const std::string& password, std::string& error);

// What the wallet shows of itself; nothing of it is secret. A sealed wallet shows only
// its id, name and sealed = true.
struct WalletView {
    std::string id, name, address, identity, identity_key, ordinals_address, paymail;
    bool sealed = false;
    bool hd = false;
};
// reveal (HD wallets only) receives the mnemonic when not null.
bool read_view(const std::string& id, WalletView& v, core::SecretString* reveal, std::string& error);

// The balance as the chain services see it. Binds this process to the wallet in memory and
// talks to the network: never on a thread that must stay responsive.
bool fetch_balance(const std::string& id, std::int64_t& sats, std::string& address, std::string& error);

struct ConnectRequest {
    std::string id, app, instance, exe;
    std::int64_t ts = 0;
};
// Connect requests without a reply, oldest first.
std::vector<ConnectRequest> pending_requests();
// The reply the gallery polls for: approved with the wallet, or denied. The request must
// still be waiting and the wallet must be a row of the registry.
bool approve_request(const std::string& request, const std::string& wallet_id, std::string& error);
bool deny_request(const std::string& request, std::string& error);

}  // namespace wendrel
