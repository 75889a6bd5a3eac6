#include "chain/reservations.h"

#include <algorithm>

#include "core/clock.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace chain {

namespace {

// Reads a reservation file: a missing file is an empty object; one that exists must be
// a JSON object whose list member, when present, is an array.
bool read_file_object(const std::string& path, const char* list_key, core::Json& out) {
    out = core::Json::object();
    if (!core::file_exists(path)) return true;
    std::string text;
    core::Json j;
    if (!core::read_file(path, text) || !core::parse_json(text, j) || !j.is_object()) return false;
    if (j.contains(list_key) && !j[list_key].is_array()) return false;
    out = std::move(j);
    return true;
}

const core::Json& list_of(const core::Json& j, const char* list_key) {
    static const core::Json empty = core::Json::array();
    return j.contains(list_key) ? j[list_key] : empty;
}

// Ids in another application's file are compared ignoring case.
bool collect_utxos(const std::string& path, const char* list_key, std::set<std::string>& out) {
    core::Json j;
    if (!read_file_object(path, list_key, j)) return false;
    for (const auto& row : list_of(j, list_key)) {
        std::string id = core::json_string(row, "utxo");
        if (!id.empty()) out.insert(core::lower_ascii(id));
    }
    return true;
}

std::vector<ReserveEntry> entries_of(const core::Json& j) {
    std::vector<ReserveEntry> out;
    for (const auto& row : list_of(j, "reserves")) {
        if (!row.is_object()) continue;
        ReserveEntry e;
        e.pic_utxo = normalise_coin_id(core::json_string(row, "pic_utxo"));
        e.cert_utxo = normalise_coin_id(core::json_string(row, "cert_utxo"));
        e.pic = core::json_string(row, "pic");
        e.cert = core::json_string(row, "cert");
        e.price_sats = core::json_int(row, "price_sats", -1);
        e.exp = core::json_int(row, "exp", 0);
        e.spot = core::json_int(row, "spot", 0);
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<std::string> locks_of(const core::Json& j) {
    std::vector<std::string> out;
    for (const auto& v : list_of(j, "utxos"))
        if (v.is_string()) out.push_back(normalise_coin_id(v.get<std::string>()));
    return out;
}

// The shared read-modify-write: the file is read under both locks just before the
// change, and replaced only when it read and the change changed something.
bool update_file(const std::string& path, const char* list_key,
                 const std::function<bool(core::Json& list_holder)>& change, const char* write_error,
                 std::string& error) {
    error.clear();
    wallet::WalletLock wallet_lock(wallet::wallet_mutex());
    wallet::StoreLockGuard store;
    if (!store.held) {
        error = "could not take the store lock.";
        return false;
    }
    core::Json j;
    if (!read_file_object(path, list_key, j)) {
        error = unreadable_reservation_text(path);
        return false;
    }
    if (!change(j)) return true;
    if (!core::write_file_atomic(path, core::dump_pretty(j))) {
        error = write_error;
        return false;
    }
    return true;
}

}  // namespace

std::string reserve_file_word() {
    // Wallet ids are [A-Za-z0-9_-], so the reserve and the offer locks, whose names
    // once came from two slightly different rules, keep the id as it is.
    std::string id = wallet::app_binding().wallet_id;
    return core::safe_file_word(id.empty() ? "none" : id, {.keep = "-_", .max_len = 64, .if_empty = "none"});
}

std::string reserve_file_path() {
    std::string dir = wallet::platform_dir() + "/gallery";
    core::make_dirs(dir);
    return dir + "/reserves_" + reserve_file_word() + ".json";
}

std::string offer_locks_path() {
    std::string dir = wallet::platform_dir() + "/gallery";
    core::make_dirs(dir);
    return dir + "/offer_locks_" + reserve_file_word() + ".json";
}

std::string normalise_coin_id(const std::string& id) {
    std::string out = core::lower_ascii(id);
    std::replace(out.begin(), out.end(), ':', '_');
    return out;
}

std::string coin_id(const std::string& txid, std::uint32_t vout) {
    return core::lower_ascii(txid) + "_" + std::to_string(vout);
}

std::string unreadable_reservation_text(const std::string& path) {
    return "the reservation file " + path +
           " cannot be read, so no coin is spent and the file is left as it is until it is repaired.";
}

bool read_reserve_entries(std::vector<ReserveEntry>& out, std::string& error) {
    out.clear();
    std::string path = reserve_file_path();
    core::Json j;
    if (!read_file_object(path, "reserves", j)) {
        error = unreadable_reservation_text(path);
        return false;
    }
    out = entries_of(j);
    return true;
}

bool update_reserve_entries(const std::function<bool(std::vector<ReserveEntry>&)>& change, std::string& error) {
    return update_file(
        reserve_file_path(), "reserves",
        [&](core::Json& j) {
            std::vector<ReserveEntry> entries = entries_of(j);
            if (!change(entries)) return false;
            j["reserves"] = core::Json::array();
            for (const auto& e : entries) {
                j["reserves"].push_back({{"pic_utxo", normalise_coin_id(e.pic_utxo)},
                                         {"cert_utxo", normalise_coin_id(e.cert_utxo)},
                                         {"pic", e.pic},
                                         {"cert", e.cert},
                                         {"price_sats", e.price_sats},
                                         {"exp", e.exp},
                                         {"spot", e.spot}});
            }
            return true;
        },
        "could not write the Gallery reserve.", error);
}

bool reserve_entry_live(const ReserveEntry& e, std::int64_t now) { return e.exp <= 0 || e.exp >= now; }

bool is_reserved_coin(const std::string& txid, std::uint32_t vout) {
    std::string id = coin_id(txid, vout);
    std::int64_t now = core::now_seconds();
    std::vector<ReserveEntry> entries;
    std::string error;
    if (!read_reserve_entries(entries, error)) return true;
    for (const auto& e : entries)
        if (reserve_entry_live(e, now) && (e.pic_utxo == id || e.cert_utxo == id)) return true;
    return false;
}

ReservedCoins reserved_coins(bool allow_trade_holds) {
    ReservedCoins r;
    auto unreadable = [&r](const std::string& path) {
        if (!r.all) r.unreadable = path;
        r.all = true;
    };
    const std::string dir = wallet::platform_dir();
    const std::string word = reserve_file_word();
    std::string velmora = dir + "/velmora/reserves_" + word + ".json";
    if (!collect_utxos(velmora, "reserves", r.ids)) unreadable(velmora);
    std::string tradora = dir + "/tradora/reserves_" + word + ".json";
    if (!allow_trade_holds && !collect_utxos(tradora, "holds", r.ids)) unreadable(tradora);

    std::vector<ReserveEntry> entries;
    std::string error;
    if (read_reserve_entries(entries, error)) {
        std::int64_t now = core::now_seconds();
        for (const auto& e : entries) {
            if (!reserve_entry_live(e, now)) continue;
            if (!e.pic_utxo.empty()) r.ids.insert(e.pic_utxo);
            if (!e.cert_utxo.empty()) r.ids.insert(e.cert_utxo);
        }
    } else {
        unreadable(reserve_file_path());
    }
    std::vector<std::string> locks;
    if (read_offer_locks(locks, error))
        r.ids.insert(locks.begin(), locks.end());
    else
        unreadable(offer_locks_path());
    return r;
}

bool read_offer_locks(std::vector<std::string>& ids, std::string& error) {
    ids.clear();
    std::string path = offer_locks_path();
    core::Json j;
    if (!read_file_object(path, "utxos", j)) {
        error = unreadable_reservation_text(path);
        return false;
    }
    ids = locks_of(j);
    return true;
}

bool update_offer_locks(const std::function<bool(std::vector<std::string>&)>& change, std::string& error) {
    return update_file(
        offer_locks_path(), "utxos",
        [&](core::Json& j) {
            std::vector<std::string> ids = locks_of(j);
            if (!change(ids)) return false;
            j["utxos"] = ids;
            return true;
        },
        "could not write the offer locks.", error);
}

bool add_offer_locks(const std::vector<std::string>& ids, std::string& error) {
    return update_offer_locks(
        [&](std::vector<std::string>& locks) {
            std::size_t before = locks.size();
            for (const auto& raw : ids) {
                std::string id = normalise_coin_id(raw);
                if (std::find(locks.begin(), locks.end(), id) == locks.end()) locks.push_back(id);
            }
            return locks.size() != before;
        },
        error);
}

bool remove_offer_locks(const std::vector<std::string>& ids, std::string& error) {
    return update_offer_locks(
        [&](std::vector<std::string>& locks) {
            std::size_t before = locks.size();
            for (const auto& raw : ids) {
                std::string id = normalise_coin_id(raw);
                locks.erase(std::remove(locks.begin(), locks.end(), id), locks.end());
            }
            return locks.size() != before;
        },
        error);
}

}  // namespace chain
