#pragma once
// Finding the wallet's coins through the indexers and merging them into the listings.
// Network calls run without the wallet-state lock; merges run with it.
#include <set>
#include <string>
#include <vector>

#include "chain/coin_state.h"

namespace chain {

struct UnspentResult {
    bool ok = false;
    std::vector<Coin> coins;
    std::string error;
};

struct FetchTask {
    std::string address;
    bool mempool_filter = false;
    bool keep_cached = false;
    // filled by the fetch
    UnspentResult result;
    std::int64_t balance = -1;
    bool inscriptions_ok = false;
    std::set<std::string> inscriptions;  // outpoint keys
};

UnspentResult list_unspent(const std::string& address, bool mempool_filter);
std::int64_t address_balance(const std::string& address);
// Outpoints the ordinals index lists as carrying an inscription (or a token) at address.
bool inscription_outpoints(const std::string& address, std::set<std::string>& out);

// Runs the fetches, at most 8 requests in flight; the caller does not hold the
// wallet-state lock. False with the error when no fetch thread could be started; every
// task then reads as failed with that text.
bool fetch_tasks(std::vector<FetchTask>& tasks, bool with_inscriptions, std::string& error);
// Merges fetched tasks. Caller holds the wallet-state lock; it is let go only for the
// presence check of a fresh change coin, and false with "wallet changed." means another
// wallet was loaded meanwhile (the rest of the tasks are not merged).
bool merge_tasks(std::vector<FetchTask>& tasks, bool with_inscriptions, std::string& error);
// fetch_tasks, then merge_tasks under the lock (which the caller does not hold).
bool refresh_coins(std::vector<FetchTask>& tasks, bool with_inscriptions, std::string& error);

// The payment refresh (caller holds the lock, which is released while fetching).
bool prepare_payment_coins(std::string& error);
// The second coin source, the ordinals index (1-sat outputs are never taken from it).
// The lock is released while the index is asked; false with "wallet changed." when
// another wallet is loaded by then, or with the reason no request could be made.
bool refresh_from_ordinals_index(std::string& error);

// Caller holds the wallet-state lock. After a refresh, a receive address without a
// loaded listing means the chain service gave no answer we could use: the balance is
// then unknown, never zero. The text says so, with the last listing failure.
bool coins_unreachable(std::string& text);

// Parses one unspent list reply (bare array or {"result": [...]}); false for anything else.
bool parse_unspent_list(const std::string& body, std::vector<Coin>& out);

}  // namespace chain
