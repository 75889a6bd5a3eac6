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

// Runs the fetches on one thread each (no lock held), then merges them under the lock.
void refresh_coins(std::vector<FetchTask>& tasks, bool with_inscriptions);
void fetch_tasks(std::vector<FetchTask>& tasks, bool with_inscriptions);
// Caller holds the wallet-state lock.
void merge_tasks(std::vector<FetchTask>& tasks, bool with_inscriptions);

// The payment refresh (caller holds the lock, which is released while fetching).
bool prepare_payment_coins(std::string& error);
// The second coin source, the ordinals index (1-sat outputs are never taken from it).
void refresh_from_ordinals_index();

// Parses one unspent list reply (bare array or {"result": [...]}); false for anything else.
bool parse_unspent_list(const std::string& body, std::vector<Coin>& out);

}  // namespace chain
