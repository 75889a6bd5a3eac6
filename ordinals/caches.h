#pragma once
// The small caches of the platform folder that this program and the wallet
// application share: inscription content, type and name per origin, and the kind of
// each origin; plus the in-process cache of WhatsOnChain transaction replies. Every
// cache is best effort: a failed read is a miss and a failed write is ignored.
#include <cstddef>
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "core/json.h"

namespace ordinals {

// An inscription content larger than this is neither read from a service nor cached.
inline constexpr std::size_t MAX_CONTENT_BYTES = 10485760;

struct Content {
    std::string type;
    std::string bytes;
    std::string name;  // what the inscription calls itself, when known
};

// Content cache ("/ord_cache/<origin>.bin" and ".typ"). Takes the wallet-state lock.
void content_cache_store(const std::string& origin, const std::string& type, const std::string& bytes);
bool content_cache_read(const std::string& origin, Content& out);
// Drops the entry of origin: for content a caller found to be something else than it
// must be (a service's error page served as the inscription), so it is read anew.
void content_cache_forget(const std::string& origin);

// Name cache ("/ord_cache/<origin>.nam"): names are stored cleaned (see clean_name).
void name_cache_store(const std::string& origin, const std::string& name);
std::string name_cache_read(const std::string& origin);

// Kind cache ("/art/tags.json"): the value under the origin's key, else under the
// origin as given; only the two kind words count. The file is shared with the wallet
// application: a store re-reads it under the store lock, sets only its own key and
// replaces the file atomically; a file that exists but does not parse is left alone.
std::string kind_cache_read(const std::string& origin);
void kind_cache_store(const std::string& origin, const std::string& kind);
// The whole kind cache ({} when missing or unreadable) and a lookup in it, for callers
// that ask about many origins at once.
core::Json kind_cache_load();
std::string kind_cache_lookup(const core::Json& cache, const std::string& origin);

// A transaction in the readers' JSON shape (chain::tx_json of chain::read_transaction),
// kept in memory too: the least recently used is given up first once more than
// MAX_CACHED_TXS transactions or MAX_CACHED_TX_BYTES bytes (twice the raw size each)
// are held.
bool fetch_tx_json(const std::string& txid, core::Json& out);
inline constexpr std::size_t MAX_CACHED_TXS = 4096;
inline constexpr std::size_t MAX_CACHED_TX_BYTES = 16u * 1024u * 1024u;

struct CachedTx {
    core::Json tx;
    std::size_t bytes = 0;                  // length of the reply text
    std::list<std::string>::iterator used;  // its place in CacheState::tx_use
};

struct CacheState {
    std::mutex tx_mutex;  // guards the members below
    std::map<std::string, CachedTx> txs;
    std::list<std::string> tx_use;  // txids, least recently used first
    std::size_t tx_bytes = 0;
};
CacheState& cache_state();
// Tests: forget the transaction cache.
void reset_cache_state();

}  // namespace ordinals
