#pragma once
// The process-wide in-memory wallet, guarded by the wallet-state lock (a recursive
// mutex). Every read or change of it happens with that lock held.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/secret.h"

namespace wallet {

struct ExtKey;

// One inscription or token output the wallet holds ("ord_owned" element).
struct OwnedEntry {
    std::string origin;
    std::string txid;
    std::int64_t vout = 0;
    std::string type, address, name, icon, amt, dec, token_id;
    bool hidden = false;
    bool created = true;
};

struct Contact {
    std::string dest;
    std::string note;
};

struct WalletState {
    bool hd = false;
    core::SecretString mnemonic;
    bool backup = false;
    std::array<std::uint32_t, 6> recv{};
    std::uint32_t show = 0;
    core::SecretString priv;  // current receive key, hex
    std::string pub;
    std::string address;
    std::string identity_pub;
    std::string identity_address;
    std::string ordinals_address;
    // Cached once per load: the BIP39 seed and the BIP32 master key.
    core::SecretBytes seed;
    std::shared_ptr<ExtKey> master;
    std::string paymail;
    std::string avatar;
    std::vector<OwnedEntry> owned;
    std::vector<Contact> contacts;
    std::uint32_t scan_mark = 0;
    std::int64_t cached_balance = -1;
};

std::recursive_mutex& wallet_mutex();
using WalletLock = std::lock_guard<std::recursive_mutex>;

// Caller holds wallet_mutex().
WalletState& wallet_state();
bool wallet_in_memory();
// Cleanses and empties the state (what forget_wallet does, without its side effects).
void clear_wallet_state();

}  // namespace wallet
