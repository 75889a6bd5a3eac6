#include "chain/tx_cache.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/files.h"
#include "core/hex.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace chain {

namespace {

constexpr std::string_view MAGIC = "QVTX0001";
constexpr std::size_t HEADER_BYTES = 8 + 8 + 8;
constexpr std::string_view SUFFIX = ".tx";
constexpr std::string_view PART_SUFFIX = ".part";
// A part file this old belongs to a writer that died.
constexpr std::int64_t STALE_PART_SECONDS = 600;
// A kept transaction is at most this large; larger ones are read from the chain each time.
constexpr std::size_t MAX_ENTRY_BYTES = 16u * 1024u * 1024u;

struct Entry {
    std::uint64_t size = 0;
    std::int64_t used = 0;  // order of last use; larger is later
};

struct Index {
    std::mutex mutex;
    std::string dir;  // the folder listed; another data folder is listed afresh
    bool listed = false;
    std::map<std::string, Entry> entries;
    std::uint64_t bytes = 0;
    std::int64_t clock = 0;  // use counter, above every stamp read from the folder
    std::uint64_t writes = 0;
};

Index& index() {
    static Index i;
    return i;
}

std::string cache_dir() { return platform::data_dir() + "/tx_cache"; }

void put_i64(std::string& out, std::int64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xff));
}

std::int64_t get_i64(const std::string& in, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int64_t>(v);
}

// Lists the folder once per data folder. Caller holds the lock.
void ensure_listed(Index& ix, const std::string& dir) {
    if (ix.listed && ix.dir == dir) return;
    ix.entries.clear();
    ix.bytes = 0;
    ix.dir = dir;
    ix.listed = true;
    std::int64_t newest = 0;
    const std::int64_t stale_before = core::file_stamp_now() - core::file_stamp_seconds(STALE_PART_SECONDS);
    for (const auto& f : core::list_file_entries(dir, TX_CACHE_MAX_ENTRIES * 2)) {
        if (f.name.size() > PART_SUFFIX.size() &&
            f.name.compare(f.name.size() - PART_SUFFIX.size(), PART_SUFFIX.size(), PART_SUFFIX) == 0) {
            if (f.stamp < stale_before) core::remove_file(dir + "/" + f.name);
            continue;
        }
        if (f.name.size() != 64 + SUFFIX.size() || f.name.compare(64, SUFFIX.size(), SUFFIX) != 0) continue;
        const std::string txid = f.name.substr(0, 64);
        if (!core::is_txid(txid) || txid != core::lower_ascii(txid)) continue;
        ix.entries[txid] = Entry{f.size, f.stamp};
        ix.bytes += f.size;
        newest = std::max(newest, f.stamp);
    }
    ix.clock = newest;
}

void drop(Index& ix, const std::string& txid) {
    const auto it = ix.entries.find(txid);
    if (it != ix.entries.end()) {
        ix.bytes -= std::min(ix.bytes, it->second.size);
        ix.entries.erase(it);
    }
    core::remove_file(ix.dir + "/" + txid + std::string(SUFFIX));
}

// Least recently used out until the folder is within its bounds. Caller holds the lock.
void trim(Index& ix) {
    if (ix.bytes <= TX_CACHE_MAX_BYTES && ix.entries.size() <= TX_CACHE_MAX_ENTRIES) return;
    std::vector<std::pair<std::int64_t, std::string>> order;
    order.reserve(ix.entries.size());
    for (const auto& [txid, e] : ix.entries) order.emplace_back(e.used, txid);
    std::sort(order.begin(), order.end());
    for (const auto& [used, txid] : order) {
        if (ix.bytes <= TX_CACHE_MAX_BYTES && ix.entries.size() <= TX_CACHE_MAX_ENTRIES) break;
        drop(ix, txid);
    }
}

}  // namespace

std::string tx_cache_path(const std::string& txid) {
    if (!core::is_txid(txid)) return "";
    return cache_dir() + "/" + core::lower_ascii(txid) + std::string(SUFFIX);
}

bool tx_cache_get(const std::string& txid_in, ChainTx& out) {
    if (!core::is_txid(txid_in)) return false;
    const std::string txid = core::lower_ascii(txid_in);
    const std::string dir = cache_dir();
    const std::string path = dir + "/" + txid + std::string(SUFFIX);
    Index& ix = index();
    std::lock_guard<std::mutex> lock(ix.mutex);
    ensure_listed(ix, dir);
    std::string body;
    if (!core::read_file(path, body, MAX_ENTRY_BYTES + HEADER_BYTES)) {
        // Gone (another process trimmed it) or unreadable: a miss either way.
        drop(ix, txid);
        return false;
    }
    ChainTx tx;
    tx.txid = txid;
    if (body.size() > HEADER_BYTES && std::string_view(body).substr(0, MAGIC.size()) == MAGIC) {
        tx.height = get_i64(body, 8);
        tx.block_time = get_i64(body, 16);
        tx.raw.assign(body.begin() + static_cast<std::ptrdiff_t>(HEADER_BYTES), body.end());
    }
    if (tx.height <= 0 || tx.block_time <= 0 || !raw_matches_txid(tx.raw, txid)) {
        drop(ix, txid);
        return false;
    }
    core::touch_file(path);
    Entry& e = ix.entries[txid];
    if (e.size == 0) ix.bytes += body.size();
    e.size = body.size();
    e.used = ++ix.clock;
    out = std::move(tx);
    return true;
}

void tx_cache_put(const ChainTx& tx) {
    if (!tx.confirmed() || tx.block_time <= 0 || tx.raw.size() > MAX_ENTRY_BYTES || !raw_matches_txid(tx.raw, tx.txid))
        return;
    const std::string txid = core::lower_ascii(tx.txid);
    const std::string dir = cache_dir();
    std::string body;
    body.reserve(HEADER_BYTES + tx.raw.size());
    body.append(MAGIC);
    put_i64(body, tx.height);
    put_i64(body, tx.block_time);
    body.append(reinterpret_cast<const char*>(tx.raw.data()), tx.raw.size());
    Index& ix = index();
    std::lock_guard<std::mutex> lock(ix.mutex);
    ensure_listed(ix, dir);
    // Not flushed to disk: an entry lost to a crash is only read again, and a cold walls
    // read writes hundreds of them.
    const std::string path = dir + "/" + txid + std::string(SUFFIX);
    const std::string part = path + "." + std::to_string(platform::process_id()) + "-" + std::to_string(++ix.writes) +
                             std::string(PART_SUFFIX);
    if (!core::make_dirs(dir) || !core::write_file(part, body)) {
        core::remove_file(part);
        return;
    }
    if (!core::rename_file(part, path)) {
        core::remove_file(part);
        return;
    }
    Entry& e = ix.entries[txid];
    ix.bytes -= std::min(ix.bytes, e.size);
    e.size = body.size();
    e.used = ++ix.clock;
    ix.bytes += body.size();
    trim(ix);
}

void reset_tx_cache() {
    Index& ix = index();
    std::lock_guard<std::mutex> lock(ix.mutex);
    ix.entries.clear();
    ix.bytes = 0;
    ix.listed = false;
    ix.dir.clear();
    ix.clock = 0;
}

}  // namespace chain
