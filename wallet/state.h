#pragma once
// The process-wide in-memory wallet, guarded by the wallet-state lock (a recursive
// mutex). Every read or change of it happens with that lock held.
#include <array>
#include <atomic>
#include <thread>
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
    // Bumped whenever the wallet in memory is cleared or loaded, so caches kept by
    // higher layers (coin listings, journals) can tell they belong to another wallet.
    std::uint64_t generation = 0;
};

// The wallet-state lock: a recursive mutex that also knows how deep its owner holds
// it, so long operations can let go completely while they wait on the network.
class StateMutex {
public:
    void lock();
    void unlock();
    bool try_lock();
    // By the owning thread: releases every level and returns how many there were
    // (0 when this thread does not hold it).
    int release_all();
    void reacquire(int depth);

private:
    std::recursive_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;  // touched only by the owner
};

StateMutex& wallet_mutex();
using WalletLock = std::lock_guard<StateMutex>;

// Lets go of the wallet-state lock for a scope (a network wait) and takes it back.
class WalletUnlocked {
public:
    WalletUnlocked() : depth_(wallet_mutex().release_all()) {}
    ~WalletUnlocked() { wallet_mutex().reacquire(depth_); }
    WalletUnlocked(const WalletUnlocked&) = delete;
    WalletUnlocked& operator=(const WalletUnlocked&) = delete;

private:
    int depth_;
};

// Caller holds wallet_mutex().
WalletState& wallet_state();

// What the windows show of the wallet. It is published whenever a thread lets go of the
// wallet-state lock completely, and read without that lock, so the user-interface thread
// never waits behind a worker that holds it across the network.
struct WalletSnapshot {
    bool loaded = false;  // a wallet is in memory
    bool hd = false;
    std::string address;
    std::string paymail;   // alias@domain, or ""
    std::string identity;  // identity public key (a legacy wallet's own key), lowercase
    std::int64_t balance = -1;
    std::uint64_t generation = 0;
};
WalletSnapshot wallet_snapshot();
// A wallet is loaded as an HD wallet: the snapshot's answer to wallet_ready_hd.
bool snapshot_ready_hd();
bool wallet_in_memory();
// Cleanses and empties the state (what forget_wallet does, without its side effects).
void clear_wallet_state();

}  // namespace wallet
