#pragma once
// What the program knows about the wallet's coins: per-address listings, the spent and
// change journals (kept as files so a second payment seconds later neither reuses a
// spent coin nor waits for an indexer), the inscription hold sets and the last
// broadcast. All of it is guarded by the wallet-state lock and belongs to the wallet
// in memory: it is dropped when that wallet is forgotten or another one loads.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace chain {

struct Coin {
    std::string txid;  // 64 hex, display order
    std::uint32_t vout = 0;
    std::int64_t value = 0;
    std::int32_t height = -1;  // 0 = mempool, -1 = unknown
};

struct CoinListing {
    std::string address;
    std::vector<Coin> coins;
    std::int64_t fetched_at = 0;  // monotonic ms
    bool loaded = false;
    bool filtered = false;
    std::int64_t balance = -1;
};

struct ChangeCoin {
    Coin coin;  // height 0
    std::string private_key;  // hex; wiped when the entry goes
    std::string public_key;
    core::Bytes key_hash;
    ChangeCoin() = default;
    ChangeCoin(const ChangeCoin&) = default;
    ChangeCoin& operator=(const ChangeCoin&) = default;
    ~ChangeCoin();
};

struct HoldSet {
    std::set<std::string> outpoints;  // outpoint keys carrying an inscription
    std::int64_t stored_at = 0;
    bool ok = false;
};

constexpr std::int64_t NO_TIME = -1;  // a spent mark read back from the file

struct CoinState {
    bool attached = false;     // follows a wallet generation
    std::uint64_t generation = 0;
    std::string journal_word;  // wallet_key_word the journals were loaded for
    bool journals_loaded = false;
    std::vector<CoinListing> listings;
    std::map<std::string, std::int64_t> spent;  // outpoint key -> monotonic ms or NO_TIME
    std::set<std::string> released;             // marks let go since the spent journal was saved
    std::vector<ChangeCoin> change;
    std::set<std::string> change_dropped;       // outpoint keys dropped since the change journal was saved
    std::string last_broadcast_txid;
    std::int64_t last_broadcast_at = 0;
    std::string last_success_txid;
    std::map<std::string, HoldSet> holds;  // by address
    std::string last_coin_error;  // the last listing failure, for "you have 0" messages
    bool index_unavailable = false;
    std::int64_t index_unavailable_at = 0;
};

// Caller holds the wallet-state lock. The state as it is: no reset, no file read.
CoinState& coin_state();
// Makes the coin state belong to the wallet in memory: after a load or a forget it
// starts afresh, and a loaded wallet's journals are read the first time. Every operation
// declared below (and the refreshes, candidates and balance built on them) begins with
// it; a caller that reads coin_state() directly calls it first. Caller holds the lock.
void sync_coin_state();
void clear_coin_state();

// Which wallet the coin state serves, taken before the lock is let go for the network.
struct WalletMark {
    std::uint64_t generation = 0;
    std::string word;
};
// Caller holds the lock.
WalletMark wallet_mark();
// Takes the lock back from the network: true when a wallet loads and it is still the
// one of the mark (same generation and key word).
bool same_wallet(const WalletMark& mark);
inline constexpr const char* WALLET_CHANGED = "wallet changed.";

// Outpoints: "txid:vout" keys, and the sameness rule (case, or byte-reversed txid).
std::string outpoint_key(const std::string& txid, std::uint32_t vout);
std::string reversed_txid(const std::string& txid);
bool same_outpoint(const std::string& txid_a, std::uint32_t vout_a, const std::string& txid_b, std::uint32_t vout_b);

// The file-name-safe word of the bound wallet: its id, or its main address when none is
// bound; other bytes than letters and digits become "_"; "wallet" when empty; 80 at most.
std::string wallet_key_word();

// Spent journal.
void mark_spent(const std::string& txid, std::uint32_t vout);
bool is_spent(const std::string& txid, std::uint32_t vout);
// Forget the spent marks of listed coins: those older than 20 s (or without a time),
// or all of them when forced. Saves the journal when anything was removed.
void release_listed(const std::vector<Coin>& coins, bool force);
// Re-reads the journal files (entries from files count as old) into memory.
void load_journals();
// Both saves run under the store lock: the file is read again, the marks and coins
// another process wrote there are kept, ours are applied, and the result replaces the
// file atomically. Nothing is written while the wallet's key word is "wallet".
void save_spent_journal();
void save_change_journal();
// Removes the change coins for which drop is true (asked once per coin) from memory and
// returns how many went; the next save drops them from the file as well.
std::size_t drop_change_if(const std::function<bool(const ChangeCoin&)>& drop);

// Listings.
CoinListing* find_listing(const std::string& address);
CoinListing& listing_for(const std::string& address);
void drop_spent_from_listings();
void age_listings(std::int64_t ms);

}  // namespace chain
