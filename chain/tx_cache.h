#pragma once
// Confirmed transactions never change, so their bytes are kept on disk in the data
// folder ("tx_cache/<txid>.tx": a header with the block height and time, then the raw
// bytes). An entry is taken only when its bytes hash to its name; any other entry is
// removed, to be read from the chain again. The folder is bounded in bytes and in
// entries, least recently used out. Every process of the program shares it: each write
// is a whole-file rename, and an entry another process removed is only a miss.
#include <cstddef>
#include <cstdint>
#include <string>

#include "chain/chain_tx.h"

namespace chain {

inline constexpr std::uint64_t TX_CACHE_MAX_BYTES = 64ull * 1024 * 1024;
inline constexpr std::size_t TX_CACHE_MAX_ENTRIES = 20000;

// The entry's path; "" for text that is not a txid.
std::string tx_cache_path(const std::string& txid);

// A kept transaction, its use noted; false on a miss or a damaged entry (removed).
bool tx_cache_get(const std::string& txid, ChainTx& out);

// Keeps a confirmed transaction whose bytes match its txid; anything else is ignored.
void tx_cache_put(const ChainTx& tx);

// Forgets what this process knows of the folder; it is listed again at the next use.
void reset_tx_cache();

}  // namespace chain
