#pragma once
// The small caches of the platform folder that this program and the wallet
// application share: inscription content, type and name per origin, and the kind of
// each origin; plus the in-process cache of WhatsOnChain transaction replies. Every
// cache is best effort: a failed read is a miss and a failed write is ignored.
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

#include "core/json.h"

namespace ordinals {

// Larger contents are handed to the caller but never cached.
inline constexpr std::size_t MAX_CACHED_CONTENT = 10485760;

struct Content {
    std::string type;
    std::string bytes;
    std::string name;  // what the inscription calls itself, when known
};

// Content cache ("/ord_cache/<origin>.bin" and ".typ"). Takes the wallet-state lock.
void content_cache_store(const std::string& origin, const std::string& type, const std::string& bytes);
bool content_cache_read(const std::string& origin, Content& out);

// Name cache ("/ord_cache/<origin>.nam"): names are stored cleaned (see clean_name).
void name_cache_store(const std::string& origin, const std::string& name);
std::string name_cache_read(const std::string& origin);

// Kind cache ("/art/tags.json"): the value under the origin's key, else under the
// origin as given; only the two kind words count.
std::string kind_cache_read(const std::string& origin);
void kind_cache_store(const std::string& origin, const std::string& kind);

// WhatsOnChain /tx/{txid}, parsed, kept for the life of the process.
bool fetch_tx_json(const std::string& txid, core::Json& out);

struct CacheState {
    std::mutex kind_mutex;  // one read-change-write of tags.json at a time
    std::mutex tx_mutex;
    std::map<std::string, core::Json> txs;
};
CacheState& cache_state();
// Tests: forget the transaction cache.
void reset_cache_state();

}  // namespace ordinals
