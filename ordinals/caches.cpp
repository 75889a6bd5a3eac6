#include "ordinals/caches.h"

#include "chain/transactions.h"
#include "core/files.h"
#include "core/hex.h"
#include "ordinals/kinds.h"
#include "ordinals/paths.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace ordinals {

namespace {

// An inscription's transaction, with room beside its content.
constexpr std::size_t MAX_READ_TX_BYTES = 12u * 1024u * 1024u;

// Type and name files hold one short line; anything longer is not ours.
constexpr std::uintmax_t MAX_LINE_FILE = 4096;
constexpr std::uintmax_t MAX_KIND_FILE = 8u * 1024u * 1024u;
constexpr std::size_t MAX_TYPE_BYTES = 255;

std::string first_line(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

CacheState& cache_state() {
    static CacheState s;
    return s;
}

void reset_cache_state() {
    auto& s = cache_state();
    std::lock_guard<std::mutex> lock(s.tx_mutex);
    s.txs.clear();
    s.tx_use.clear();
    s.tx_bytes = 0;
}

void content_cache_store(const std::string& origin, const std::string& type, const std::string& bytes) {
    if (bytes.empty() || bytes.size() > MAX_CONTENT_BYTES) return;
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string bin = content_bin_path(origin);
    if (bin.empty()) return;
    // The bytes file is what makes an entry: it is written last, so a process that dies
    // between the two files leaves no content that reads without its type.
    std::string line = first_line(type);
    if (line.size() > MAX_TYPE_BYTES) line.resize(MAX_TYPE_BYTES);
    if (!line.empty() && !core::write_file_atomic(content_type_path(origin), line)) return;
    core::write_file_atomic(bin, bytes);
}

bool content_cache_read(const std::string& origin, Content& out) {
    out = Content{};
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string bin = content_bin_path(origin);
    if (bin.empty()) return false;
    std::string bytes;
    if (!core::read_file(bin, bytes, MAX_CONTENT_BYTES) || bytes.empty()) return false;
    std::string type;
    if (core::read_file(content_type_path(origin), type, MAX_LINE_FILE)) out.type = first_line(type);
    out.bytes.swap(bytes);
    out.name = name_cache_read(origin);
    return true;
}

void content_cache_forget(const std::string& origin) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    const std::string bin = content_bin_path(origin);
    // The bytes file makes the entry; the type beside it is rewritten by the next store.
    if (!bin.empty()) core::remove_file(bin);
}

void name_cache_store(const std::string& origin, const std::string& name) {
    std::string cleaned = clean_name(name);
    if (cleaned.empty()) return;
    // A name is one line: a line break inside it would hide the rest from readers.
    cleaned = first_line(cleaned);
    if (cleaned.empty()) return;
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string path = name_path(origin);
    if (!path.empty()) core::write_file_atomic(path, cleaned);
}

std::string name_cache_read(const std::string& origin) {
    std::string path = name_path(origin);
    std::string text;
    if (path.empty() || !core::read_file(path, text, MAX_LINE_FILE)) return "";
    return first_line(text);
}

namespace {

enum class KindFile { Missing, Unreadable, Ok };

KindFile read_kind_file(const std::string& path, core::Json& out) {
    out = core::Json::object();
    if (path.empty() || !core::file_exists(path)) return KindFile::Missing;
    std::string text;
    core::Json j;
    if (!core::read_file(path, text, MAX_KIND_FILE) || !core::parse_json(text, j) || !j.is_object())
        return KindFile::Unreadable;
    out = std::move(j);
    return KindFile::Ok;
}

}  // namespace

core::Json kind_cache_load() {
    core::Json j;
    read_kind_file(kind_cache_path(), j);
    return j;
}

std::string kind_cache_lookup(const core::Json& cache, const std::string& origin) {
    std::string key = origin_key(origin);
    if (key.empty() || !cache.is_object()) return "";
    std::string kind = core::json_string(cache, key);
    if (!is_kind_word(kind)) kind = core::json_string(cache, origin);
    return is_kind_word(kind) ? kind : "";
}

std::string kind_cache_read(const std::string& origin) {
    if (origin_key(origin).empty()) return "";
    return kind_cache_lookup(kind_cache_load(), origin);
}

void kind_cache_store(const std::string& origin, const std::string& kind) {
    std::string key = origin_key(origin);
    if (key.empty() || !is_kind_word(kind)) return;
    std::string path = kind_cache_path();
    if (path.empty()) return;
    // The wallet application writes this file too: re-read it under the store lock so
    // its entries written since are kept. Nothing else is locked inside this scope.
    wallet::StoreLockGuard store;
    core::Json j;
    // Never replace a file we cannot read with one that has only our entries.
    if (read_kind_file(path, j) == KindFile::Unreadable) return;
    if (core::json_string(j, key) == kind) return;
    j[key] = kind;
    core::write_file_atomic(path, core::dump_compact(j));
}

bool fetch_tx_json(const std::string& txid, core::Json& out) {
    out = nullptr;
    if (!core::is_txid(txid)) return false;
    std::string key = core::lower_ascii(txid);
    auto& s = cache_state();
    {
        std::lock_guard<std::mutex> lock(s.tx_mutex);
        auto it = s.txs.find(key);
        if (it != s.txs.end()) {
            s.tx_use.splice(s.tx_use.end(), s.tx_use, it->second.used);
            out = it->second.tx;
            return true;
        }
    }
    // The raw bytes, checked against the txid and whole: a service's JSON cuts long scripts.
    chain::ChainTx tx;
    if (chain::read_transaction(key, 15, MAX_READ_TX_BYTES, tx) != chain::TxRead::found) return false;
    core::Json j = chain::tx_json(tx);
    if (!j.is_object()) return false;
    const std::size_t bytes = tx.raw.size() * 2;
    {
        std::lock_guard<std::mutex> lock(s.tx_mutex);
        // Another thread may have fetched it meanwhile; one entry per txid.
        if (bytes <= MAX_CACHED_TX_BYTES && !s.txs.count(key)) {
            while (!s.tx_use.empty() && (s.txs.size() >= MAX_CACHED_TXS || s.tx_bytes + bytes > MAX_CACHED_TX_BYTES)) {
                auto oldest = s.txs.find(s.tx_use.front());
                s.tx_bytes -= oldest->second.bytes;
                s.txs.erase(oldest);
                s.tx_use.pop_front();
            }
            auto used = s.tx_use.insert(s.tx_use.end(), key);
            s.txs.emplace(key, CachedTx{j, bytes, used});
            s.tx_bytes += bytes;
        }
    }
    out = std::move(j);
    return true;
}

}  // namespace ordinals
